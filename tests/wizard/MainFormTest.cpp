// Start-up, languages, menus, log, error sound and closing of the main window.

#include "WizardFixture.h"

#include "base/EmbeddedResources.h"
#include "base/LocalClock.h"
#include "engine/ProgressLog.h"
#include "engine/SupportedProperties.h"
#include "support/GuiTextCatalogue.h"
#include "wizard/FormAboutProduct.h"
#include "wizard/FormCheckIP.h"
#include "wizard/FormCheckPath.h"
#include "wizard/WizardSettings.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>

namespace orvex::test {
namespace {

using TMainFormTest = TWizardTest;

TEST_F(TMainFormTest, EveryComponentIsFoundByObjectName) {
    const std::vector<std::pair<const char*, std::vector<const char*>>> components = {
        {"QFrame", {"Panel1", "Panel2", "PanelLabel"}},
        {"QTabWidget", {"pageControlPanel"}},
        {"QWidget", {"tabsheetMain", "tabsheetBackup1", "tabsheetBackup2", "tabsheetBackup3", "tabsheetBackup4",
                     "tabsheetRestore1", "tabsheetRestore2", "tabsheetRestore3", "tabsheetRestore4",
                     "tabsheetRestore5"}},
        {"QLabel", {"Image1", "Labelmain", "Labelbackup", "Labelrestore", "Labelno", "Label1Tolkara", "Label10",
                    "Label3", "Label6", "Label1", "LabelBackupFinish", "Label7", "Label2", "Label4", "Label8",
                    "Label12", "Label15", "Label16", "Label17", "Label13", "Label14", "Label9"}},
        {"QPushButton", {"btnback", "btnnext", "btnCancel", "btnfinish", "Button2", "btnrestorebrown"}},
        {"QComboBox", {"CboxLingvo", "cbIIsVersion"}},
        {"QRadioButton", {"rbBackup", "rbRestore", "rbIpNotFound1", "rbIpNotFound2", "rbWebsitesExist1",
                          "rbWebsitesExist2", "rbWebsitesExist3", "rbWebsitesExist4", "rbPathsValid1",
                          "rbPathsValid2", "rbCheckPath1", "rbCheckPath2", "rbCheckPath3"}},
        {"QLineEdit", {"editMachineName", "editBackupMetafile", "editBackupName", "editRestoreMetafile",
                       "editDestMachine"}},
        {"QProgressBar", {"BackupBar", "LoadFileBar", "DataValidatBar", "RestoreBar"}},
        {"QGroupBox", {"gbIpNotFound", "gbWebsitesExist", "gbPathsValid", "rgCheckPath"}},
        {"orvex::TCheckTreeWidget", {"tvBackup", "tvRestore"}},
        {"QTableWidget", {"lvProperty", "lvPropertyR"}},
        {"orvex::TLogView", {"rtLog"}},
        {"QMenuBar", {"MainMenu"}},
        {"QMenu", {"miFile", "miTools", "miTolkara", "miHelp", "PopupRestore", "PopupBackup", "PopupLog",
                   "PopupProperty"}},
        {"QAction", {"actionPropertyAddR", "actionPropertyEditR", "actionPropertyDeleteR", "actionDeleteNodeR",
                     "actionSelectAllSitesR", "actionDeleteNodeB", "actionClearLog", "actionManual",
                     "actionReleaseNotes", "actionAbout", "FileExit1", "miExit", "miAbout", "miFeedback", "miManual",
                     "popSelectAllSites", "popDeleteNode", "popDeleteNodeB", "popClearLog", "popEditProperty",
                     "popDeleteProperty", "popAddProperty"}},
    };
    for (const auto& [className, names] : components)
        for (const char* name : names) {
            QObject* found = Form().findChild<QObject*>(QString::fromLatin1(name));
            ASSERT_TRUE(found) << name;
            EXPECT_TRUE(found->inherits(className)) << name << " is a " << found->metaObject()->className();
        }
    EXPECT_TRUE(FormCheckIP && FormCheckIP->isHidden());
    EXPECT_TRUE(FormCheckPath && FormCheckPath->isHidden());
}

TEST_F(TMainFormTest, StartsOnTheModePageInEnglish) {
    TMainForm& form = Form();
    EXPECT_EQ(form.ActivePage(), wpMain);
    EXPECT_FALSE(Find<QTabWidget>("pageControlPanel")->tabBar()->isVisible());
    EXPECT_TRUE(Find<QRadioButton>("rbBackup")->isChecked());
    EXPECT_FALSE(Find<QPushButton>("btnback")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>("btnnext")->isVisible());
    EXPECT_FALSE(Find<QPushButton>("btnfinish")->isVisible());
    EXPECT_TRUE(Find<QPushButton>("btnCancel")->isEnabled());
    EXPECT_TRUE(Find<QLabel>("Labelmain")->isVisible());
    EXPECT_FALSE(Find<QLabel>("Labelno")->isVisible());

    EXPECT_EQ(U8(form.windowTitle()), "Orvex IIS Backup and Restore v1.0");
    EXPECT_EQ(U8(Find<QPushButton>("btnback")->text()), "\u21E6 Back");
    EXPECT_EQ(U8(Find<QPushButton>("btnnext")->text()), "Next \u21E8");
    EXPECT_EQ(U8(Find<QPushButton>("btnCancel")->text()), "Cancel");
    EXPECT_EQ(U8(Find<QRadioButton>("rbIpNotFound2")->text()), "Restore");
    EXPECT_EQ(U8(Find<QRadioButton>("rbWebsitesExist1")->text()), "Replace All (i.e. overwrite existing)");
    EXPECT_EQ(U8(Find<QAction>("miExit")->text()), "E&xit");
    EXPECT_EQ(U8(Find<QAction>("popClearLog")->text()), "Erase the Log");
    EXPECT_EQ(form.Getlingvo(), u"eng");
    EXPECT_TRUE(form.DialogYesNoLastLine().empty());

    // The languages in catalogue order, in the combo and the Tools > Tolkara menu.
    const std::vector<std::string> languages = {"汉语", "Deutsch", "Français", "English", "Português", "Español"};
    auto* combo = Find<QComboBox>("CboxLingvo");
    std::vector<std::string> items, menu;
    for (int i = 0; i < combo->count(); ++i)
        items.push_back(U8(combo->itemText(i)));
    for (QAction* item : Find<QMenu>("miTolkara")->actions())
        menu.push_back(U8(item->objectName().mid(8) + "|" + item->text()));
    EXPECT_EQ(items, languages);
    EXPECT_EQ(menu, (std::vector<std::string>{"汉语|汉语", "Deutsch|Deutsch", "Français|Français", "English|English",
                                              "Português|Português", "Español|Español"}));
    EXPECT_EQ(U8(combo->currentText()), "English");

    // Release Notes is gone from Help; its action stays.
    EXPECT_EQ(form.findChild<QAction*>(QStringLiteral("miReleaseNotes")), nullptr);
    std::vector<std::string> help;
    for (QAction* item : Find<QMenu>("miHelp")->actions())
        help.push_back(U8(item->objectName()));
    EXPECT_EQ(help, (std::vector<std::string>{"miAbout", "miFeedback", "miManual"}));
    EXPECT_TRUE(Messages.empty());
    Screenshot("MainWindow-English");
}

TEST_F(TMainFormTest, GermanTranslatesCaptionsHintsPopupsTitleAndNestedLabels) {
    Trigger("miLingvoDeutsch");
    TMainForm& form = Form();
    EXPECT_EQ(U8(Find<QComboBox>("CboxLingvo")->currentText()), "Deutsch");
    EXPECT_EQ(form.Getlingvo(), u"deu");
    EXPECT_EQ(U8(form.windowTitle()), "Orvex IIS Unterstützung und Wiederherstellung v1.0");
    EXPECT_EQ(U8(Find<QLabel>("Labelmain")->text()), "Startseite");
    EXPECT_EQ(U8(Find<QPushButton>("btnCancel")->text()), "Abbrechen");
    EXPECT_EQ(U8(Find<QRadioButton>("rbIpNotFound1")->toolTip()),
              "Ich möchte die IP-Adressen vor dem Wiederherstellen der Konfiguration suchen und ersetzen.");
    EXPECT_EQ(U8(Find<QRadioButton>("rbIpNotFound2")->text()), "Wiederherstellung");
    EXPECT_EQ(U8(Find<QRadioButton>("rbCheckPath3")->text()), "Wiederherstellung");
    EXPECT_EQ(U8(Find<QAction>("popSelectAllSites")->text()), "Alle Websites auswählen");
    EXPECT_EQ(U8(Find<QMenu>("miFile")->title()), "Datei");
    // Filed under the page, standing in group boxes.
    EXPECT_EQ(U8(Find<QLabel>("Label15")->text()), "Wenn IP-Adressen von Websites nicht gefunden werden:");
    EXPECT_EQ(U8(Find<QLabel>("Label16")->text()), "Wenn bereits vorhandene Websites gefunden werden:");
    EXPECT_EQ(U8(Find<QLabel>("Label17")->text()), "Sicherstellen, dass die Pfade gültig sind:");
    // The engine's questions follow the language.
    EXPECT_EQ(U8(EngineHost().DialogText(u"DialogYesNoCancel", u"websiteexist")).substr(0, 15), "Die Website %s ");
    Screenshot("MainWindow-German");

    // Back and forth through both ways of choosing: one arrow each.
    auto* combo = Find<QComboBox>("CboxLingvo");
    combo->setCurrentText(QStringLiteral("English"));
    emit combo->activated(combo->currentIndex());
    EXPECT_EQ(form.Getlingvo(), u"eng");
    EXPECT_EQ(U8(Find<QLabel>("Label15")->text()), "If ip numbers for web sites are not found:");
    Trigger("miLingvoDeutsch");
    EXPECT_EQ(U8(Find<QPushButton>("btnback")->text()), "\u21E6 Zurück");
    EXPECT_EQ(U8(Find<QPushButton>("btnnext")->text()), "Weiter \u21E8");
}

TEST_F(TMainFormTest, AboutBoxTextsFollowTheLanguage) {
    SetLocalClockForTesting([] { return TLocalDateTime{2031, 5, 6}; });
    Trigger("miLingvoDeutsch");
    TFormAboutProduct about(&Form(), Form().Catalogue(), Form().Getlingvo());
    SetLocalClockForTesting(nullptr);
    EXPECT_EQ(U8(about.windowTitle()), "About");
    EXPECT_EQ(U8(ChildNamed<QLabel>(about, "LabelProduct")->text()),
              "Orvex IIS Unterstützung und Wiederherstellung  v1.0.0.0");
    EXPECT_EQ(U8(ChildNamed<QPushButton>(about, "BitBtnClose")->text()), "Schließen");
    EXPECT_EQ(U8(ChildNamed<QLabel>(about, "LabelCopyright")->text()), "Copyright \u00A9 2031 the Orvex team");
    const QString memo = ChildNamed<QPlainTextEdit>(about, "MemoAbout")->toPlainText();
    EXPECT_TRUE(memo.startsWith(QStringLiteral("Aufruf: Orvex -backup -n test(~today~)"))) << U8(memo);
    EXPECT_FALSE(memo.contains(QStringLiteral("%s")));
    EXPECT_TRUE(memo.endsWith(QStringLiteral("\n\nOrvex is free to copy and to pass on, unchanged, with this notice.")));

    TFormAboutProduct bare(nullptr, nullptr, u"eng");
    EXPECT_EQ(U8(ChildNamed<QLabel>(bare, "LabelProduct")->text()), "About");
    EXPECT_EQ(U8(ChildNamed<QPlainTextEdit>(bare, "MemoAbout")->toPlainText()), "(from XML)");
}

// Help > Manual opens the named manual when it is there, else the one shipped
// beside the program; what is missing or cannot be opened is said, as for
// Feedback, in the user's language.
TEST_F(TMainFormTest, ManualAndFeedbackOpenOrSayWhy) {
    const std::string pdf = Beside("Tarnwell_Reference.pdf").string();
    const std::string html = Beside("Orvex_Manual.html").string();
    const std::string feedback = "https://orvex.example.org/feedback?lingvo=eng";
    const struct {
        const char* Action;
        std::vector<std::string> Present;
        bool Opens;
        const char* Language;
        std::string Opened;   // empty: nothing is started
        std::string Message;  // empty: none
    } cases[] = {
        {"actionManual", {pdf, html}, true, "English", pdf, ""},
        {"actionManual", {html}, true, "English", html, ""},
        {"actionManual", {}, true, "English", "", "Can not open Tarnwell_Reference.pdf.\r\n\r\n Error: " + html},
        {"actionManual", {html}, false, "Deutsch", html,
         "Tarnwell_Reference.pdf kann nicht geöffnet werden.\r\n\r\n Fehler: " + html},
        {"miFeedback", {}, true, "English", feedback, ""},
        {"miFeedback", {}, false, "English", feedback, "Can not open Tarnwell_Reference.pdf.\r\n\r\n Error: " + feedback},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Action) + " " + c.Message);
        for (const std::string& file : {pdf, html})
            std::filesystem::remove(file);
        for (const std::string& file : c.Present)
            WriteBytes(file, "manual");
        Opened.clear();
        Messages.clear();
        DesktopOpens = c.Opens;
        if (std::string_view(c.Language) != "English")
            Trigger("miLingvoDeutsch");
        Trigger(c.Action);
        EXPECT_EQ(Opened, c.Opened.empty() ? std::vector<std::u16string>() : std::vector<std::u16string>{Utf8ToUtf16(c.Opened)});
        ASSERT_EQ(Messages.size(), c.Message.empty() ? 0u : 1u);
        if (!c.Message.empty()) {
            EXPECT_EQ(U8(Messages[0].Text), c.Message);
            EXPECT_EQ(Messages[0].Type, TMsgDlgType::mtError);
        }
        CloseForm();
    }
}

