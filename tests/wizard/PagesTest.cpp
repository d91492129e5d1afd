// The wizard's roads page by page: what each page shows, Next's checks, Back, and
// the file choices.

#include "WizardFixture.h"

#include "engine/ProgressLog.h"
#include "support/HostInfo.h"
#include "wizard/CheckTreeWidget.h"

#include <QLabel>
#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace orvex::test {
namespace {

// What the bottom bar shows on a page.
struct TBar {
    int Page;
    const char* Label;   // the one of Labelmain, Labelbackup, Labelrestore shown
    const char* Number;  // Labelno's text, or nullptr when hidden
    bool Back, Next, Finish, Cancel;
};

class TPagesTest : public TWizardTest {
protected:
    void ExpectBar(const TBar& bar, const std::string& where) {
        SCOPED_TRACE(where);
        EXPECT_EQ(Form().ActivePage(), bar.Page);
        for (const char* label : {"Labelmain", "Labelbackup", "Labelrestore"})
            EXPECT_EQ(Find<QLabel>(label)->isVisible(), std::string_view(label) == bar.Label) << label;
        auto* number = Find<QLabel>("Labelno");
        EXPECT_EQ(number->isVisible(), bar.Number != nullptr);
        if (bar.Number) {
            EXPECT_EQ(U8(number->text()), bar.Number);
        }
        EXPECT_EQ(Find<QPushButton>("btnback")->isEnabled(), bar.Back);
        EXPECT_EQ(Find<QPushButton>("btnnext")->isVisible(), bar.Next);
        EXPECT_EQ(Find<QPushButton>("btnfinish")->isVisible(), bar.Finish);
        EXPECT_EQ(Find<QPushButton>("btnCancel")->isEnabled(), bar.Cancel);
        Screenshot("Page" + std::to_string(bar.Page) + "-" + where);
    }

