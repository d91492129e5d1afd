#include "support/GuiText.h"

#include <stdexcept>

#include "base/Utf.h"
#include "support/Dialogs.h"
#include "support/StringUtils.h"

namespace orvex {

namespace {

// The English fallback of the controls, keywords, substitutions and menus: an entry
// that carries a language code is not English, so it gives nothing.
bool IsEnglishEntry(const TWideXmlNode* entry) {
    return entry && entry->AttributeByName(u"lingvo").empty();
}

std::u16string ReplaceLineBreakMarkers(std::u16string text) {
    return text.empty() ? text : StringReplaceAllCI(text, kLineBreakMarker, u"\r\n");
}

std::u16string ReplaceAcceleratorMarkers(std::u16string_view text) {
    return StringReplaceAllCI(text, kAcceleratorMarker, u"&");
}

} // namespace

void ListActiveLingvos(TVeldarXmlDoc& doc, std::vector<std::u16string>& list) {
    list.clear();
    TWideXmlNode* root = doc.Root();
    if (!root)
        return;
    TWideXmlNodeList found;
    root->FindNodes(u"Lingvo", found);
    for (int i = 0; i < found.Count(); ++i) {
        const TWideXmlNode* lingvo = found.Items(i);
        if (lingvo && lingvo->AttributeByName(u"active") == u"yes")
            list.push_back(lingvo->AttributeByName(u"abbrev") + u"=" + lingvo->AttributeByName(u"name"));
    }
}

std::u16string LingvoAbbrevOfName(std::u16string_view name, const std::vector<std::u16string>& list) {
    for (const std::u16string& line : list)
        if (RightOfEqual(line) == name)
            return LeftOfEqual(line);
    return std::u16string(kEnglishLingvo);
}

std::u16string GetKeywordText(TVeldarXmlDoc& doc, std::u16string_view lingvo, std::u16string_view name) {
    std::u16string text;
    const TWideXmlNode* entry = nullptr;
    if (lingvo != kEnglishLingvo)
        entry = doc.ZNode(nullptr, {u"Other", u"Keyword", u"@name", name, u"@lingvo", lingvo}, cxNone, false);
    if (entry) {
        text = entry->AttributeByName(u"value");
    } else {
        entry = doc.ZNode(nullptr, {u"Other", u"Keyword", u"@name", name}, cxNone, false);
        if (IsEnglishEntry(entry))
            text = entry->AttributeByName(u"value");
    }
    return ReplaceLineBreakMarkers(std::move(text));
}

std::u16string LoadMemoLines(TVeldarXmlDoc& doc, std::u16string_view memoName) {
    const TWideXmlNode* lines = doc.ZNode(nullptr, {u"Memos", memoName, u"Lines"}, cxNone, false);
    return lines ? lines->ValueAsUnicodeString() : std::u16string();
}

std::u16string GetSubstitutionText(TVeldarXmlDoc& doc, std::u16string_view memoName, std::u16string_view id,
                                   std::u16string_view lingvo) {
    TWideXmlNode* substitutions = doc.ZNode(nullptr, {u"Memos", memoName, u"Substitutions"}, cxNone, false);
    if (!substitutions)
        return {};
    const TWideXmlNode* entry = doc.ZNode(substitutions, {u"S", u"@id", id, u"@lingvo", lingvo}, cxNone, false);
    if (entry)
        return entry->AttributeByName(u"value");
    entry = doc.ZNode(substitutions, {u"S", u"@id", id}, cxNone, false);
    return IsEnglishEntry(entry) ? entry->AttributeByName(u"value") : std::u16string();
}

std::u16string GetDialogText(TVeldarXmlDoc& doc, std::u16string_view lingvo, std::u16string_view dialogType,
                             std::u16string_view id) {
    const TWideXmlNode* entry = nullptr;
    if (lingvo != kEnglishLingvo)
        entry = doc.ZNode(nullptr, {u"Dialogs", u"Dialog", u"@type", dialogType, u"@id", id, u"@lingvo", lingvo},
                          cxNone, false);
    // The first entry of the key stands in, whatever its language.
    if (!entry)
        entry = doc.ZNode(nullptr, {u"Dialogs", u"Dialog", u"@type", dialogType, u"@id", id}, cxNone, false);
    return entry ? ReplaceLineBreakMarkers(entry->AttributeByName(u"text")) : std::u16string();
}

int ShowDialogText(std::u16string_view dialogType, const std::u16string& text) {
    if (dialogType == u"MsgInfoOk") {
        ShowInformation(text);
        return mrOk;
    }
    if (dialogType == u"MsgWarningOk") {
        ShowWarning(text);
        return mrOk;
    }
    if (dialogType == u"MsgErrorOk") {
        ShowError(text);
        return mrOk;
    }
    if (dialogType == u"DialogYesNo")
        return AskYesNo(text) ? mrYes : mrNo;
    if (dialogType == u"DialogYesNoCancel") {
        int answer = 0;
        AskYesNoCancel(text, answer);
        return answer;
    }
    throw std::invalid_argument("Unknown dialog type \"" + Utf16ToUtf8(dialogType) + "\"");
}

int ShowCatalogueDialog(TVeldarXmlDoc& doc, std::u16string_view lingvo, std::u16string_view dialogType,
                        std::u16string_view id, std::initializer_list<TFormatValue> values,
                        std::u16string_view lastLine) {
    std::u16string text = FormatTolerant(GetDialogText(doc, lingvo, dialogType, id), values);
    text += lastLine;
    return ShowDialogText(dialogType, text);
}

TWideXmlNode* FindSoftwareModule(TVeldarXmlDoc& doc, std::u16string_view moduleId) {
    return doc.ZNode(nullptr, {u"SoftwareModules", u"SoftwareModule", u"@id", moduleId}, cxNone, false);
}

std::optional<std::u16string> GetControlText(TVeldarXmlDoc& doc, TWideXmlNode* module,
                                             std::u16string_view containerName, std::u16string_view controlName,
                                             std::u16string_view propertyName, std::u16string_view lingvo) {
    // Without a name the path would begin with "/", which a lookup below a node refuses.
    if (!module || containerName.empty())
        return std::nullopt;
    const TWideXmlNode* entry = nullptr;
    if (lingvo != kEnglishLingvo)
        entry = doc.ZNode(module,
                          {containerName, u"Control", u"@name", controlName, u"@property", propertyName,
                           u"@lingvo", lingvo},
                          cxNone, false);
    if (!entry) {
        entry = doc.ZNode(module, {containerName, u"Control", u"@name", controlName, u"@property", propertyName},
                          cxNone, false);
        if (!IsEnglishEntry(entry))
            return std::nullopt;
    }
    return entry->AttributeByName(u"value");
}

TWideXmlNode* FindMainMenu(TVeldarXmlDoc& doc) { return doc.ZNode(nullptr, {u"MainMenu"}, cxNone, false); }

std::optional<std::u16string> GetMainMenuCaption(TVeldarXmlDoc& doc, TWideXmlNode* mainMenu,
                                                 std::u16string_view itemName, std::u16string_view lingvo) {
    if (!mainMenu)
        return std::nullopt;
    std::u16string caption;
    const TWideXmlNode* entry =
        doc.ZNode(mainMenu, {u"MenuItem", u"@name", itemName, u"@lingvo", lingvo}, cxNone, false);
    if (entry) {
        caption = entry->AttributeByName(u"caption");
    } else {
        entry = doc.ZNode(mainMenu, {u"MenuItem", u"@name", itemName}, cxNone, false);
        if (IsEnglishEntry(entry))
            caption = entry->AttributeByName(u"caption");
    }
    if (caption.empty())
        return std::nullopt;
    return ReplaceAcceleratorMarkers(caption);
}

std::optional<TPopupCaption> GetPopupMenuCaption(TVeldarXmlDoc& doc, TWideXmlNode* module,
                                                 std::u16string_view popupName, std::u16string_view itemName,
                                                 std::u16string_view lingvo) {
    if (!module || popupName.empty())
        return std::nullopt;
    const TWideXmlNode* entry =
        doc.ZNode(module, {popupName, u"MenuItem", u"@name", itemName, u"@lingvo", lingvo}, cxNone, false);
    if (entry)
        return TPopupCaption{ReplaceAcceleratorMarkers(entry->AttributeByName(u"Caption")), true};
    entry = doc.ZNode(module, {popupName, u"MenuItem", u"@name", itemName}, cxNone, false);
    if (!IsEnglishEntry(entry))
        return std::nullopt;
    return TPopupCaption{ReplaceAcceleratorMarkers(entry->AttributeByName(u"caption")), false};
}

} // namespace orvex