TEST_F(TMainFormTest, LogLinesTakeTheirColourAndClearLogKeepsTheErrorFlag) {
    Form();
    const std::vector<std::pair<TColor, QColor>> colours = {
        {clLogBlue, QColor(0, 0, 255)}, {clLogGreen, QColor(0, 128, 0)},
        {clLogBlack, QColor(0, 0, 0)}, {clLogRed, QColor(255, 0, 0)}, {0x123456, QColor(0x56, 0x34, 0x12)}};
    for (const auto& [colour, expected] : colours)
        LogLine(u"line " + Utf8ToUtf16(std::to_string(colour)), colour);
    LogLine(u"", clLogRed);
    EXPECT_EQ(LogText(), "line 16711680\nline 32768\nline 0\nline 255\nline 1193046\n\n");
    const TLogLines& lines = Find<TLogView>("rtLog")->Lines();
    for (size_t i = 0; i < colours.size(); ++i)
        EXPECT_EQ(ColorOf(lines.Colour(i)), colours[i].second) << colours[i].first;

    LogBackupWarning(u"careful", clLogBlack);
    ASSERT_TRUE(BackupErrorFlag());
    Trigger("popClearLog");
    EXPECT_EQ(LogText(), "");
    EXPECT_TRUE(BackupErrorFlag());
}

