// Two processes writing one backup file at the same time: two scheduled backups,
// or a backup while the wizard edits the file. Each either succeeds with its
// change in the file or reports its failure; no change is ever lost silently.

#include "BackupFixture.h"
#include "base/NumberText.h"
#include "engine/BackupFileEdits.h"
#include "engine/NodeKeys.h"
#include "engine/WebBackup.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace orvex {
namespace {

using test::TBackupFixture;

enum TOutcome { coDone = 0, coReportedFailure = 1, coSilentFailure = 2 };

// Runs write in a child process as soon as go is readable; its outcome is the
// child's exit status.
pid_t StartWriter(int go, const std::function<bool()>& write) {
    const pid_t child = ::fork();
    if (child != 0) return child;
    test::TMemoryLogSink sink;
    test::TMemoryHost host;
    TEngineHostScope scope(&sink, &host);
    char byte = 0;
    (void)!::read(go, &byte, 1);
    bool done = false;
    try {
        done = write();
    } catch (...) {
    }
    ::_exit(done ? coDone : sink.LinesIn(clLogRed).empty() ? coSilentFailure : coReportedFailure);
}

TOutcome Wait(pid_t child) {
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? TOutcome(WEXITSTATUS(status)) : coSilentFailure;
}

class ConcurrentWritersTest : public TBackupFixture {
protected:
    void SetUp() override {
        TBackupFixture::SetUp();
        MakeMachine(u"localhost", [](TMachineState&) {});  // made before the children share it
    }
};

TEST_F(ConcurrentWritersTest, NoWriteIsEverLostSilently) {
    int outcomes[3][3] = {};
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        std::filesystem::remove(File);
        EnsureBackupFile();
        ASSERT_TRUE(BackupMachine(u"Base", u"localhost"));
        const std::u16string first = u"First" + IntToText(round);
        const std::u16string second = u"Second" + IntToText(round);
        // Every other round the second writer is the wizard editing the file.
        const bool edit = round % 2 == 1;
        int go[2];
        ASSERT_EQ(::pipe(go), 0);
        const pid_t a = StartWriter(go[0], [&] { return BackupMachine(first, u"localhost"); });
        const pid_t b = StartWriter(go[0], [&] {
            return edit ? UpdateProperty(u"Base", u"w3svc/1", u"ServerComment", u"STRING", second)
                        : BackupMachine(second, u"localhost");
        });
        ASSERT_EQ(::write(go[1], "gg", 2), 2);  // both start together
        ::close(go[0]);
        ::close(go[1]);
        const TOutcome outcomeA = Wait(a), outcomeB = Wait(b);
        ++outcomes[outcomeA][outcomeB];

        auto document = LoadBackupDocument();
        TWideXmlNode& machines = MachinesElement(*document);
        EXPECT_NE(outcomeA, coSilentFailure);
        EXPECT_NE(outcomeB, coSilentFailure);
        const std::u16string comment = FindBackupNode(*document, u"Base", u"w3svc/1")
                                           ->NodeByAttributeValue(u"Property", u"id", u"ServerComment", false)
                                           ->AttributeByName(u"value");
        EXPECT_TRUE(outcomeA != coDone || FindMachineElement(machines, first));
        EXPECT_TRUE(outcomeB != coDone || (edit ? comment == second : FindMachineElement(machines, second) != nullptr));
        EXPECT_NE(FindMachineElement(machines, u"Base"), nullptr);
    }
    // Waiting for the other writer is the usual outcome; a bounded wait that ran out
    // would be reported.
    EXPECT_EQ(outcomes[coDone][coDone], 20);
}

} // namespace
} // namespace orvex
