// Loading the catalogue, and a lint of the shipped one: every key complete in the
// six languages with English first, the same placeholders in each, markers only
// where a lookup replaces them.
#include "support/GuiTextCatalogue.h"

#include "support/GuiText.h"
#include "TestFiles.h"
#include "xml/XmlErrors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sys/stat.h>
#include <string>
#include <vector>

using namespace orvex;
using orvex::testing::TTempFolder;
using orvex::testing::WriteBytes;

namespace {

const std::string kSmallCatalogue = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                    "<PelluxToolsSoftwareTolkara><Other>"
                                    "<Keyword name=\"Backup\" value=\"Caf\xC3\xA9\"/>"
                                    "</Other></PelluxToolsSoftwareTolkara>\n";

std::unique_ptr<TVeldarXmlDoc> ShippedCatalogue() {
    TTempFolder empty;
    auto doc = NewGuiTextDocument();
    LoadGuiTextCatalogue(*doc, std::u16string(empty.Path16("")));
    return doc;
}

} // namespace

TEST(GuiTextCatalogue, NewDocumentHasTheCatalogueRootAndContextAttribute) {
    const auto doc = NewGuiTextDocument();
    EXPECT_EQ(doc->RequiredRootNodeName(), u"PelluxToolsSoftwareTolkara");
    EXPECT_EQ(doc->ContextAttributeID(), u"context");
    EXPECT_EQ(doc->ContextDefault(), u"");
    EXPECT_EQ(doc->FilePathAndName(), u"");
}

TEST(GuiTextCatalogue, WithoutAFileTheEmbeddedCatalogueIsLoaded) {
    const auto doc = ShippedCatalogue();
    ASSERT_NE(doc->Root(), nullptr);
    EXPECT_EQ(doc->Root()->Name(), u"PelluxToolsSoftwareTolkara");
    std::vector<std::u16string> list;
    ListActiveLingvos(*doc, list);
    const std::vector<std::u16string> expected = {
        u"chi=\u6C49\u8BED", u"deu=Deutsch", u"fra=Fran\u00E7ais", u"eng=English", u"por=Portugu\u00EAs",
        u"spa=Espa\u00F1ol"};
    EXPECT_EQ(list, expected);
    EXPECT_EQ(LingvoAbbrevOfName(u"Deutsch", list), u"deu");
}

