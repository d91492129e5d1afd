#pragma once
// Lookups in the multilingual GUI-text catalogue (see support/GuiTextCatalogue.h
// for loading it). Each lookup tries the entry of the asked language and falls back
// to an English entry (the one without a "lingvo" attribute); the rules differ from
// lookup to lookup, and callers rely on them:
//   controls, keywords       language entry only when lingvo != "eng"; fallback:
//                            the first entry of the key, when it has no lingvo
//   substitutions, menus     language entry always tried; same fallback
//   dialogs                  language entry only when lingvo != "eng"; fallback:
//                            the first entry of the key, whatever its lingvo
// "eng" and lingvo values compare exactly. A missing entry is never an error: the
// text is empty (or, for controls and menus, absent). Two markers stand in texts:
// U+25A3 becomes CR LF in keyword and dialog texts, U+25B8 becomes "&" in menu
// captions. Placeholders ("%s", "%d") come back unchanged for FormatTolerant.
// Names and codes go into paths of the keyed document: one holding a double quote,
// or a container name that is no path name, raises its path error (EVeldarException).
// The Qt translators over these halves are in support/gui/GuiTextTranslators.h.

#include "base/TextFormat.h"
#include "keyedconfig/VeldarXmlDoc.h"

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

inline constexpr std::u16string_view kEnglishLingvo = u"eng";
inline constexpr std::u16string_view kLineBreakMarker = u"\u25A3";
inline constexpr std::u16string_view kAcceleratorMarker = u"\u25B8";

// --- Languages ---

// One "abbrev=name" line per Lingvo element whose active is exactly "yes", in
// document order; list is cleared first.
void ListActiveLingvos(TVeldarXmlDoc& doc, std::vector<std::u16string>& list);
// The code of the first line of list whose name part equals name exactly; "eng"
// when none does.
std::u16string LingvoAbbrevOfName(std::u16string_view name, const std::vector<std::u16string>& list);

// --- Texts ---

// Other/Keyword[@name], markers replaced.
std::u16string GetKeywordText(TVeldarXmlDoc& doc, std::u16string_view lingvo, std::u16string_view name);
// The text of Memos/<memoName>/Lines: a template, no markers replaced.
std::u16string LoadMemoLines(TVeldarXmlDoc& doc, std::u16string_view memoName);
// Memos/<memoName>/Substitutions/S[@id]; no markers replaced.
std::u16string GetSubstitutionText(TVeldarXmlDoc& doc, std::u16string_view memoName, std::u16string_view id,
                                   std::u16string_view lingvo);
// Dialogs/Dialog[@type][@id], markers replaced.
std::u16string GetDialogText(TVeldarXmlDoc& doc, std::u16string_view lingvo, std::u16string_view dialogType,
                             std::u16string_view id);

// --- Showing dialog texts ---

// Shows text through the front end its catalogue type names: "MsgInfoOk"
// ShowInformation, "MsgWarningOk" ShowWarning, "MsgErrorOk" ShowError (these give
// mrOk), "DialogYesNo" AskYesNo (mrYes or mrNo), "DialogYesNoCancel" AskYesNoCancel
// (the answer unchanged). Another type raises std::invalid_argument and shows nothing.
int ShowDialogText(std::u16string_view dialogType, const std::u16string& text);
// GetDialogText formatted with values (FormatTolerant), lastLine appended (the
// main window's yes/no line, or empty), shown by ShowDialogText.
int ShowCatalogueDialog(TVeldarXmlDoc& doc, std::u16string_view lingvo, std::u16string_view dialogType,
                        std::u16string_view id, std::initializer_list<TFormatValue> values = {},
                        std::u16string_view lastLine = {});

// --- The Qt-free halves of the translators ---

// SoftwareModules/SoftwareModule[@id], or nullptr.
TWideXmlNode* FindSoftwareModule(TVeldarXmlDoc& doc, std::u16string_view moduleId);
// The text a control takes for propertyName ("Caption" or "Hint"), unchanged, an
// empty value included; nullopt when the control keeps its own. Entries stand under
// the module's element named after the container (an unnamed container has none).
std::optional<std::u16string> GetControlText(TVeldarXmlDoc& doc, TWideXmlNode* module,
                                             std::u16string_view containerName, std::u16string_view controlName,
                                             std::u16string_view propertyName, std::u16string_view lingvo);
// The MainMenu element, or nullptr.
TWideXmlNode* FindMainMenu(TVeldarXmlDoc& doc);
// The caption of a main-menu item, whatever its depth, markers replaced; nullopt
// when there is no entry or its caption is empty (the item keeps its caption).
std::optional<std::u16string> GetMainMenuCaption(TVeldarXmlDoc& doc, TWideXmlNode* mainMenu,
                                                 std::u16string_view itemName, std::u16string_view lingvo);
// The caption of a top-level popup-menu item, markers replaced, an empty caption
// included; nullopt when the item keeps its caption (always for an unnamed popup).
struct TPopupCaption {
    std::u16string Caption;
    bool FromLanguageEntry = false; // counted by TranslatePopupMenu
};
std::optional<TPopupCaption> GetPopupMenuCaption(TVeldarXmlDoc& doc, TWideXmlNode* module,
                                                 std::u16string_view popupName, std::u16string_view itemName,
                                                 std::u16string_view lingvo);

} // namespace orvex
