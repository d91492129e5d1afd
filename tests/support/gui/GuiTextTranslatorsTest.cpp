// The translators over a small widget tree on the offscreen platform.
#include "support/gui/GuiTextTranslators.h"

#include "support/GuiTextCatalogue.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

// Failures show texts rather than bytes.
static void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

using namespace orvex;

namespace {

constexpr char16_t kCatalogue[] = uR"(<?xml version="1.0" encoding="utf-8"?>
<PelluxToolsSoftwareTolkara>
  <SoftwareModules>
    <SoftwareModule id="Backup">
      <Panel2>
        <Control name="btnnext" property="Caption" value="Next"/>
        <Control name="btnnext" property="Caption" value="Weiter" lingvo="deu"/>
        <Control name="Labelmain" property="Caption" value="main &#x25A3;screen"/>
        <Control name="Labelmain" property="Caption" value="" lingvo="chi"/>
        <Control name="Labelmain" property="Hint" value="label hint"/>
        <Control name="rbOne" property="Caption" value="One"/>
        <Control name="rbOne" property="Hint" value="One hint"/>
        <Control name="rbOne" property="Hint" value="Ein Hinweis" lingvo="deu"/>
        <Control name="gbInner" property="Caption" value="Group"/>
        <Control name="Inner" property="Caption" value="must not reach a grandchild"/>
        <Control name="cbOne" property="Caption" value="check boxes keep their text"/>
        <Control name="edit" property="Caption" value="edits keep their text"/>
        <Control name="Window" property="Caption" value="windows are no controls"/>
        <Control name="OnlyFra" property="Caption" value="Seulement" lingvo="fra"/>
      </Panel2>
      <PopupBackup>
        <MenuItem name="popDelete" caption="&#x25B8;Delete"/>
        <MenuItem name="popDelete" caption="L&#x25B8;oeschen" lingvo="deu"/>
        <MenuItem name="popEmpty" caption="Empty"/>
        <MenuItem name="popEmpty" caption="" lingvo="deu"/>
        <MenuItem name="popSub" caption="Sub"/>
        <MenuItem name="popSub" caption="Unter" lingvo="deu"/>
        <MenuItem name="popInner" caption="never: not a top-level item"/>
      </PopupBackup>
    </SoftwareModule>
  </SoftwareModules>
  <MainMenu>
    <MenuItem name="miFile" caption="&#x25B8;File"/>
    <MenuItem name="miFile" caption="&#x25B8;Datei" lingvo="deu"/>
    <MenuItem name="miExit" caption="E&#x25B8;xit"/>
    <MenuItem name="miExit" caption="" lingvo="deu"/>
    <MenuItem name="miTools" caption="Tools"/>
    <MenuItem name="miTools" caption="Extras" lingvo="deu"/>
    <MenuItem name="miLanguage" caption="Language"/>
    <MenuItem name="miLanguage" caption="Sprache" lingvo="deu"/>
    <MenuItem name="miDeep" caption="Deep"/>
    <MenuItem name="miDeep" caption="Tief" lingvo="deu"/>
  </MainMenu>
</PelluxToolsSoftwareTolkara>
)";

// Panel2 > btnnext, Labelmain, rbOne, gbInner (> Inner), cbOne, edit, an unnamed
// label, a label in a window of its own; each starts with the text "old".
class GuiTextTranslators : public ::testing::Test {
protected:
    void SetUp() override {
        doc_->ReadFromString(kCatalogue);
        panel_ = std::make_unique<QWidget>();
        panel_->setObjectName("Panel2");
        next_ = Named(new QPushButton("old", panel_.get()), "btnnext");
        label_ = Named(new QLabel("old", panel_.get()), "Labelmain");
        radio_ = Named(new QRadioButton("old", panel_.get()), "rbOne");
        group_ = Named(new QGroupBox("old", panel_.get()), "gbInner");
        inner_ = Named(new QLabel("old", group_), "Inner");
        check_ = Named(new QCheckBox("old", panel_.get()), "cbOne");
        edit_ = Named(new QLineEdit("old", panel_.get()), "edit");
        unnamed_ = new QLabel("old", panel_.get());
        // A label of its own window: a child object, but no control of the panel.
        window_ = Named(new QLabel("old", panel_.get(), Qt::Window), "Window");
        for (QWidget* widget : {static_cast<QWidget*>(next_), static_cast<QWidget*>(label_),
                                static_cast<QWidget*>(radio_)})
            widget->setToolTip("old");
    }

    template <typename T>
    static T* Named(T* widget, const char* name) {
        widget->setObjectName(name);
        return widget;
    }

