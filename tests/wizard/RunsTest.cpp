// The backup run's progress and the command-line mode inside the window: options,
// the once-only timer, the window left open without "/q" and closed with it.

#include "WizardFixture.h"

#include "engine/ProgressLog.h"
#include "platform/base/LocalClock.h"
#include "support/HostInfo.h"
#include "wizard/CheckDialogs.h"
#include "wizard/CheckTreeWidget.h"

#include <QProgressBar>
#include <QPushButton>

namespace orvex::test {
namespace {

class TRunsTest : public TWizardTest {
protected:
    void TearDown() override {
        SetLocalClockForTesting(nullptr);
        std::filesystem::remove(Beside("Bare.xml"));
        TWizardTest::TearDown();
    }

    // The attributes of the file's only Machine element.
    static std::string MachineAttributes(const std::filesystem::path& file) {
        const std::string backup = ReadBytes(file);
        const size_t at = backup.find("<Machine ");
        if (at == std::string::npos || backup.find("<Machine ", at + 1) != std::string::npos)
            return "not one Machine element";
        return backup.substr(at + 9, backup.find(" path=", at) - at - 9);
    }

    // The two file fields as backup page 2 and restore page 1 show them.
    std::pair<std::string, std::string> FileFields() {
        Click("btnnext");
        Click("btnnext");
        const std::string backup = U8(Find<QLineEdit>("editBackupMetafile")->text());
        Click("btnback");
        Click("btnback");
        Find<QRadioButton>("rbRestore")->setChecked(true);
        Click("btnnext");
        return {backup, U8(Find<QLineEdit>("editRestoreMetafile")->text())};
    }
};

TEST_F(TRunsTest, BackupMovesItsBarsInOrder) {
    std::vector<int> backupBar, loadBar;
    QObject::connect(Find<QProgressBar>("BackupBar"), &QProgressBar::valueChanged,
                     [&](int value) { backupBar.push_back(value); });
    QObject::connect(Find<QProgressBar>("LoadFileBar"), &QProgressBar::valueChanged,
                     [&](int value) { loadBar.push_back(value); });
    Click("btnnext");
    Click("btnnext");
    SetText("editBackupMetafile", Temp16("Sites.xml"));
    Click("btnnext");
    Click("btnnext");
    EXPECT_EQ(Form().ActivePage(), wpBackup4);
    EXPECT_EQ(backupBar, (std::vector<int>{10, 40, 70, 100}));
    EXPECT_EQ(loadBar, (std::vector<int>{10, 80, 90, 100}));
}

TEST_F(TRunsTest, CommandLineOptionsNameTheBackupAndItsMachine) {
    const std::string computerSites = U8(GetComputerNameString()) + "Sites";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"/backup"}, "backupName=\"" + computerSites + "\" machineName=\"\""},
        {{"-BACKUP", "-n", "Sites(~today~)"}, "backupName=\"Sites20240301\" machineName=\"\""},
        {{"/backup", "-n", "(~today~)x(~today~)"}, "backupName=\"20240301x(~today~)\" machineName=\"\""},
        {{"/backup", "-n", "Sites(~TODAY~)", "-m", "localhost"},
         "backupName=\"Sites(~TODAY~)\" machineName=\"localhost\""},
        {{"/backup", "-N", "x", "/n", "y", "-M", "web2"}, "backupName=\"" + computerSites + "\" machineName=\"\""},
        {{"/backup", "-n", "-m", "127.0.0.1"}, "backupName=\"-m\" machineName=\"127.0.0.1\""},
        {{"/backup", "-n", "x", "-m"}, "backupName=\"x\" machineName=\"\""},
    };
    SetLocalClockForTesting([] { return TLocalDateTime{2024, 3, 1, 23, 59, 59}; });
    for (const auto& [options, attributes] : cases) {
        SCOPED_TRACE(options.back());
        std::filesystem::remove(Temp("Sites.xml"));
        std::vector<std::string> arguments = {"-f", Temp("Sites.xml").string()};
        arguments.insert(arguments.end(), options.begin(), options.end());
        SetCommandLineArguments(arguments);
        Form().CommandLineTimer();
        EXPECT_EQ(MachineAttributes(Temp("Sites.xml")), attributes);
        CloseForm();
    }
}