TEST_F(TMainFormTest, ErrorSoundIsWrittenOnceAndRemovedWithTheWindow) {
    Form().NoiseForError();
    const std::string sound(FindEmbeddedResource(u"MetalClang").value_or(""));
    ASSERT_GT(sound.size(), 44u);
    EXPECT_EQ(sound.substr(0, 4), "RIFF");
    EXPECT_EQ(ReadBytes(Beside("MetalClang.wav")), sound);
    WriteBytes(Beside("MetalClang.wav"), "second call must not rewrite");
    Form().NoiseForError();
    EXPECT_EQ(ReadBytes(Beside("MetalClang.wav")), "second call must not rewrite");
    CloseForm();
    EXPECT_FALSE(std::filesystem::exists(Beside("MetalClang.wav")));
}

TEST_F(TMainFormTest, UnwritableErrorSoundIsLoggedOnceAndNeverRaised) {
    std::filesystem::create_directories(Beside("MetalClang.wav") / "in-the-way");
    Form().NoiseForError();
    Form().NoiseForError();
    EXPECT_EQ(LogText().find("The error sound cannot be written: Cannot create file"), 0u) << LogText();
    EXPECT_EQ(LogText().find('\n'), LogText().size() - 1);
    EXPECT_TRUE(Messages.empty());
    CloseForm();
    EXPECT_TRUE(std::filesystem::is_directory(Beside("MetalClang.wav")));
}

