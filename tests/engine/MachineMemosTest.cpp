// The emulated machines' memos change no answer: a backup and a restore with all
// of them passed by write the same bytes as with them.

#include "RestoreFixture.h"
#include "engine/BackupDocument.h"
#include "engine/EngineState.h"
#include "engine/WebBackup.h"
#include "engine/WebRestore.h"
#include "platform/DefaultMachine.h"
#include "platform/MachineMemos.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

class MachineMemosTest : public test::TRestoreFixture {
protected:
    void TearDown() override {
        BypassMachineMemos(false);
        TRestoreFixture::TearDown();
    }
};

TEST_F(MachineMemosTest, BackupAndRestoreWriteTheSameBytesWithoutThem) {
    struct TRun {
        std::string Backup, Log;
        std::map<std::string, std::string> Machine;
    } runs[2];
    for (const bool bypass : {false, true}) {
        SCOPED_TRACE(bypass ? "memos bypassed" : "memos used");
        BypassMachineMemos(bypass);
        CloseMachines();
        std::filesystem::remove(File);
        // Enough sites for the backup and the restore to share them out on threads.
        CreateMachine(u"SOURCE", BuildLargeMachineState(u"SOURCE", 40, 2));
        MakeMachine(u"localhost", [](TMachineState& state) { state.Metabase->Find(u"W3SVC/2")->SetValue(u"ServerComment", std::u16string(u"Here")); });
        EnsureBackupFile();
        ASSERT_TRUE(BackupMachine(u"B", u"SOURCE"));
        SetSiteConflictMode(scmOverwrite);
        Sink.Lines.clear();
        RestoreMachine(u"localhost", u"IIS6", *TreeOfFile());
        TRun& run = runs[bypass];
        run.Backup = FileBytes();
        for (const auto& line : Sink.Lines) run.Log += Utf16ToUtf8(line.Text) + "\n";
        CloseMachines();
        run.Machine = test::FilesBelow(Folder.File("machines") / "localhost");
    }
    EXPECT_GT(runs[0].Machine.size(), 40u);
    EXPECT_TRUE(runs[0].Backup == runs[1].Backup);
    EXPECT_TRUE(runs[0].Log == runs[1].Log);
    EXPECT_TRUE(runs[0].Machine == runs[1].Machine);
}

} // namespace
} // namespace orvex