    std::unique_ptr<TVeldarXmlDoc> doc_ = NewGuiTextDocument();
    std::unique_ptr<QWidget> panel_;
    QPushButton* next_ = nullptr;
    QLabel* label_ = nullptr;
    QRadioButton* radio_ = nullptr;
    QGroupBox* group_ = nullptr;
    QLabel* inner_ = nullptr;
    QCheckBox* check_ = nullptr;
    QLineEdit* edit_ = nullptr;
    QLabel* unnamed_ = nullptr;
    QLabel* window_ = nullptr;
};

} // namespace

TEST_F(GuiTextTranslators, CaptionsReachDirectChildrenOfTheCaptionedKinds) {
    TranslateControls(u"Backup", *doc_, u"eng", panel_.get(), u"", u"Caption");
    EXPECT_EQ(next_->text(), "Next");
    EXPECT_EQ(label_->text(), QString::fromUtf16(u"main \u25A3screen")); // applied as it stands
    EXPECT_EQ(radio_->text(), "One");
    EXPECT_EQ(group_->title(), "Group");
    EXPECT_EQ(inner_->text(), "old");
    EXPECT_EQ(check_->text(), "old");
    EXPECT_EQ(edit_->text(), "old");
    EXPECT_EQ(unnamed_->text(), "old");
    EXPECT_EQ(window_->text(), "old");
    EXPECT_EQ(radio_->toolTip(), "old");

    // The inner group box is a container of its own; it has no entries here.
    TranslateControls(u"Backup", *doc_, u"eng", group_, u"", u"Caption");
    EXPECT_EQ(inner_->text(), "old");
}

TEST_F(GuiTextTranslators, LanguagesFallBackPerControlAndEmptyEntriesEmpty) {
    TranslateControls(u"Backup", *doc_, u"deu", panel_.get(), u"", u"Caption");
    EXPECT_EQ(next_->text(), "Weiter");
    EXPECT_EQ(radio_->text(), "One");
    TranslateControls(u"Backup", *doc_, u"chi", panel_.get(), u"", u"Caption");
    EXPECT_EQ(next_->text(), "Next");
    EXPECT_EQ(label_->text(), "");
    // Switching back re-applies every text.
    TranslateControls(u"Backup", *doc_, u"eng", panel_.get(), u"", u"Caption");
    EXPECT_EQ(label_->text(), QString::fromUtf16(u"main \u25A3screen"));
}

TEST_F(GuiTextTranslators, HintsReachRadioButtonsOnly) {
    TranslateControls(u"Backup", *doc_, u"deu", panel_.get(), u"", u"Hint");
    EXPECT_EQ(radio_->toolTip(), "Ein Hinweis");
    EXPECT_EQ(radio_->text(), "old");
    EXPECT_EQ(label_->toolTip(), "old");
    EXPECT_EQ(next_->toolTip(), "old");
    TranslateControls(u"Backup", *doc_, u"eng", panel_.get(), u"", u"Hint");
    EXPECT_EQ(radio_->toolTip(), "One hint");
}

TEST_F(GuiTextTranslators, FilterModuleAndPropertyLimitWhatChanges) {
    TranslateControls(u"Backup", *doc_, u"eng", panel_.get(), u"qlabel", u"Caption");
    EXPECT_EQ(label_->text(), QString::fromUtf16(u"main \u25A3screen"));
    EXPECT_EQ(next_->text(), "old");
    EXPECT_EQ(radio_->text(), "old");

    for (const char16_t* property : {u"Text", u"caption", u""})
        TranslateControls(u"Backup", *doc_, u"eng", panel_.get(), u"", property);
    TranslateControls(u"Restore", *doc_, u"eng", panel_.get(), u"", u"Caption");
    TranslateControls(u"Backup", *doc_, u"eng", nullptr, u"", u"Caption");
    EXPECT_EQ(next_->text(), "old");
    EXPECT_EQ(radio_->text(), "old");

    panel_->setObjectName("");
    TranslateControls(u"Backup", *doc_, u"eng", panel_.get(), u"", u"Caption");
    EXPECT_EQ(next_->text(), "old");
}