    // Each validation case in a window of its own, so the sound file tells whether
    // that case sounded.
    void FreshWindow() {
        CloseForm();
        std::filesystem::remove_all(Beside("MetalClang.wav"));
        Messages.clear();
    }
};

TEST_F(TPagesTest, BackupRoadPageByPage) {
    ExpectBar({wpMain, "Labelmain", nullptr, false, true, false, true}, "Mode");
    Click("btnnext");
    ExpectBar({wpBackup1, "Labelbackup", "#1", true, true, false, true}, "Backup1");
    EXPECT_EQ(U8(Find<QLineEdit>("editMachineName")->text()), "localhost");
    Click("btnnext");
    ExpectBar({wpBackup2, "Labelbackup", "#2", true, true, false, true}, "Backup2");
    EXPECT_EQ(U8(Find<QLineEdit>("editBackupMetafile")->text()), Beside("Metabase.xml").string());
    SetText("editBackupMetafile", Temp16("Sites.xml"));
    Click("btnnext");
    ExpectBar({wpBackup3, "Labelbackup", "#3", true, true, false, true}, "Backup3");
    EXPECT_FALSE(Find<QProgressBar>("BackupBar")->isVisible());
    EXPECT_EQ(Find<QLineEdit>("editBackupName")->text().toStdU16String(), GetComputerNameString() + u"Sites");
    SetText("editBackupName", u"  Nightly  ");
    Click("btnnext");
    ExpectBar({wpBackup4, "Labelbackup", "#4", true, false, true, false}, "Backup4");
    EXPECT_EQ(Find<QProgressBar>("BackupBar")->value(), 100);
    auto* tree = Find<TCheckTreeWidget>("tvBackup");
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(U8(tree->topLevelItem(0)->text(0)), "Nightly");
    EXPECT_EQ(tree->findItems(QStringLiteral("Web Site: Default Web Site"), Qt::MatchExactly | Qt::MatchRecursive).size(),
              1);
    EXPECT_NE(ReadBytes(Temp("Sites.xml")).find("backupName=\"Nightly\""), std::string::npos);
    EXPECT_EQ(ReadBytes(Beside("config.ini")), "[main]\nBackupMetaFileName=" + Temp("Sites.xml").string() + "\n");
    EXPECT_EQ(LogText().find("BackupMetaFile changed.\n"), 0u);

    Click("btnback");
    ExpectBar({wpBackup3, "Labelbackup", "#3", true, true, false, true}, "Backup3-Back");
    Click("btnback");
    EXPECT_EQ(U8(Find<QLineEdit>("editBackupMetafile")->text()), Temp("Sites.xml").string());
    Click("btnback");
    Click("btnback");
    ExpectBar({wpMain, "Labelmain", nullptr, false, true, false, true}, "Mode-Back");
}

TEST_F(TPagesTest, BackupPagesRefuseBadInput) {
    struct TCase {
        const char* Name;
        std::vector<std::string> Arguments;
        std::u16string Machine, BackupName;
        int Page;          // where the wizard stands afterwards
        bool Sound;
        const char* Shown; // start of the message shown, or nullptr
    };
    const std::vector<TCase> cases = {
        {"blank machine", {}, u"   ", u"", wpBackup1, true, nullptr},
        {"capital localhost", {}, u"LOCALHOST", u"", wpBackup2, false, "You entered a machine name other than"},
        {"capital localhost on the command line", {"/backup"}, u"LOCALHOST", u"", wpBackup2, false, nullptr},
        {"blank backup name", {}, u"localhost", u"  ", wpBackup3, true, nullptr},
        {"slash in the name", {}, u"localhost", u"Sites/2024", wpBackup3, true, "The backup name \"Sites/2024\" cannot"},
        {"double at in the name", {}, u"localhost", u"a@@b", wpBackup3, true, "The backup name \"a@@b\" cannot"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        FreshWindow();
        SetCommandLineArguments(c.Arguments);
        Click("btnnext");
        SetText("editMachineName", c.Machine);
        Click("btnnext");
        if (!c.BackupName.empty()) {
            SetText("editBackupMetafile", Temp16("Sites.xml"));
            Click("btnnext");
            SetText("editBackupName", c.BackupName);
            Click("btnnext");
        }
        EXPECT_EQ(Form().ActivePage(), c.Page);
        EXPECT_EQ(SoundPlayed(), c.Sound);
        ASSERT_EQ(Messages.size(), c.Shown ? 1u : 0u);
        if (c.Shown) {
            EXPECT_EQ(U8(Messages[0].Text).find(c.Shown), 0u) << U8(Messages[0].Text);
        }
    }
    // The machine warning also went to the log and marks the run as not clean.
    FreshWindow();
    InitLog();
    Click("btnnext");
    SetText("editMachineName", u"web9");
    Click("btnnext");
    EXPECT_EQ(LogText().find("backup: You entered a machine name other than localhost.\n\nThe program will try to "
                             "back up web9"),
              0u)
        << LogText();
    EXPECT_TRUE(BackupErrorFlag());
    EXPECT_EQ(Messages.at(0).Type, TMsgDlgType::mtWarning);

    // Neither mode chosen.
    FreshWindow();
    Find<QRadioButton>("rbBackup")->setAutoExclusive(false);
    Find<QRadioButton>("rbBackup")->setChecked(false);
    Click("btnnext");
    EXPECT_EQ(Form().ActivePage(), wpMain);
    EXPECT_TRUE(SoundPlayed());
}

TEST_F(TPagesTest, BackupPageTwoWritesConfigEveryTimeAndLogsOnlyChanges) {
    Click("btnnext");
    Click("btnnext");
    Click("btnnext");
    EXPECT_EQ(ReadBytes(Beside("config.ini")), "[main]\nBackupMetaFileName=" + Beside("Metabase.xml").string() + "\n");
    EXPECT_EQ(LogText(), "");
    // An unwritable config.ini is logged, and the wizard goes on.
    std::filesystem::remove(Beside("config.ini"));
    std::filesystem::create_directories(Beside("config.ini") / "in-the-way");
    Click("btnback");
    Click("btnnext");
    EXPECT_EQ(Form().ActivePage(), wpBackup3);
    EXPECT_NE(LogText().find("config.ini\" cannot be written; the setting BackupMetaFileName is not kept."),
              std::string::npos)
        << LogText();
    EXPECT_TRUE(Messages.empty());
    // Qt keeps the unwritten value and writes it with the next write that works.
    std::filesystem::remove_all(Beside("config.ini"));
    Click("btnback");
    Click("btnnext");
    EXPECT_EQ(ReadBytes(Beside("config.ini")), "[main]\nBackupMetaFileName=" + Beside("Metabase.xml").string() + "\n");
}

TEST_F(TPagesTest, RestoreRoadPageByPage) {
    const std::u16string file = CopyFixture("Restore.xml");
    Find<QRadioButton>("rbRestore")->setChecked(true);
    Click("btnnext");
    ExpectBar({wpRestore1, "Labelrestore", "#1", true, true, false, true}, "Restore1");
    EXPECT_EQ(U8(Find<QLineEdit>("editRestoreMetafile")->text()), "");
    EXPECT_EQ(U8(Find<QLineEdit>("editDestMachine")->text()), "localhost");
    EXPECT_FALSE(Find<QComboBox>("cbIIsVersion")->isVisible());
    EXPECT_EQ(U8(Find<QComboBox>("cbIIsVersion")->currentText()), "IIS6");
    SetText("editRestoreMetafile", file);
    Click("btnnext");
    ExpectBar({wpRestore2, "Labelrestore", "#2", true, true, false, true}, "Restore2");
    EXPECT_EQ(LogText(), "RestoreMetaFile changed.\n");
    EXPECT_EQ(ReadBytes(Beside("config.ini")), "[main]\nRestoreMetaFileName=" + Temp("Restore.xml").string() + "\n");
    EXPECT_FALSE(Find<QProgressBar>("LoadFileBar")->isVisible());
    EXPECT_EQ(Find<QProgressBar>("LoadFileBar")->value(), 100);

    Click("btnnext");  // no site selected
    EXPECT_EQ(Form().ActivePage(), wpRestore2);
    EXPECT_TRUE(SoundPlayed());
    auto* tree = Find<TCheckTreeWidget>("tvRestore");
    tree->setCurrentItem(tree->topLevelItem(0)->child(0));
    Trigger("actionSelectAllSitesR");
    Click("btnnext");
    ExpectBar({wpRestore3, "Labelrestore", "#3", true, true, false, true}, "Restore3");

    // Each group needs a choice.
    for (const char* choice : {"rbWebsitesExist2", "rbIpNotFound2", "rbPathsValid1"}) {
        Click("btnnext");
        EXPECT_EQ(Form().ActivePage(), wpRestore3) << choice;
        Find<QRadioButton>(choice)->setChecked(true);
    }
    EXPECT_EQ(SiteConflictMode(), scmUnset);
    Click("btnnext");  // Default Web Site's paths are missing here
    EXPECT_EQ(SiteConflictMode(), scmCreateNew);
    ExpectBar({wpRestore4, "Labelrestore", "#4", true, true, false, true}, "Restore4");

    Click("btnnext");  // no choice: the error sound only
    EXPECT_EQ(Form().ActivePage(), wpRestore4);
    EXPECT_TRUE(Messages.empty());
    Find<QRadioButton>("rbCheckPath3")->setChecked(true);
    Answers = {mrNo};
    Click("btnnext");
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(U8(Messages[0].Text), "Are you ready to restore?");
    EXPECT_EQ(Form().ActivePage(), wpRestore4);
    EXPECT_TRUE(Find<QPushButton>("btnnext")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>("btnCancel")->isEnabled());

    Answers = {mrYes};
    Click("btnnext");
    ExpectBar({wpRestore5, "Labelrestore", "#5", true, false, true, false}, "Restore5");
    EXPECT_NE(LogText().find("Start restore......\n"), std::string::npos);
    EXPECT_TRUE(LogText().ends_with("Restore finished.\n")) << LogText();
    Click("btnback");
    EXPECT_EQ(Form().ActivePage(), wpRestore4);
}

TEST_F(TPagesTest, RestoreFromPageThreeLandsOnPageFiveAndBackReturnsThere) {
    struct TCase {
        const char* Paths;  // the choice of the paths group
        int Site;           // the site checked: 1 has missing paths, 0 (Shop) none
    };
    for (const TCase& c : {TCase{"rbPathsValid2", 0}, TCase{"rbPathsValid1", 1}}) {
        SCOPED_TRACE(c.Paths);
        CloseForm();
        LoadRestoreFile(CopyFixture("Restore.xml"));
        auto* tree = Find<TCheckTreeWidget>("tvRestore");
        tree->setCurrentItem(tree->topLevelItem(0)->child(c.Site));
        QTest::keyClick(tree, Qt::Key_Space);
        Click("btnnext");
        for (const char* choice : {"rbWebsitesExist3", "rbIpNotFound2", c.Paths})
            Find<QRadioButton>(choice)->setChecked(true);
        Answers = {mrYes};
        Click("btnnext");
        EXPECT_EQ(Form().ActivePage(), wpRestore5);
        EXPECT_EQ(SiteConflictMode(), scmSkip);
        Click("btnback");
        EXPECT_EQ(Form().ActivePage(), wpRestore3);
        Click("btnback");
        EXPECT_EQ(Form().ActivePage(), wpRestore2);
    }
}

TEST_F(TPagesTest, WindowStaysOpenAndRefusesHandlersWhileARunGoes) {
    LoadRestoreFile(CopyFixture("Restore.xml"));
    auto* tree = Find<TCheckTreeWidget>("tvRestore");
    tree->setCurrentItem(tree->topLevelItem(0));
    QTest::keyClick(tree, Qt::Key_Space);
    Click("btnnext");
    for (const char* choice : {"rbWebsitesExist3", "rbIpNotFound2", "rbPathsValid2"})
        Find<QRadioButton>(choice)->setChecked(true);
    // Delivered while the restore's log lines let events through.
    QTimer::singleShot(0, &Form(), [this] {
        EXPECT_TRUE(Form().IsBusy());
        Form().close();
        Find<QAction>("miLingvoDeutsch")->trigger();
    });
    Answers = {mrYes};
    Click("btnnext");
    EXPECT_EQ(Form().ActivePage(), wpRestore5);
    EXPECT_TRUE(Form().isVisible());
    EXPECT_EQ(Form().Getlingvo(), u"eng");
    EXPECT_FALSE(Form().IsBusy());
}

TEST_F(TPagesTest, RestorePageOneHandlesEveryKindOfFile) {
    const std::string skeleton = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Root>\r\n  <Machines/>\r\n</Root>\r\n";
    struct TCase {
        const char* Name;
        std::optional<std::string> Bytes;  // none: the file does not exist
        bool Loads;
        std::string Reason;  // the end of the error's first part
    };
    const std::vector<TCase> cases = {
        {"missing", std::nullopt, true, ""},
        {"malformed", "<Root><Machines><Machine backupName=\"x\"></Root>", false, "cannot be loaded: "},
        {"truncated", "<?xml version=\"1.0\"?>\r\n<Root>\r\n  <Machi", false, "cannot be loaded: "},
        {"not a backup", "<?xml version=\"1.0\"?>\r\n<Config>\r\n  <Item/>\r\n</Config>\r\n", false,
         "cannot be loaded: The backup file has no Machines element"},
        {"empty", "", false, "cannot be loaded: "},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        FreshWindow();
        const std::filesystem::path path = Temp(std::string(c.Name) + ".xml");
        if (c.Bytes)
            WriteBytes(path, *c.Bytes);
        Find<QRadioButton>("rbRestore")->setChecked(true);
        Click("btnnext");
        SetText("editRestoreMetafile", Utf8ToUtf16(path.string()));
        Click("btnnext");
        if (c.Loads) {
            EXPECT_EQ(Form().ActivePage(), wpRestore2);
            EXPECT_EQ(ReadBytes(path), skeleton);
            EXPECT_EQ(Find<TCheckTreeWidget>("tvRestore")->topLevelItemCount(), 0);
            Click("btnnext");
            EXPECT_EQ(Form().ActivePage(), wpRestore2);
            EXPECT_TRUE(SoundPlayed());
            continue;
        }
        EXPECT_EQ(Form().ActivePage(), wpRestore1);
        EXPECT_EQ(ReadBytes(path), *c.Bytes);
        EXPECT_TRUE(SoundPlayed());
        ASSERT_EQ(Messages.size(), 1u);
        EXPECT_EQ(Messages[0].Type, TMsgDlgType::mtError);
        EXPECT_EQ(U8(Messages[0].Text).find("The backup file \"" + path.string() + "\" " + c.Reason), 0u)
            << U8(Messages[0].Text);
        for (const char* button : {"btnback", "btnnext", "btnCancel"})
            EXPECT_TRUE(Find<QPushButton>(button)->isEnabled()) << button;
        EXPECT_FALSE(Find<QProgressBar>("LoadFileBar")->isVisible());
    }

    // No file name: config.ini is written all the same, then the sound.
    FreshWindow();
    Find<QRadioButton>("rbRestore")->setChecked(true);
    Click("btnnext");
    SetText("editRestoreMetafile", u"");
    Click("btnnext");
    EXPECT_EQ(Form().ActivePage(), wpRestore1);
    EXPECT_TRUE(SoundPlayed());
    EXPECT_EQ(ReadBytes(Beside("config.ini")), "[main]\nRestoreMetaFileName=\n");
    Click("btnback");
    EXPECT_EQ(Form().ActivePage(), wpMain);
}

TEST_F(TPagesTest, BrowseButtonsStartInTheBackupFilesFolderAndFillTheEdit) {
    SetBackupFileName(Temp16("Old.xml"));
    Click("btnnext");
    Click("btnnext");
    ChosenFile = Temp16("Chosen.xml");
    Click("Button2");
    EXPECT_EQ(Find<QLineEdit>("editBackupMetafile")->text().toStdU16String(), Temp16("Chosen.xml"));
    ChosenFile.reset();
    Click("Button2");
    EXPECT_EQ(Find<QLineEdit>("editBackupMetafile")->text().toStdU16String(), Temp16("Chosen.xml"));

    Click("btnback");
    Click("btnback");
    Find<QRadioButton>("rbRestore")->setChecked(true);
    Click("btnnext");
    ChosenFile = Temp16("Other.xml");
    Click("btnrestorebrown");
    EXPECT_EQ(Find<QLineEdit>("editRestoreMetafile")->text().toStdU16String(), Temp16("Other.xml"));
    EXPECT_EQ(FileDialogStarts, std::vector<std::u16string>(3, Temp16("")));
    EXPECT_EQ(FileDialogFilters, std::vector<std::u16string>(3, u"XML files (*.xml)|*.XML"));
}

TEST_F(TPagesTest, ButtonsComeBackWhenARunFails) {
    // The backup file turns out unreadable after the backup: the error is shown,
    // the page stays and the buttons work again.
    const std::filesystem::path file = Temp("Broken.xml");
    WriteBytes(file, "<Root><Machines>");
    Click("btnnext");
    Click("btnnext");
    SetText("editBackupMetafile", Utf8ToUtf16(file.string()));
    Click("btnnext");
    Click("btnnext");
    EXPECT_EQ(Form().ActivePage(), wpBackup3);
    ASSERT_FALSE(Messages.empty());
    EXPECT_EQ(Messages.back().Type, TMsgDlgType::mtError);
    for (const char* button : {"btnback", "btnnext", "btnCancel"})
        EXPECT_TRUE(Find<QPushButton>(button)->isEnabled()) << button;
    EXPECT_FALSE(Form().IsBusy());
    Click("btnCancel");
    EXPECT_FALSE(Form().isVisible());
}

} // namespace
} // namespace orvex::test