TEST(GuiTextCatalogue, AFileBesideTheProgramReplacesTheResource) {
    const struct {
        const char* name;
        std::string bom;
        std::string bytes;
        const char16_t* expected;
    } cases[] = {
        {"UTF-8 with mark", "\xEF\xBB\xBF", kSmallCatalogue, u"Caf\u00E9"},
        // Without a mark the file is read as code page 1252.
        {"no mark", "", kSmallCatalogue, u"Caf\u00C3\u00A9"},
        {"1252 bytes", "", "<PelluxToolsSoftwareTolkara><Other><Keyword name=\"Backup\" value=\"Caf\xE9\"/>"
                           "</Other></PelluxToolsSoftwareTolkara>",
         u"Caf\u00E9"},
        {"UTF-16LE", "", "\xFF\xFE" + orvex::testing::Utf16Le(u"<X><Other><Keyword name=\"Backup\" value=\"\u00E9\"/></Other></X>"),
         u"\u00E9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TTempFolder folder;
        WriteBytes(folder.Path("Orvex_GUI_Text.xml"), c.bom + c.bytes);
        const auto doc = NewGuiTextDocument();
        LoadGuiTextCatalogue(*doc, folder.Path16(""));
        EXPECT_EQ(GetKeywordText(*doc, u"eng", u"Backup"), c.expected);
        // Nothing of the resource is mixed in.
        EXPECT_EQ(GetKeywordText(*doc, u"eng", u"Restore"), u"");
        // A folder given without its trailing "/" is the same folder.
        const std::string path = folder.Path("");
        LoadGuiTextCatalogue(*doc, std::u16string(path.begin(), path.end() - 1));
        EXPECT_EQ(GetKeywordText(*doc, u"eng", u"Backup"), c.expected);
    }
}

TEST(GuiTextCatalogue, ReloadingReplacesTheTextsAndABrokenFileKeepsTheOldOnes) {
    TTempFolder folder;
    const auto doc = NewGuiTextDocument();
    LoadGuiTextCatalogue(*doc, folder.Path16(""));
    EXPECT_EQ(GetKeywordText(*doc, u"deu", u"Restore"), u"Wiederherstellung");

    WriteBytes(folder.Path("Orvex_GUI_Text.xml"), "\xEF\xBB\xBF" + kSmallCatalogue);
    LoadGuiTextCatalogue(*doc, folder.Path16(""));
    EXPECT_EQ(GetKeywordText(*doc, u"deu", u"Restore"), u"");

    for (const std::string& broken : {std::string("<PelluxToolsSoftwareTolkara><Other><Keyword name=\"Backup\""),
                                     std::string("<PelluxToolsSoftwareTolkara><Other></Dialogs>")}) {
        SCOPED_TRACE(broken);
        WriteBytes(folder.Path("Orvex_GUI_Text.xml"), broken);
        EXPECT_THROW(LoadGuiTextCatalogue(*doc, folder.Path16("")), std::exception);
        EXPECT_EQ(GetKeywordText(*doc, u"eng", u"Backup"), u"Caf\u00E9");
    }
}

TEST(GuiTextCatalogue, AFolderNamedLikeTheFileIsNoFile) {
    TTempFolder folder;
    ASSERT_EQ(mkdir(folder.Path("Orvex_GUI_Text.xml").c_str(), 0755), 0);
    const auto doc = NewGuiTextDocument();
    LoadGuiTextCatalogue(*doc, folder.Path16(""));
    EXPECT_EQ(GetKeywordText(*doc, u"eng", u"Restore"), u"Restore");
}

// --- Lint of the shipped catalogue ---

namespace {

struct TEntry {
    std::u16string lingvo;
    std::u16string text;
};

// Every text entry of the catalogue by key ("Keyword|Backup", "Control|Restore|
// gbPathsValid|rbPathsValid1|Hint", ...), in document order.
std::map<std::u16string, std::vector<TEntry>> CollectEntries(TVeldarXmlDoc& doc) {
    std::map<std::u16string, std::vector<TEntry>> entries;
    TWideXmlNode* root = doc.Root();
    auto add = [&](const std::u16string& key, const TWideXmlNode* node, std::u16string_view textAttribute) {
        entries[key].push_back({node->AttributeByName(u"lingvo"), node->AttributeByName(textAttribute)});
    };
    auto elements = [](const TWideXmlNode* parent) {
        std::vector<TWideXmlNode*> list;
        for (int i = 0; parent && i < parent->NodeCount(); ++i)
            if (parent->Nodes(i)->ElementType() == xeNormal)
                list.push_back(parent->Nodes(i));
        return list;
    };
    for (const TWideXmlNode* module : elements(root->NodeByName(u"SoftwareModules")))
        for (const TWideXmlNode* container : elements(module))
            for (const TWideXmlNode* entry : elements(container)) {
                const std::u16string where = module->AttributeByName(u"id") + u"|" + container->Name() + u"|";
                if (entry->Name() == u"Control")
                    add(u"Control|" + where + entry->AttributeByName(u"name") + u"|" + entry->AttributeByName(u"property"),
                        entry, u"value");
                else
                    add(u"Popup|" + where + entry->AttributeByName(u"name"), entry, u"caption");
            }
    for (const TWideXmlNode* entry : elements(root->NodeByName(u"Other")))
        add(u"Keyword|" + entry->AttributeByName(u"name"), entry, u"value");
    for (const TWideXmlNode* entry : elements(root->NodeByName(u"Dialogs")))
        add(u"Dialog|" + entry->AttributeByName(u"type") + u"|" + entry->AttributeByName(u"id"), entry, u"text");
    for (const TWideXmlNode* memo : elements(root->NodeByName(u"Memos")))
        for (const TWideXmlNode* entry : elements(memo->NodeByName(u"Substitutions")))
            add(u"S|" + memo->Name() + u"|" + entry->AttributeByName(u"id"), entry, u"value");
    for (const TWideXmlNode* entry : elements(root->NodeByName(u"MainMenu")))
        add(u"MainMenu|" + entry->AttributeByName(u"name"), entry, u"caption");
    return entries;
}

// The "%s"/"%d" placeholders of a text in order ("%%" is no placeholder).
std::u16string Placeholders(std::u16string_view text) {
    std::u16string found;
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == u'%') {
            if (text[i + 1] != u'%')
                found += text.substr(i, 2);
            ++i;
        }
    return found;
}

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

// Walks every element, calling check(element path, attribute name or "" for the text, text).
template <typename TCheck>
void VisitTexts(const TWideXmlNode* node, const std::u16string& path, TCheck& check) {
    for (int i = 0; i < node->NodeCount(); ++i) {
        const TWideXmlNode* child = node->Nodes(i);
        if (child->ElementType() != xeNormal)
            continue;
        const std::u16string childPath = path + u"/" + child->Name();
        for (int a = 0; a < child->AttributeCount(); ++a) {
            const std::u16string name = child->AttributeName(a);
            check(childPath, name, child->AttributeByName(name));
        }
        check(childPath, u"", child->ValueAsUnicodeString());
        VisitTexts(child, childPath, check);
    }
}

} // namespace

