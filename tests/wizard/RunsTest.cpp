// The backup run's progress and the command-line mode inside the window: options,
// the once-only timer, the window left open without "/q" and closed with it.

#include "WizardFixture.h"

#include "base/LocalClock.h"
#include "engine/ProgressLog.h"
#include "support/HostInfo.h"
#include "wizard/CheckTreeWidget.h"
#include "wizard/FormCheckIP.h"
#include "wizard/FormCheckPath.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace orvex::test {
namespace {

class TRunsTest : public TWizardTest {
protected:
    void TearDown() override {
        SetLocalClockForTesting(nullptr);
        std::filesystem::remove(Beside("Bare.xml"));
        TWizardTest::TearDown();
    }

    // The window's command-line backup with these parameters, into Sites.xml unless
    // they name a file.
    TMainForm& RunFromCommandLine(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"-f", Temp("Sites.xml").string()});
        SetCommandLineArguments(arguments);
        Form().CommandLineTimer();
        return Form();
    }

    bool ButtonsEnabled() {
        return Find<QPushButton>("btnnext")->isEnabled() && Find<QPushButton>("btnCancel")->isEnabled();
    }
};

TEST_F(TRunsTest, BackupMovesItsBarsInOrder) {
    std::vector<int> backupBar, loadBar;
    QObject::connect(Find<QProgressBar>("BackupBar"), &QProgressBar::valueChanged,
                     [&](int value) { backupBar.push_back(value); });
    QObject::connect(Find<QProgressBar>("LoadFileBar"), &QProgressBar::valueChanged,
                     [&](int value) { loadBar.push_back(value); });
    BackUpFromThePages(Temp16("Sites.xml"));
    EXPECT_EQ(backupBar, (std::vector<int>{10, 40, 70, 100}));
    EXPECT_EQ(loadBar, (std::vector<int>{10, 80, 90, 100}));
}

TEST_F(TRunsTest, CommandLineOptionsNameTheBackupAndItsMachine) {
    const std::string computerSites = U8(GetComputerNameString()) + "Sites";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-BACKUP", "-n", "Sites(~today~)"}, "Sites20240301\" machineName=\"\""},
        {{"/backup", "-n", "(~TODAY~)x"}, "(~TODAY~)x\" machineName=\"\""},
        {{"/backup", "-N", "x", "/n", "y", "-M", "web2"}, computerSites + "\" machineName=\"\""},
        {{"/backup", "-n", "-m", "127.0.0.1"}, "-m\" machineName=\"127.0.0.1\""},
    };
    SetLocalClockForTesting([] { return TLocalDateTime{2024, 3, 1, 23, 59, 59}; });
    for (const auto& [arguments, attributes] : cases) {
        SCOPED_TRACE(arguments[2]);
        std::filesystem::remove(Temp("Sites.xml"));
        RunFromCommandLine(arguments);
        EXPECT_NE(ReadBytes(Temp("Sites.xml")).find("<Machine backupName=\"" + attributes), std::string::npos);
        CloseForm();
    }
}

TEST_F(TRunsTest, FileOptionSetsBothFieldsAndWritesNoSettings) {
    const std::string first = Temp("First.xml").string(), second = Temp("Second.xml").string();
    const std::string beside = Beside("Bare.xml").string(), metabase = Beside("Metabase.xml").string();
    const std::vector<std::pair<std::vector<std::string>, std::pair<std::string, std::string>>> cases = {
        {{"/backup", "-f", "Bare.xml"}, {beside, beside}},
        {{"/backup", "-f", first}, {first, metabase}},
        {{"/backup", "-f", first, "-f", second}, {second, first}},
        {{"/backup", "-f", "Bare.xml", "-f", second}, {second, beside}},
        {{"-f", first}, {metabase, ""}},
    };
    for (const auto& [arguments, fields] : cases) {
        SCOPED_TRACE(arguments.back());
        SetCommandLineArguments(arguments);
        // Backup page 2 and restore page 1 show the two fields.
        Click("btnnext");
        Click("btnnext");
        EXPECT_EQ(U8(Find<QLineEdit>("editBackupMetafile")->text()), fields.first);
        Click("btnback");
        Click("btnback");
        Find<QRadioButton>("rbRestore")->setChecked(true);
        Click("btnnext");
        EXPECT_EQ(U8(Find<QLineEdit>("editRestoreMetafile")->text()), fields.second);
        EXPECT_FALSE(std::filesystem::exists(Beside("config.ini")));
        CloseForm();
    }
}

// The command-line backup starts once the window is shown, activated or not: on a
// display without a window manager another program's window may take the focus.
TEST_F(TRunsTest, TheCommandLineBackupStartsWhenTheWindowIsShown) {
    SetCommandLineArguments({"/backup", "-f", Temp("Sites.xml").string()});
    const std::unique_ptr<TMainForm> form = CreateProgramWindows();
    form->setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    form->show();
    EXPECT_FALSE(form->isActiveWindow());
    ASSERT_TRUE(form->findChild<QTimer*>("Timer1")->isActive());
    form->CommandLineTimer();
    EXPECT_NE(ReadBytes(Temp("Sites.xml")).find("<Machine backupName="), std::string::npos);
}

TEST_F(TRunsTest, WithoutQuitTheWindowStaysOpenAndTheTimerActsOnce) {
    TMainForm& form = RunFromCommandLine({"/backup", "-n", "Once"});
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.ActivePage(), wpMain);
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_EQ(U8(Find<TCheckTreeWidget>("tvBackup")->topLevelItem(0)->text(0)), "Once");
    // The run stopped the timer, and a tick that comes all the same does nothing.
    EXPECT_FALSE(Find<QTimer>("Timer1")->isActive());
    WriteBytes(Temp("Sites.xml"), "changed");
    form.CommandLineTimer();
    EXPECT_FALSE(Find<QTimer>("Timer1")->isActive());
    EXPECT_EQ(ReadBytes(Temp("Sites.xml")), "changed");

    // A refused name is shown to the user who is there; the file stays.
    CloseForm();
    RunFromCommandLine({"/backup", "-n", "a/b"});
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Type, TMsgDlgType::mtWarning);
    EXPECT_EQ(ReadBytes(Temp("Sites.xml")), "changed");
}

TEST_F(TRunsTest, QuitClosesTheWindowWithTheBackupsStatusAndShowsNothing) {
    for (const char* file : {"", "<Root><Machines>"}) {
        SCOPED_TRACE(file);
        std::filesystem::remove(Temp("Sites.xml"));
        if (*file)
            WriteBytes(Temp("Sites.xml"), file);
        TMainForm& form = RunFromCommandLine({"/backup", "/q"});
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.ExitStatus(), *file ? 1 : 0);
        EXPECT_EQ(BackupErrorFlag(), *file != 0);
        EXPECT_TRUE(FormCheckIP.isNull() && FormCheckPath.isNull());
        EXPECT_TRUE(Messages.empty()) << U8(Messages.front().Text);
        if (*file) {
            EXPECT_EQ(ReadBytes(Temp("Sites.xml")), file);
        } else {
            EXPECT_FALSE(ButtonsEnabled());
        }
        CloseForm();
    }
}

} // namespace
} // namespace orvex::test