TEST_F(TMainFormTest, BrokenCatalogueFileIsNamedAndTheBuiltInOneServes) {
    WriteBytes(Beside("Orvex_GUI_Text.xml"), "<PelluxToolsSoftwareTolkara><Other>");
    Form();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Type, TMsgDlgType::mtError);
    const std::string text = U8(Messages[0].Text);
    EXPECT_EQ(text.find("The GUI-text catalogue \"" + Beside("Orvex_GUI_Text.xml").string() + "\" cannot be read: "),
              0u)
        << text;
    EXPECT_TRUE(text.ends_with(". The built-in catalogue is used.")) << text;
    EXPECT_EQ(U8(Find<QPushButton>("btnnext")->text()), "Next \u21E8");
    EXPECT_EQ(Find<QComboBox>("CboxLingvo")->count(), 6);
}

TEST_F(TMainFormTest, CatalogueFileBesideTheExecutableReplacesTheBuiltInOne) {
    std::string catalogue(FindEmbeddedResource(u"Orvex_GUI_Text").value_or(""));
    const std::string from = "name=\"btnnext\" property=\"Caption\" value=\"Next\"";
    ASSERT_NE(catalogue.find(from), std::string::npos);
    catalogue.replace(catalogue.find(from), from.size(), "name=\"btnnext\" property=\"Caption\" value=\"Onward\"");
    WriteBytes(Beside("Orvex_GUI_Text.xml"), catalogue);
    EXPECT_EQ(U8(Find<QPushButton>("btnnext")->text()), "Onward \u21E8");
    EXPECT_TRUE(Messages.empty());
}