TEST(GuiTextCatalogue, EveryKeyHasEnglishFirstAndTheFiveOtherLanguagesWithItsPlaceholders) {
    const auto doc = ShippedCatalogue();
    const auto entries = CollectEntries(*doc);
    const std::vector<std::u16string> languages = {u"", u"chi", u"deu", u"fra", u"por", u"spa"};
    int keys = 0;
    for (const auto& [key, list] : entries) {
        SCOPED_TRACE(Narrow(key));
        if (key.starts_with(u"Control|Restore|tabsheetRestoreConfirm|") && key.ends_with(u"|Hint")) {
            // The one exception: an empty Chinese hint beside the confirmation labels.
            ASSERT_EQ(list.size(), 1u);
            EXPECT_EQ(list[0].lingvo, u"chi");
            EXPECT_EQ(list[0].text, u"");
            continue;
        }
        ++keys;
        ASSERT_EQ(list.size(), languages.size());
        for (size_t i = 0; i < list.size(); ++i) {
            EXPECT_EQ(list[i].lingvo, languages[i]);
            EXPECT_EQ(Placeholders(list[i].text), Placeholders(list[0].text)) << Narrow(list[i].lingvo);
        }
    }
    auto count = [&](std::u16string_view prefix) {
        int n = 0;
        for (const auto& entry : entries)
            n += entry.first.starts_with(prefix) ? 1 : 0;
        return n;
    };
    EXPECT_EQ(count(u"Keyword|"), 9);
    EXPECT_EQ(count(u"Dialog|"), 24);
    EXPECT_EQ(count(u"MainMenu|"), 8);
    EXPECT_EQ(count(u"S|MemoAbout|"), 8);
    EXPECT_EQ(count(u"Popup|"), 7);
    EXPECT_GT(keys, 100);
    EXPECT_EQ(Placeholders(entries.at(u"Dialog|DialogYesNoCancel|websiteexist")[0].text), u"%s%s");
    EXPECT_EQ(Placeholders(entries.at(u"Dialog|MsgInfoOk|restorefixpathscount")[0].text), u"%d");
    EXPECT_EQ(Placeholders(LoadMemoLines(*doc, u"MemoAbout")), u"%s%s%s%s%s%s%s%s");
}

