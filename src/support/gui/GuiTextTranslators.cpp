#include "support/gui/GuiTextTranslators.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>

#include "base/CaseFold.h"
#include "support/GuiText.h"

namespace orvex {

namespace {

std::u16string NameOf(const QObject* object) { return object->objectName().toStdU16String(); }

// A submenu's item usually carries no name of its own; the menu it opens does.
std::u16string ItemNameOf(const QAction* item) {
    std::u16string name = NameOf(item);
    if (name.empty())
        if (const QMenu* menu = item->menu())
            name = NameOf(menu);
    return name;
}

void SetCaption(QWidget* control, const QString& text) {
    if (auto* button = qobject_cast<QPushButton*>(control))
        button->setText(text);
    else if (auto* label = qobject_cast<QLabel*>(control))
        label->setText(text);
    else if (auto* radio = qobject_cast<QRadioButton*>(control))
        radio->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(control))
        group->setTitle(text);
}

void TranslateMenuItems(TVeldarXmlDoc& doc, TWideXmlNode* mainMenu, const QWidget* parent,
                        std::u16string_view lingvo) {
    for (QAction* item : parent->actions()) {
        if (const auto caption = GetMainMenuCaption(doc, mainMenu, ItemNameOf(item), lingvo))
            item->setText(QString::fromStdU16String(*caption));
        if (const QMenu* submenu = item->menu())
            TranslateMenuItems(doc, mainMenu, submenu, lingvo);
    }
}

} // namespace

void TranslateControls(std::u16string_view moduleId, TVeldarXmlDoc& doc, std::u16string_view lingvo,
                       QWidget* container, std::u16string_view classNameFilter,
                       std::u16string_view propertyName) {
    if (container)
        TranslateControlsUnder(moduleId, doc, lingvo, container, NameOf(container), classNameFilter, propertyName);
}

void TranslateControlsUnder(std::u16string_view moduleId, TVeldarXmlDoc& doc, std::u16string_view lingvo,
                            QWidget* container, std::u16string_view containerName,
                            std::u16string_view classNameFilter, std::u16string_view propertyName) {
    TWideXmlNode* module = FindSoftwareModule(doc, moduleId);
    if (!module || !container)
        return;
    const bool caption = propertyName == u"Caption";
    const bool hint = propertyName == u"Hint";
    for (QObject* child : container->children()) {
        if (!child->isWidgetType())
            continue;
        auto* control = static_cast<QWidget*>(child);
        if (control->isWindow())
            continue;
        if (!classNameFilter.empty() &&
            !SameTextIgnoreCase(QString::fromLatin1(control->metaObject()->className()).toStdU16String(),
                                classNameFilter))
            continue;
        const auto text = GetControlText(doc, module, containerName, NameOf(control), propertyName, lingvo);
        if (!text)
            continue;
        if (caption)
            SetCaption(control, QString::fromStdU16String(*text));
        else if (hint)
            if (auto* radio = qobject_cast<QRadioButton*>(control))
                radio->setToolTip(QString::fromStdU16String(*text));
    }
}

void TranslateMainMenu(TVeldarXmlDoc& doc, QMenuBar* menu, std::u16string_view lingvo) {
    TWideXmlNode* mainMenu = FindMainMenu(doc);
    if (!mainMenu || !menu)
        return;
    TranslateMenuItems(doc, mainMenu, menu, lingvo);
}

int TranslatePopupMenu(std::u16string_view moduleId, TVeldarXmlDoc& doc, QMenu* popup, std::u16string_view lingvo) {
    TWideXmlNode* module = FindSoftwareModule(doc, moduleId);
    if (!module || !popup)
        return 0;
    const std::u16string popupName = NameOf(popup);
    int fromLanguage = 0;
    for (QAction* item : popup->actions()) {
        const auto caption = GetPopupMenuCaption(doc, module, popupName, ItemNameOf(item), lingvo);
        if (!caption)
            continue;
        item->setText(QString::fromStdU16String(caption->Caption));
        if (caption->FromLanguageEntry)
            ++fromLanguage;
    }
    return fromLanguage;
}

} // namespace orvex