TEST_F(TMainFormTest, BrokenSupportedPropertyFileIsShownAndTheBuiltInListServes) {
    WriteBytes(Beside("SupportedProperty.xml"), "<Root><IIsWebServer><Property id=\"x\"");
    Form();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(U8(Messages[0].Text).find("The supported-property list \"" + Beside("SupportedProperty.xml").string() +
                                        "\" cannot be read: "),
              0u);
    EXPECT_TRUE(IsSupportedProperty(u"IIsWebServer", u"ServerBindings"));
}

// A mistyped machines folder is named at start-up and never made, not even by a
// backup started from the pages.
TEST_F(TMainFormTest, MachinesFolderThatDoesNotExistIsNamedAndNeverMade) {
    const std::filesystem::path missing = Temp("typo") / "machines";
    setenv("ORVEX_MACHINES", missing.c_str(), 1);
    Form();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Type, TMsgDlgType::mtError);
    EXPECT_EQ(U8(Messages[0].Text), "The machines folder " + missing.string() +
                                        " named by ORVEX_MACHINES does not exist or is not a folder.\r\n\r\nNothing "
                                        "can be backed up or restored until ORVEX_MACHINES names an existing folder, "
                                        "or is unset to use the folder beside the program.");
    Screenshot("machines-folder-missing");
    Click("btnnext");
    SetText("editMachineName", u"localhost");
    Click("btnnext");
    SetText("editBackupMetafile", Temp16("Sites.xml"));
    Click("btnnext");
    Click("btnnext");
    EXPECT_EQ(Form().ActivePage(), wpBackup4);
    EXPECT_FALSE(std::filesystem::exists(Temp("typo")));
    EXPECT_FALSE(std::filesystem::exists(Temp("Sites.xml")));
    EXPECT_NE(LogText().find("BackupMachine: The machines folder \"" + missing.string() +
                             "\" named by ORVEX_MACHINES does not exist; nothing was backed up"),
              std::string::npos)
        << LogText();
}