TEST(GuiTextCatalogue, ModulesHoldTheirContainers) {
    const auto doc = ShippedCatalogue();
    const struct {
        const char16_t* module;
        std::vector<std::u16string> containers;
    } cases[] = {
        {u"Backup",
         {u"Panel2", u"tabsheetMain", u"tabsheetBackup1", u"tabsheetBackup2", u"tabsheetBackup3", u"PanelLabel",
          u"PopupBackup"}},
        {u"Restore",
         {u"tabsheetRestore1", u"tabsheetRestore2", u"tabsheetRestore3", u"gbWebsitesExist", u"gbIpNotFound",
          u"gbPathsValid", u"tabsheetRestore4", u"tabsheetRestoreConfirm", u"tabsheetRestore5", u"FormCheckIP",
          u"GroupBox2", u"FormCheckPath", u"GroupBox4", u"FormProperty", u"PopupRestore", u"PopupLog",
          u"PopupProperty"}},
    };
    for (const auto& c : cases) {
        const TWideXmlNode* module = FindSoftwareModule(*doc, c.module);
        ASSERT_NE(module, nullptr);
        std::vector<std::u16string> names;
        for (int i = 0; i < module->NodeCount(); ++i)
            if (module->Nodes(i)->ElementType() == xeNormal)
                names.push_back(module->Nodes(i)->Name());
        EXPECT_EQ(names, c.containers);
    }
}

TEST(GuiTextCatalogue, MarkersStandOnlyWhereALookupReplacesThem) {
    const auto doc = ShippedCatalogue();
    int lineBreaks = 0;
    int accelerators = 0;
    auto check = [&](const std::u16string& path, const std::u16string& attribute, const std::u16string& text) {
        const bool hasBreak = text.find(kLineBreakMarker) != std::u16string::npos;
        const bool hasAccelerator = text.find(kAcceleratorMarker) != std::u16string::npos;
        lineBreaks += hasBreak ? 1 : 0;
        accelerators += hasAccelerator ? 1 : 0;
        if (hasBreak) {
            EXPECT_TRUE((path.ends_with(u"/Other/Keyword") && attribute == u"value") ||
                        (path.ends_with(u"/Dialogs/Dialog") && attribute == u"text"))
                << Narrow(path) << " " << Narrow(attribute);
        }
        if (hasAccelerator) {
            EXPECT_TRUE(path.ends_with(u"/MenuItem") && attribute == u"caption")
                << Narrow(path) << " " << Narrow(attribute);
        }
    };
    VisitTexts(doc->Root(), u"", check);
    EXPECT_EQ(lineBreaks, 6 * 6);
    EXPECT_GE(accelerators, 4 * 6); // E▸xit, ▸About, Submit ▸Feedback, Release ▸Notes
}

