#pragma once
// The GUI-text catalogue document: created once by the main window and loaded again
// on every change of language, from "Orvex_GUI_Text.xml" beside the executable when
// that file exists, else from the embedded resource "Orvex_GUI_Text".

#include <memory>
#include <string>
#include <string_view>

#include "keyedconfig/VeldarXmlDoc.h"

namespace orvex {

inline constexpr std::u16string_view kGuiTextRootName = u"PelluxToolsSoftwareTolkara";
inline constexpr std::u16string_view kGuiTextContextAttribute = u"context";
inline constexpr std::u16string_view kGuiTextFileName = u"Orvex_GUI_Text.xml";
inline constexpr std::u16string_view kGuiTextResourceName = u"Orvex_GUI_Text";

// An empty catalogue document: no file name, the catalogue's root name, no context
// default, the context attribute "context".
std::unique_ptr<TVeldarXmlDoc> NewGuiTextDocument();

// Loads the catalogue: folder + "Orvex_GUI_Text.xml" when it exists (read with
// LoadUtf8TextFile, so a file without a byte-order mark is read as code page 1252),
// else the embedded resource. The root name is not checked. A file that does not
// parse raises the parser's error and leaves doc as it was.
void LoadGuiTextCatalogue(TVeldarXmlDoc& doc, std::u16string_view folder);
// The same beside the executable.
void LoadGuiTextCatalogue(TVeldarXmlDoc& doc);
// The embedded resource alone: what serves when the file cannot be read.
void LoadBuiltInGuiTextCatalogue(TVeldarXmlDoc& doc);
// folder + "Orvex_GUI_Text.xml"
std::u16string GuiTextFileName(std::u16string_view folder);

} // namespace orvex