TEST(GuiTextMenus, MainMenuItemsAtEveryDepthReadTheFlatEntries) {
    auto doc = NewGuiTextDocument();
    doc->ReadFromString(kCatalogue);
    QMenuBar bar;
    QMenu* file = bar.addMenu("old");
    file->setObjectName("miFile");
    QAction* exitItem = file->addAction("old");
    exitItem->setObjectName("miExit");
    file->addSeparator();
    QMenu* tools = bar.addMenu("old");
    tools->setObjectName("miTools");
    QMenu* language = tools->addMenu("old");
    language->setObjectName("miLanguage");
    QAction* deep = language->addAction("old");
    deep->setObjectName("miDeep");
    QAction* unknown = language->addAction("old");
    unknown->setObjectName("miUnknown");

    TranslateMainMenu(*doc, &bar, u"eng");
    EXPECT_EQ(file->title(), "&File");
    EXPECT_EQ(exitItem->text(), "E&xit");
    EXPECT_EQ(tools->title(), "Tools");
    EXPECT_EQ(language->title(), "Language");
    EXPECT_EQ(deep->text(), "Deep");
    EXPECT_EQ(unknown->text(), "old");

    TranslateMainMenu(*doc, &bar, u"deu");
    EXPECT_EQ(file->title(), "&Datei");
    EXPECT_EQ(exitItem->text(), "E&xit"); // empty German caption: unchanged
    EXPECT_EQ(language->title(), "Sprache");
    EXPECT_EQ(deep->text(), "Tief");

    TranslateMainMenu(*doc, nullptr, u"eng");
    auto bare = NewGuiTextDocument();
    bare->ReadFromString(u"<PelluxToolsSoftwareTolkara/>");
    TranslateMainMenu(*bare, &bar, u"eng");
    EXPECT_EQ(deep->text(), "Tief");
}

TEST(GuiTextMenus, PopupTopLevelItemsAreTranslatedAndLanguageEntriesCounted) {
    auto doc = NewGuiTextDocument();
    doc->ReadFromString(kCatalogue);
    QMenu popup;
    popup.setObjectName("PopupBackup");
    QAction* del = popup.addAction("old");
    del->setObjectName("popDelete");
    QAction* empty = popup.addAction("old");
    empty->setObjectName("popEmpty");
    popup.addSeparator();
    QMenu* sub = popup.addMenu("old");
    sub->setObjectName("popSub");
    QAction* inner = sub->addAction("old");
    inner->setObjectName("popInner");

    EXPECT_EQ(TranslatePopupMenu(u"Backup", *doc, &popup, u"eng"), 0);
    EXPECT_EQ(del->text(), "&Delete");
    EXPECT_EQ(empty->text(), "Empty");
    EXPECT_EQ(sub->title(), "Sub");
    EXPECT_EQ(inner->text(), "old");

    EXPECT_EQ(TranslatePopupMenu(u"Backup", *doc, &popup, u"deu"), 3);
    EXPECT_EQ(del->text(), "L&oeschen");
    EXPECT_EQ(empty->text(), ""); // an empty language caption empties the item
    EXPECT_EQ(sub->title(), "Unter");

    EXPECT_EQ(TranslatePopupMenu(u"Restore", *doc, &popup, u"eng"), 0);
    EXPECT_EQ(TranslatePopupMenu(u"Backup", *doc, nullptr, u"eng"), 0);
    EXPECT_EQ(del->text(), "L&oeschen");
}

TEST(GuiTextShipped, GermanWindowPiecesFromTheShippedCatalogue) {
    auto doc = NewGuiTextDocument();
    LoadGuiTextCatalogue(*doc, u"/nonexistent-orvex-folder/");
    QWidget group;
    group.setObjectName("gbWebsitesExist");
    auto* replace = new QRadioButton("old", &group);
    replace->setObjectName("rbWebsitesExist1");
    TranslateControls(u"Restore", *doc, u"eng", &group, u"", u"Caption");
    EXPECT_EQ(replace->text(), "Replace All (i.e. overwrite existing)");
    TranslateControls(u"Restore", *doc, u"deu", &group, u"", u"Caption");
    EXPECT_EQ(replace->text(), QString::fromUtf16(u"Alle ersetzen (d. h. vorhandene \u00FCberschreiben)"));

    QMenuBar bar;
    QMenu* help = bar.addMenu("old");
    help->setObjectName("miHelp");
    QAction* about = help->addAction("old");
    about->setObjectName("miAbout");
    TranslateMainMenu(*doc, &bar, u"eng");
    EXPECT_EQ(help->title(), "Help");
    EXPECT_EQ(about->text(), "&About");

    QMenu log;
    log.setObjectName("PopupLog");
    QAction* clear = log.addAction("old");
    clear->setObjectName("popClearLog");
    EXPECT_EQ(TranslatePopupMenu(u"Restore", *doc, &log, u"eng"), 0);
    EXPECT_EQ(clear->text(), "Erase the Log");
    EXPECT_EQ(TranslatePopupMenu(u"Restore", *doc, &log, u"fra"), 1);
}