TEST(GuiTextCatalogue, TellingEnglishAndGermanTexts) {
    const auto doc = ShippedCatalogue();
    TWideXmlNode* backup = FindSoftwareModule(*doc, u"Backup");
    TWideXmlNode* restore = FindSoftwareModule(*doc, u"Restore");
    TWideXmlNode* menu = FindMainMenu(*doc);
    EXPECT_EQ(GetControlText(*doc, backup, u"Panel2", u"btnback", u"Caption", u"eng"), u"Back");
    EXPECT_EQ(GetControlText(*doc, restore, u"gbWebsitesExist", u"rbWebsitesExist4", u"Caption", u"eng"),
              u"Prompt for a Decision, Case by Case");
    EXPECT_EQ(GetControlText(*doc, restore, u"FormCheckPath", u"GroupBox3", u"Caption", u"eng"),
              u"Error found. Invalid Paths.");
    // "OK" is spelled alike in English and the other languages that keep the word.
    for (const char16_t* lingvo : {u"eng", u"deu", u"fra", u"por"})
        EXPECT_EQ(GetControlText(*doc, restore, u"FormProperty", u"Ok", u"Caption", lingvo), u"OK");
    // Chinese confirmation labels are empty; their empty hints exist but apply to radio buttons only.
    EXPECT_EQ(GetControlText(*doc, restore, u"tabsheetRestoreConfirm", u"LabelRestoreConfirm", u"Caption", u"chi"),
              u"");
    EXPECT_EQ(GetControlText(*doc, restore, u"tabsheetRestoreConfirm", u"LabelRestoreConfirm", u"Hint", u"chi"), u"");
    EXPECT_EQ(GetControlText(*doc, restore, u"tabsheetRestoreConfirm", u"LabelRestoreConfirm", u"Hint", u"eng"),
              std::nullopt);
    EXPECT_EQ(GetMainMenuCaption(*doc, menu, u"miExit", u"eng"), u"E&xit");
    EXPECT_EQ(GetMainMenuCaption(*doc, menu, u"miFeedback", u"eng"), u"Submit &Feedback");
    EXPECT_EQ(GetPopupMenuCaption(*doc, restore, u"PopupLog", u"popClearLog", u"eng")->Caption, u"Erase the Log");
    EXPECT_EQ(GetKeywordText(*doc, u"eng", u"FormCheckPath"), u"Data Validation: Paths Used in IIS Configuration");
    EXPECT_EQ(GetKeywordText(*doc, u"eng", u"DialogYesNo"), u"");
    EXPECT_EQ(GetKeywordText(*doc, u"chi", u"DialogYesNo"), u"");
    EXPECT_EQ(GetKeywordText(*doc, u"fra", u"DialogYesNo"), u"Cliquez sur [Yes] pour l'oui, [No] pour no.");
    EXPECT_EQ(GetKeywordText(*doc, u"deu", u"Backup") + u" " + GetKeywordText(*doc, u"deu", u"and") + u" " +
                  GetKeywordText(*doc, u"deu", u"Restore"),
              u"Unterst\u00FCtzung und Wiederherstellung");
    EXPECT_EQ(GetDialogText(*doc, u"eng", u"DialogYesNoCancel", u"websiteexist"),
              u"Web site: %s (identifier = %s) exists!\r\n\r\nClick [Yes] for overwrite, [No] to create as a new "
              u"site, [Cancel] to skip.");
    EXPECT_EQ(FormatTolerant(GetDialogText(*doc, u"eng", u"MsgInfoOk", u"restorefixpathscount"), {3}),
              u"3 paths have been fixed!");
    EXPECT_EQ(GetSubstitutionText(*doc, u"MemoAbout", u"5", u"eng"), u"expands to YYYYMMDD");
    EXPECT_TRUE(LoadMemoLines(*doc, u"MemoAbout").starts_with(u"%s: "));
}

