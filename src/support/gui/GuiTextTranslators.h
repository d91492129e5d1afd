#pragma once
// Applies the GUI-text catalogue (support/GuiText.h) to Qt widgets and menus.
// Controls and menu items are matched by object name; a control or item without
// an entry keeps its text.

#include <string_view>

#include "keyedconfig/VeldarXmlDoc.h"

class QMenu;
class QMenuBar;
class QWidget;

namespace orvex {

// Sets the texts of container's direct child widgets (children of a child are
// not visited: each container is translated by its own call) from the entries
// under module moduleId, element named after container. With a non-empty
// classNameFilter only children of that Qt class name (ignoring case) are taken.
// propertyName "Caption" sets the text of a QPushButton, QLabel or QRadioButton and
// the title of a QGroupBox (other widgets are left alone); "Hint" sets the tool tip
// of a QRadioButton only; any other property changes nothing. Texts are applied as
// they stand, markers included.
void TranslateControls(std::u16string_view moduleId, TVeldarXmlDoc& doc, std::u16string_view lingvo,
                       QWidget* container, std::u16string_view classNameFilter,
                       std::u16string_view propertyName);

// The same with the entries looked up under the element named entryContainer
// instead of container's own name: for controls that the catalogue files under
// the page holding the group box they sit in.
void TranslateControlsUnder(std::u16string_view moduleId, TVeldarXmlDoc& doc, std::u16string_view lingvo,
                            QWidget* container, std::u16string_view entryContainer,
                            std::u16string_view classNameFilter, std::u16string_view propertyName);

// Sets the captions of every item of the menu bar, at any depth, from the flat
// MainMenu entries; an item whose caption would be empty keeps its own.
void TranslateMainMenu(TVeldarXmlDoc& doc, QMenuBar* menu, std::u16string_view lingvo);

// Sets the captions of popup's top-level items (not their sub-items) from the
// entries under module moduleId, element named after popup. Returns how many
// captions came from entries of the language itself.
int TranslatePopupMenu(std::u16string_view moduleId, TVeldarXmlDoc& doc, QMenu* popup, std::u16string_view lingvo);

} // namespace orvex