TEST_F(TRunsTest, FileOptionSetsBothFieldsAndWritesNoSettings) {
    const std::string first = Temp("First.xml").string(), second = Temp("Second.xml").string();
    const std::string beside = Beside("Bare.xml").string(), metabase = Beside("Metabase.xml").string();
    const std::vector<std::pair<std::vector<std::string>, std::pair<std::string, std::string>>> cases = {
        {{"-f", "Bare.xml"}, {beside, beside}},
        {{"-f", first}, {first, metabase}},
        {{"-f", first, "-f", second}, {second, first}},
        {{"-f", "Bare.xml", "-f", second}, {second, beside}},
    };
    for (const auto& [options, fields] : cases) {
        SCOPED_TRACE(options.back());
        std::vector<std::string> arguments = {"/backup", "-n", "Fields"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        SetCommandLineArguments(arguments);
        Form();
        EXPECT_EQ(FileFields(), fields);
        EXPECT_FALSE(std::filesystem::exists(Beside("config.ini")));
        CloseForm();
    }
    // Without "/backup" the options are not read.
    SetCommandLineArguments({"-f", first});
    EXPECT_EQ(FileFields(), std::make_pair(metabase, std::string()));
}

TEST_F(TRunsTest, WithoutQuitTheWindowStaysOpenAndTheTimerActsOnce) {
    SetCommandLineArguments({"/backup", "-n", "Once", "-f", Temp("Sites.xml").string()});
    Form().CommandLineTimer();
    EXPECT_TRUE(Form().isVisible());
    EXPECT_EQ(Form().ActivePage(), wpMain);
    EXPECT_EQ(Form().ExitStatus(), 0);
    for (const char* button : {"btnnext", "btnCancel"})
        EXPECT_TRUE(Find<QPushButton>(button)->isEnabled()) << button;
    EXPECT_EQ(U8(Find<TCheckTreeWidget>("tvBackup")->topLevelItem(0)->text(0)), "Once");

    WriteBytes(Temp("Sites.xml"), "changed");
    Form().CommandLineTimer();
    QTest::qWait(700);
    EXPECT_EQ(ReadBytes(Temp("Sites.xml")), "changed");

    // A refused name is shown to the user who is there.
    CloseForm();
    SetCommandLineArguments({"/backup", "-n", "a/b", "-f", Temp("Other.xml").string()});
    Form().CommandLineTimer();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Type, TMsgDlgType::mtWarning);
    EXPECT_FALSE(std::filesystem::exists(Temp("Other.xml")));
}

TEST_F(TRunsTest, QuitClosesTheWindowWithTheBackupsStatusAndShowsNothing) {
    struct TCase {
        const char* Name;
        std::vector<std::string> Options;
        std::optional<std::string> Bytes;
        int Status;
    };
    const std::vector<TCase> cases = {
        {"clean", {}, std::nullopt, 0},
        {"unknown machine", {"-m", "nosuch"}, std::nullopt, 1},
        {"existing name", {"-n", "Kept"}, std::nullopt, 1},
        {"malformed file", {}, "<Root><Machines>", 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove(Temp("Sites.xml"));
        if (c.Bytes)
            WriteBytes(Temp("Sites.xml"), *c.Bytes);
        if (std::string_view(c.Name) == "existing name") {
            SetCommandLineArguments({"/backup", "-n", "Kept", "-f", Temp("Sites.xml").string()});
            Form().CommandLineTimer();
            CloseForm();
        }
        std::vector<std::string> arguments = {"/backup", "-f", Temp("Sites.xml").string(), "/q"};
        arguments.insert(arguments.end(), c.Options.begin(), c.Options.end());
        SetCommandLineArguments(arguments);
        const std::string before = ReadBytes(Temp("Sites.xml"));
        TMainForm& form = Form();
        form.CommandLineTimer();
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.ExitStatus(), c.Status);
        EXPECT_EQ(BackupErrorFlag(), c.Status == 1);
        EXPECT_TRUE(FormCheckIP.isNull() && FormCheckPath.isNull());
        EXPECT_TRUE(Messages.empty()) << U8(Messages.front().Text);
        if (c.Status == 0) {
            for (const char* button : {"btnback", "btnnext", "btnCancel"})
                EXPECT_FALSE(Find<QPushButton>(button)->isEnabled()) << button;
        } else if (std::string_view(c.Name) != "unknown machine") {
            EXPECT_EQ(ReadBytes(Temp("Sites.xml")), before);
        }
        CloseForm();
    }
}

} // namespace
} // namespace orvex::test