TEST(GuiTextCatalogue, EveryContainerHoldsTheKeysTheWindowsLookUp) {
    const auto doc = ShippedCatalogue();
    const auto entries = CollectEntries(*doc);
    // Kind|module|container -> keys in order ("name" for captions and popup items,
    // "name Hint" for hints).
    std::map<std::u16string, std::vector<std::u16string>> found;
    for (const auto& [key, list] : entries) {
        if (!key.starts_with(u"Control|") && !key.starts_with(u"Popup|"))
            continue;
        std::u16string rest = key.substr(key.find(u'|') + 1);
        const size_t nameAt = rest.find(u'|', rest.find(u'|') + 1) + 1;
        std::u16string name = rest.substr(nameAt);
        if (name.ends_with(u"|Caption"))
            name.resize(name.size() - 8);
        else if (name.ends_with(u"|Hint"))
            name.replace(name.size() - 5, 1, u" ");
        found[rest.substr(0, nameAt - 1)].push_back(name);
    }
    std::map<std::u16string, std::vector<std::u16string>> expected = {
        {u"Backup|Panel2", {u"Labelbackup", u"Labelmain", u"Labelrestore", u"btnback", u"btnfinish", u"btnnext"}},
        {u"Backup|tabsheetMain", {u"Label10", u"rbBackup", u"rbRestore"}},
        {u"Backup|tabsheetBackup1", {u"Label3"}},
        {u"Backup|tabsheetBackup2", {u"Label6"}},
        {u"Backup|tabsheetBackup3", {u"Label1"}},
        {u"Backup|PanelLabel", {u"LabelBackupFinish"}},
        {u"Backup|PopupBackup", {u"popDeleteNodeB"}},
        {u"Restore|tabsheetRestore1", {u"Label2", u"Label4", u"Label7"}},
        {u"Restore|tabsheetRestore2", {u"Label8"}},
        {u"Restore|tabsheetRestore3", {u"Label12", u"Label15", u"Label16", u"Label17"}},
        {u"Restore|gbWebsitesExist", {u"rbWebsitesExist1", u"rbWebsitesExist2", u"rbWebsitesExist3", u"rbWebsitesExist4"}},
        {u"Restore|gbIpNotFound", {u"rbIpNotFound1", u"rbIpNotFound1 Hint", u"rbIpNotFound2 Hint"}},
        {u"Restore|gbPathsValid", {u"rbPathsValid1", u"rbPathsValid1 Hint", u"rbPathsValid2", u"rbPathsValid2 Hint"}},
        {u"Restore|tabsheetRestore4", {u"Label13", u"Label14", u"rbCheckPath1", u"rbCheckPath2", u"rbCheckPath3 Hint"}},
        {u"Restore|tabsheetRestoreConfirm",
         {u"LabelRestoreConfirm", u"LabelRestoreConfirm Hint", u"LabelRestoreConfirmText", u"LabelRestoreConfirmText Hint"}},
        {u"Restore|tabsheetRestore5", {u"Label9"}},
        {u"Restore|FormCheckIP", {u"GroupBox1", u"GroupBox2"}},
        {u"Restore|GroupBox2", {u"Label1", u"Label2", u"btnAuto", u"btnReplace", u"btnSave"}},
        {u"Restore|FormCheckPath", {u"GroupBox3", u"GroupBox4"}},
        {u"Restore|GroupBox4", {u"Label1", u"Label2", u"btnAuto", u"btnReplace", u"btnSave"}},
        {u"Restore|FormProperty", {u"Label1", u"Label2", u"Label3", u"Ok"}},
        {u"Restore|PopupRestore", {u"popDeleteNode", u"popSelectAllSites"}},
        {u"Restore|PopupLog", {u"popClearLog"}},
        {u"Restore|PopupProperty", {u"popAddProperty", u"popDeleteProperty", u"popEditProperty"}},
    };
    for (auto* keys : {&found, &expected})
        for (auto& [container, names] : *keys)
            std::sort(names.begin(), names.end());
    EXPECT_EQ(found, expected);
}

