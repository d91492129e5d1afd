#include "engine/ProgressLog.h"

#include "EngineFakes.h"
#include "base/Module.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

class ProgressLogTest : public ::testing::Test {
protected:
    test::TMemoryLogSink Sink;
    test::TMemoryHost Host;
    TEngineHostScope Scope{&Sink, &Host};

    void SetUp() override { InitLog(); }
};

TEST_F(ProgressLogTest, InitLogClearsWindowAndFlagAndSetsFolder) {
    LogBackupError(u"x", clLogRed);
    ASSERT_TRUE(BackupErrorFlag());
    InitLog();
    EXPECT_FALSE(BackupErrorFlag());
    EXPECT_TRUE(Sink.Lines.empty());
    EXPECT_EQ(Sink.LogFolder, ExecutableFolder());
}

TEST_F(ProgressLogTest, LogLineTouchesNeitherFileNorFlag) {
    LogLine(u"Process Sub Directory: Path=\\", clLogBlue);
    LogLine(u"", clLogBlack);
    LogLine(u"created", clLogGreen);
    LogLine(u"Warning: You should backup your certificate file manually!", clLogRed);
    ASSERT_EQ(Sink.Lines.size(), 4u);
    EXPECT_EQ(Sink.Lines[1].Text, u"");
    EXPECT_EQ(Sink.Lines[3].Colour, clLogRed);
    EXPECT_TRUE(Sink.InfoLog.empty());
    EXPECT_FALSE(BackupErrorFlag());
    EXPECT_EQ(Host.PendingPasses, 4);
}

TEST_F(ProgressLogTest, FailureRoutinesWriteInfoLogAndSetFlag) {
    struct Row {
        void (*Log)(std::u16string_view, TColor);
        std::u16string Expected;
    };
    const Row rows[] = {
        {LogBackupWarning, u"WARNING during backup of web1: x %s"},
        {LogBackupError, u"ERROR during backup of web1: x %s"},
        {LogBackupException, u"EXCEPTION during backup of web1: x %s"},
    };
    for (const auto& row : rows) {
        InitLog();
        Sink.InfoLog.clear();
        row.Log(u"x %s", clLogRed);
        ASSERT_EQ(Sink.Lines.size(), 1u);
        EXPECT_EQ(Sink.Lines[0].Text, u"x %s");
        EXPECT_EQ(Sink.Lines[0].Colour, clLogRed);
        ASSERT_EQ(Sink.InfoLog.size(), 1u);
        EXPECT_EQ(Sink.InfoLog[0], row.Expected);
        EXPECT_TRUE(BackupErrorFlag());
    }
}

TEST_F(ProgressLogTest, FlagStaysUntilInitLog) {
    LogBackupWarning(u"w", clLogBlack);
    LogLine(u"later", clLogBlue);
    Sink.ClearLogWindow();  // the window's "Clear Log" leaves the flag alone
    EXPECT_TRUE(BackupErrorFlag());
}

TEST(ProgressLogConsoleTest, WithoutSinkNothingFails) {
    TEngineHostScope none(nullptr, nullptr);
    InitLog();
    LogLine(u"x", clLogBlue);
    LogBackupException(u"y", clLogRed);
    EXPECT_TRUE(BackupErrorFlag());
    InitLog();
    EXPECT_FALSE(BackupErrorFlag());
    // Questions are answered as a console program answers them.
    EXPECT_FALSE(EngineHost().AskYesNo(u"q"));
    EXPECT_EQ(EngineHost().AskYesNoCancel(u"q"), -1);
    EXPECT_FALSE(EngineHost().HasCmdLineSwitch(u"/o"));
    EXPECT_EQ(EngineHost().BackupMachineName(), u"");
}

} // namespace
} // namespace orvex