TEST_F(TMainFormTest, CancelFinishAndExitCloseWithStatusZero) {
    for (const char* way : {"btnCancel", "btnfinish", "FileExit1", "miExit"}) {
        TMainForm& form = Form();
        if (std::string_view(way) == "btnfinish")
            Find<QPushButton>(way)->show();
        if (std::string_view(way).starts_with("btn"))
            Click(way);
        else
            Trigger(way);
        EXPECT_FALSE(form.isVisible()) << way;
        EXPECT_EQ(form.ExitStatus(), 0) << way;
        CloseForm();
    }
}

TEST_F(TMainFormTest, ActivationKeepsTheTimerOnlyForTheBackupSwitch) {
    const std::vector<std::pair<std::vector<std::string>, bool>> cases = {
        {{}, false}, {{"/q"}, false}, {{"/backup"}, true}, {{"-BACKUP"}, true}, {{"/backups"}, false}};
    for (const auto& [arguments, kept] : cases) {
        SetCommandLineArguments(arguments);
        const auto timers = Form().findChildren<QTimer*>(Qt::FindDirectChildrenOnly);
        EXPECT_EQ(timers.size(), kept ? 1 : 0) << (arguments.empty() ? "" : arguments[0]);
        if (kept) {
            EXPECT_TRUE(timers[0]->isActive());
            EXPECT_EQ(timers[0]->interval(), 500);
        }
        CloseForm();
    }
}

// --- config.ini ---

class TWizardSettingsTest : public TWizardTest {};

TEST_F(TWizardSettingsTest, DefaultsReplaceMissingFilesAndWritesAreKept) {
    const std::u16string folder = Temp16("");
    const std::u16string existing = Temp16("Existing.xml");
    WriteBytes(Temp("Existing.xml"), "<Root/>");
    struct TCase {
        std::string Ini;
        std::u16string Backup, Restore;
    };
    const std::vector<TCase> cases = {
        {"", folder + u"Metabase.xml", u""},
        {"[main]\nBackupMetaFileName=\nRestoreMetaFileName=\n", folder + u"Metabase.xml", u""},
        {"[main]\nBackupMetaFileName=" + Temp("gone.xml").string() + "\nRestoreMetaFileName=" +
             Temp("gone.xml").string() + "\n",
         folder + u"Metabase.xml", u""},
        {"[main]\nBackupMetaFileName=" + Temp("Existing.xml").string() + "\nRestoreMetaFileName=" +
             Temp("Existing.xml").string() + "\n",
         existing, existing},
        {"[other]\nBackupMetaFileName=" + Temp("Existing.xml").string() + "\n", folder + u"Metabase.xml", u""},
    };
    for (const TCase& c : cases) {
        std::filesystem::remove(Temp("config.ini"));
        if (!c.Ini.empty())
            WriteBytes(Temp("config.ini"), c.Ini);
        const TWizardSettings settings = ReadWizardSettings(folder);
        EXPECT_EQ(U8(settings.BackupMetaFileName), U8(c.Backup)) << c.Ini;
        EXPECT_EQ(U8(settings.RestoreMetaFileName), U8(c.Restore)) << c.Ini;
    }

    std::filesystem::remove(Temp("config.ini"));
    EXPECT_TRUE(WriteWizardSetting(folder, kBackupMetaFileNameKey, existing));
    EXPECT_TRUE(WriteWizardSetting(folder, kRestoreMetaFileNameKey, existing));
    EXPECT_TRUE(WriteWizardSetting(folder, kBackupMetaFileNameKey, existing));
    EXPECT_EQ(ReadBytes(Temp("config.ini")), "[main]\nBackupMetaFileName=" + Temp("Existing.xml").string() +
                                                 "\nRestoreMetaFileName=" + Temp("Existing.xml").string() + "\n");
    EXPECT_EQ(ReadWizardSettings(folder).RestoreMetaFileName, existing);

    std::filesystem::remove(Temp("config.ini"));
    std::filesystem::create_directories(Temp("config.ini") / "in-the-way");
    EXPECT_FALSE(WriteWizardSetting(folder, kBackupMetaFileNameKey, existing));
}

} // namespace
} // namespace orvex::test