TEST(GuiTextCatalogue, EnglishTextsTheProgramQuotes) {
    const auto doc = ShippedCatalogue();
    const struct {
        const char16_t* type;
        const char16_t* id;
        const char16_t* text;
    } dialogs[] = {
        {u"MsgWarningOk", u"restoremachinecount", u"Select one (1) backup to restore!"},
        {u"MsgWarningOk", u"propertyvalidtype", u"Please select a supported type!"},
        {u"MsgWarningOk", u"propertyvalidinteger", u"Enter an integer."},
        {u"MsgWarningOk", u"propertyvalidboolean", u"Boolean value should be True or False!"},
        {u"MsgInfoOk", u"restorefixpathscount", u"%d paths have been fixed!"},
        {u"MsgErrorOk", u"restoreisip", u"Error with ip address."},
        {u"MsgErrorOk", u"cannotopenmanual", u"Can not open Tarnwell_Reference.pdf.\r\n\r\n Error: %s"},
        {u"DialogYesNo", u"backupexist", u"A backup named %s already exists. Are you sure you want to overwrite it?"},
        {u"DialogYesNo", u"deletenode",
         u"Please confirm that you want to delete the backup information at the current node? \r\n\r\n It will be "
         u"removed completely from your %s file. This action cannot be undone."},
        {u"DialogYesNo", u"restorebegin", u"Are you ready to restore?"},
        {u"DialogYesNo", u"restoresaveip",
         u"Please confirm that you want to save the new IPs.\r\n\r\n The %s file will be altered. \r\n\r\nThis action "
         u"cannot be undone."},
    };
    for (const auto& c : dialogs)
        EXPECT_EQ(GetDialogText(*doc, u"eng", c.type, c.id), c.text);
    const std::u16string machineName = GetDialogText(*doc, u"eng", u"MsgWarningOk", u"backupmachinename");
    EXPECT_EQ(Placeholders(machineName), u"%s");
    EXPECT_NE(machineName.find(u"localhost"), std::u16string::npos);

    const std::pair<const char16_t*, const char16_t*> keywords[] = {
        {u"Backup", u"Backup"},   {u"and", u"and"},      {u"Restore", u"Restore"},
        {u"Close", u"Close"},     {u"Cancel", u"Cancel"}, {u"FormCheckIP", u"Check IP"},
        {u"FormProperty", u"Properties"},
    };
    for (const auto& [name, text] : keywords)
        EXPECT_EQ(GetKeywordText(*doc, u"eng", name), text);

    const std::pair<const char16_t*, const char16_t*> menu[] = {
        {u"miFile", u"File"},         {u"miExit", u"E&xit"},          {u"miHelp", u"Help"},
        {u"miAbout", u"&About"},      {u"miFeedback", u"Submit &Feedback"}, {u"miManual", u"Documentation"},
        {u"miReleaseNotes", u"Release &Notes"}, {u"miTools", u"Tools"},
    };
    for (const auto& [name, caption] : menu)
        EXPECT_EQ(GetMainMenuCaption(*doc, FindMainMenu(*doc), name, u"eng"), caption);

    const char16_t* substitutions[] = {u"Usage", u"backup automatically based on parameters", u"customized XML filename",
                                       u"backup name", u"expands to YYYYMMDD",
                                       u"overwrite any backup with the same name, without prompting",
                                       u"machine name, usually localhost", u"quit when done"};
    for (int id = 1; id <= 8; ++id)
        EXPECT_EQ(GetSubstitutionText(*doc, u"MemoAbout", std::u16string(1, char16_t(u'0' + id)), u"eng"),
                  substitutions[id - 1]);

    TWideXmlNode* backup = FindSoftwareModule(*doc, u"Backup");
    TWideXmlNode* restore = FindSoftwareModule(*doc, u"Restore");
    const struct {
        TWideXmlNode* module;
        const char16_t* container;
        const char16_t* name;
        const char16_t* text;
    } controls[] = {
        {backup, u"Panel2", u"btnnext", u"Next"},
        {backup, u"Panel2", u"btnfinish", u"Finish"},
        {restore, u"gbWebsitesExist", u"rbWebsitesExist1", u"Replace All (i.e. overwrite existing)"},
        {restore, u"gbWebsitesExist", u"rbWebsitesExist2", u"Create All as New Sites"},
        {restore, u"gbWebsitesExist", u"rbWebsitesExist3", u"Skip the Restoration of that Web Site"},
        {restore, u"FormCheckIP", u"GroupBox1", u"Error found. Invalid IP."},
    };
    for (const auto& c : controls)
        EXPECT_EQ(GetControlText(*doc, c.module, c.container, c.name, u"Caption", u"eng"), c.text);
    const struct {
        const char16_t* popup;
        const char16_t* name;
        const char16_t* caption;
    } popups[] = {
        {u"PopupRestore", u"popSelectAllSites", u"Select All Sites"},
        {u"PopupProperty", u"popAddProperty", u"Add Property"},
    };
    for (const auto& c : popups)
        EXPECT_EQ(GetPopupMenuCaption(*doc, restore, c.popup, c.name, u"eng")->Caption, c.caption);
    EXPECT_EQ(GetPopupMenuCaption(*doc, backup, u"PopupBackup", u"popDeleteNodeB", u"eng")->Caption, u"Delete Node");
}
