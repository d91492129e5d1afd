#include "platform/EmulatedMachine.h"

#include "../engine/TempFolder.h"
#include "MachineTestSupport.h"
#include "base/NumberText.h"
#include "platform/MachineStorage.h"
#include "platform/Pop3Admin.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <latch>
#include <map>
#include <thread>


namespace orvex::testing {
namespace {

std::vector<std::string> Entries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void SetComment(std::u16string_view adsPath, std::u16string_view text) {
    const TOleVariant site = Bind(adsPath);
    site.Call(u"Put", u"ServerComment", text);
    site.Call(u"SetInfo");
}

std::u16string CommentOf(std::u16string_view adsPath) { return Bind(adsPath).Call(u"Get", u"ServerComment").AsText(); }
std::u16string CommentOf(const std::shared_ptr<TEmulatedMachine>& machine) {
    return machine->Metabase()->Find(u"W3SVC/1")->FindValue(u"ServerComment")->AsText();
}

class EmulatedMachine : public TMachinesFolderTest {
protected:
    void SetUp() override {
        TMachinesFolderTest::SetUp();
        MakeMachine(u"WEB2", [](TMachineState&) {});
    }
    void TearDown() override {
        unsetenv("ORVEX_LOCK_WAIT_MS");
        CloseMachines();
        TMachinesFolderTest::TearDown();
    }
    std::string Missing(const std::string& folder) const {
        return "Machine folder \"" + (Folder() / folder).string() +
               "\" is missing: it was removed or moved while the program ran";
    }
};

// A machine folder that goes away between two writes is an error of its own: the
// second write stops, and nothing is made anywhere in its place, least of all a
// fresh default machine for the local one.
TEST_F(EmulatedMachine, FolderRemovedOrMovedBetweenTwoWrites) {
    struct TRow {
        std::u16string Machine;
        std::string Folder;
        bool Move;
    } rows[] = {{u"WEB2", "WEB2", false}, {u"WEB2", "WEB2", true}, {u"localhost", "localhost", false}};  // local last
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Folder + (row.Move ? " moved" : " removed"));
        CloseMachines();
        MakeMachine(row.Machine, [](TMachineState&) {});
        const std::u16string site = u"IIS://" + row.Machine + u"/W3SVC/1";
        SetComment(site, u"First write");
        const TOleVariant bound = Bind(site);
        if (row.Move)
            std::filesystem::rename(Folder() / row.Folder, Folder() / "elsewhere");
        else
            std::filesystem::remove_all(Folder() / row.Folder);
        const std::vector<std::string> before = Entries(Folder());
        bound.Call(u"Put", u"ServerComment", u"Second write");
        EXPECT_EQ(MessageOf<EMachineFilesError>([&] { bound.Call(u"SetInfo"); }), Missing(row.Folder));
        EXPECT_EQ(MessageOf<EMachineFilesError>([&] { Bind(site); }), Missing(row.Folder));
        EXPECT_EQ(MessageOf<EMachineFilesError>([&] { CreateP3Config().SetProperty(u"MachineName", row.Machine); }),
                  Missing(row.Folder));
        EXPECT_EQ(Entries(Folder()), before);
        if (row.Move) {
            EXPECT_NE(Read(Folder() / "elsewhere" / "Sites" / "1.xml").find("First write"), std::string::npos);
            std::filesystem::remove_all(Folder() / "elsewhere");
        }
    }
}

// A write never starts from a copy older than the files: another process wrote
// them since this one read them.
TEST_F(EmulatedMachine, ACopyOlderThanTheFilesIsNotWritten) {
    const TOleVariant stale = Bind(u"IIS://WEB2/W3SVC/1");
    ASSERT_TRUE(InChild([] {
        SetComment(u"IIS://WEB2/W3SVC/1", u"Other process");
        return true;
    }));
    stale.Call(u"Put", u"ServerComment", u"From a stale copy");
    EXPECT_EQ(MessageOf<EMachineFilesError>([&] { stale.Call(u"SetInfo"); }),
              "Machine folder \"" + (Folder() / "WEB2").string() +
                  "\" was changed by another program since it was read; nothing was written");
    EXPECT_EQ(CommentOf(u"IIS://WEB2/W3SVC/1"), u"Other process");
    SetComment(u"IIS://WEB2/W3SVC/1", u"Read again first");  // a fresh bind reads the files again
    CloseMachines();
    EXPECT_EQ(CommentOf(u"IIS://WEB2/W3SVC/1"), u"Read again first");
}

// The process that writes a machine holds its lock; another writer waits a
// bounded time and then fails clearly, without a change.
TEST_F(EmulatedMachine, AnotherProcessWritingTheMachineIsWaitedFor) {
    THoldingChild other([] {
        static TMachineOperation operation;  // lives on in the child until it ends
        TMachineOperation::LockMachine(u"WEB2");
    });
    ASSERT_TRUE(other.Took());
    setenv("ORVEX_LOCK_WAIT_MS", "100", 1);
    const TOleVariant site = Bind(u"IIS://WEB2/W3SVC/1");
    site.Call(u"Put", u"ServerComment", u"Waited too long");
    EXPECT_EQ(MessageOf<EMachineFilesError>([&] { site.Call(u"SetInfo"); }),
              "Cannot lock \"" + (Folder() / "WEB2").string() + "\": another program is writing it (waited 0 s)");
    CreateP3Config().Property(u"Domains").Call(u"Add", u"new.example.org");  // the local machine is free
    other.Release();
    CloseMachines();
    EXPECT_NE(CommentOf(u"IIS://WEB2/W3SVC/1"), u"Waited too long");
    SetComment(u"IIS://WEB2/W3SVC/1", u"Now free");
    EXPECT_EQ(CommentOf(u"IIS://WEB2/W3SVC/1"), u"Now free");
}

// Within an operation the lock taken by the first change stays until the end, and
// the changes stay in memory until then: each changed file is written once, the
// others not at all.
TEST_F(EmulatedMachine, AnOperationLocksWhatItChangesAndWritesItOnceAtTheEnd) {
    const std::filesystem::path web2 = Folder() / "WEB2";
    auto inode = [](const std::filesystem::path& file) {
        struct stat info {};
        ::stat(file.c_str(), &info);
        return info.st_ino;
    };
    OpenMachine(u"");  // the local machine is made before anything is read from it
    const auto site2 = inode(web2 / "Sites" / "2.xml");
    const std::string site1 = Read(web2 / "Sites" / "1.xml"), pop3 = Read(Folder() / "localhost" / "Pop3.xml");
    {
        TMachineOperation operation;
        EXPECT_TRUE(FreeForOthers(web2.string()));
        for (int i = 0; i < 50; ++i) SetComment(u"IIS://WEB2/W3SVC/1", u"Change " + IntToText(i));
        const TOleVariant site = Bind(u"IIS://WEB2/W3SVC").Call(u"Create", u"IIsWebServer", u"9");
        site.Call(u"SetInfo");
        CreateP3Config().Property(u"Domains").Call(u"Add", u"new.example.org");
        EXPECT_FALSE(FreeForOthers(web2.string()));
        {
            TMachineOperation nested;
        }
        EXPECT_FALSE(FreeForOthers(web2.string()));
        EXPECT_EQ(Read(web2 / "Sites" / "1.xml"), site1);
        EXPECT_FALSE(std::filesystem::exists(web2 / "Sites" / "9.xml"));
        EXPECT_EQ(Read(Folder() / "localhost" / "Pop3.xml"), pop3);
        EXPECT_EQ(CommentOf(u"IIS://WEB2/W3SVC/1"), u"Change 49");  // this process sees its changes
    }
    EXPECT_TRUE(FreeForOthers(web2.string()));
    EXPECT_NE(Read(web2 / "Sites" / "1.xml").find("Change 49"), std::string::npos);
    EXPECT_NE(Read(web2 / "Metabase.xml").find("file=\"Sites/9.xml\""), std::string::npos);
    EXPECT_NE(Read(Folder() / "localhost" / "Pop3.xml").find("new.example.org"), std::string::npos);
    EXPECT_EQ(inode(web2 / "Sites" / "2.xml"), site2);
}

// A program that ends normally during an operation writes its changes first; one
// that is killed leaves the files as the last finished operation wrote them.
TEST_F(EmulatedMachine, NormalExitWritesWhatAnOperationChanged) {
    for (bool normal : {false, true}) {
        InChild([&] {
            new TMachineOperation;  // never ended
            SetComment(u"IIS://WEB2/W3SVC/1", normal ? u"Exit" : u"Killed");
            if (normal) std::exit(0);
            ::_exit(0);
            return true;
        });
        CloseMachines();
        EXPECT_EQ(CommentOf(u"IIS://WEB2/W3SVC/1"), normal ? u"Exit" : u"Default Web Site");
    }
}

// The machine a name last gave (kept per thread for the schema binds) is given
// again only while no machine was made or forgotten and the machines folder stays.
TEST_F(EmulatedMachine, AMachineAsItStandsFollowsMadeAndForgottenMachines) {
    const auto makeWeb2 = [&](std::u16string comment) {
        MakeMachine(u"WEB2", [&](TMachineState& state) {
            state.Metabase->Find(u"W3SVC/1")->SetValue(u"ServerComment", std::move(comment));
        });
    };
    const std::shared_ptr<TEmulatedMachine> first = OpenMachineAsItStands(u"WEB2");
    OpenMachineAsItStands(u"");
    EXPECT_EQ(OpenMachineAsItStands(u"WEB2"), first);
    makeWeb2(u"Made again");
    const std::shared_ptr<TEmulatedMachine> made = OpenMachineAsItStands(u"WEB2");
    EXPECT_NE(made, first);
    EXPECT_EQ(CommentOf(made), u"Made again");
    CloseMachines();
    EXPECT_NE(OpenMachineAsItStands(u"WEB2"), made);
    const std::string machines = Folder().string();
    std::filesystem::create_directory(Folder() / "other");
    setenv("ORVEX_MACHINES", (Folder() / "other").c_str(), 1);
    makeWeb2(u"In another folder");
    EXPECT_EQ(CommentOf(OpenMachineAsItStands(u"WEB2")), u"In another folder");
    setenv("ORVEX_MACHINES", machines.c_str(), 1);
    EXPECT_EQ(CommentOf(OpenMachineAsItStands(u"WEB2")), u"Made again");
}

// Within an operation a machine is looked at on disk once, whether it was open
// before or is first read in it: a change another program makes meanwhile is seen
// by the next operation, and outside one at once.
TEST_F(EmulatedMachine, AnOperationReadsOneStateOfAMachine) {
    const std::filesystem::path site = Folder() / "WEB2" / "Sites" / "1.xml";
    std::u16string was = u"Default Web Site";
    const auto writtenByOther = [&](const std::u16string& comment) {
        std::string text = Read(site);
        text.replace(text.find(Utf16ToUtf8(was)), was.size(), Utf16ToUtf8(comment));
        std::ofstream(site.string() + ".new", std::ios::binary) << text;
        std::filesystem::rename(site.string() + ".new", site);
    };
    for (const bool openBefore : {false, true}) {
        CloseMachines();
        if (openBefore) {
            EXPECT_EQ(CommentOf(u"IIS://WEB2/W3SVC/1"), was);
        }
        {
            TMachineOperation operation;
            EXPECT_EQ(CommentOf(u"IIS://WEB2/W3SVC/1"), was);
            writtenByOther(openBefore ? u"Second" : u"First");
            EXPECT_EQ(CommentOf(u"IIS://WEB2/W3SVC/1"), was);
            TMachineOperation nested;
            EXPECT_EQ(CommentOf(u"IIS://WEB2/W3SVC/1"), was);
        }
        was = openBefore ? u"Second" : u"First";
        TMachineOperation next;
        EXPECT_EQ(CommentOf(u"IIS://WEB2/W3SVC/1"), was);
    }
    writtenByOther(u"Outside");
    EXPECT_EQ(CommentOf(u"IIS://WEB2/W3SVC/1"), u"Outside");
}

// Threads that open closed machines at once, within an operation and whichever
// comes first, each get a whole copy, and they end up sharing one copy per machine.
TEST_F(EmulatedMachine, ThreadsOpeningMachinesAtOnceShareOneCopyEach) {
    MakeMachine(u"WEB3", [](TMachineState&) {});
    CloseMachines();
    TMachineOperation operation;
    constexpr int kThreads = 8;
    const std::u16string names[] = {u"WEB2", u"WEB3"};
    std::vector<std::shared_ptr<TEmulatedMachine>> opened(kThreads);
    {
        std::latch start(kThreads);
        std::vector<std::jthread> threads;
        for (int i = 0; i < kThreads; ++i)
            threads.emplace_back([&, i] {
                start.arrive_and_wait();
                for (int round = 0; round < 20; ++round) opened[i] = OpenMachine(names[i % 2]);
            });
    }
    for (int i = 0; i < kThreads; ++i) {
        ASSERT_NE(opened[i], nullptr);
        EXPECT_EQ(opened[i], OpenMachine(names[i % 2]));
        EXPECT_EQ(CommentOf(opened[i]), u"Default Web Site");
    }
    EXPECT_NE(opened[0], opened[1]);
}

// Two first runs at once (cron and the wizard) on a fresh install: the local
// machine is installed once, and neither run fails on the files of the other.
TEST_F(EmulatedMachine, TwoFirstRunsAtOnceBothFindTheLocalMachine) {
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        std::filesystem::remove_all(Folder() / "localhost");
        int go[2];
        ASSERT_EQ(::pipe(go), 0);
        pid_t runs[2];
        for (pid_t& run : runs)
            if ((run = ::fork()) == 0) {
                char byte;
                ::close(go[1]);
                (void)!::read(go[0], &byte, 1);
                bool found = false;
                try {
                    found = CommentOf(OpenMachine(u"localhost")) == u"Default Web Site";
                } catch (...) {
                }
                ::_exit(found ? 0 : 1);
            }
        ::close(go[0]);
        ::close(go[1]);  // both start
        for (const pid_t run : runs) {
            int status = 0;
            ::waitpid(run, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
    }
}

TInstallStep gKillAt = TInstallStep::isDone;

// A first run killed at any step of the local machine's install leaves no machine,
// which the next run installs, or the whole one, holding the install's mark until
// that is removed: the next run opens it as it is and removes the mark. The next
// install removes what the killed one left, and no other folder or file of the
// same pattern.
TEST_F(EmulatedMachine, AFirstRunKilledDuringTheInstallLeavesNoMachineOrAWholeOne) {
    const std::filesystem::path local = Folder() / "localhost";
    ASSERT_TRUE(InChild([] { return OpenMachine(u"") != nullptr; }));
    const auto whole = test::FilesBelow(local, true);
    // Of the pattern, yet none of ours: a living process's, a link, a file and,
    // when it can be made, another user's.
    const pid_t gone = GonePid();
    const std::string living = "localhost.tmp-" + std::to_string(::getppid()) + "-1";
    const std::string dead = "localhost.tmp-" + std::to_string(gone) + "-";
    std::vector<std::string> kept = {"WEB2", "localhost", living, dead + "1", dead + "2"};
    std::filesystem::create_directories(Folder() / living / "Sites");
    std::filesystem::create_directory_symlink(Folder() / living, Folder() / (dead + "1"));
    std::ofstream(Folder() / (dead + "2")) << "a file";
    if (::geteuid() == 0) {
        std::filesystem::create_directory(Folder() / (dead + "3"));
        ASSERT_EQ(::chown((Folder() / (dead + "3")).c_str(), OtherUser(), OtherUser()), 0);
        kept.push_back(dead + "3");
    }
    std::sort(kept.begin(), kept.end());
    const auto marks = [&] {
        return std::count_if(std::filesystem::directory_iterator(local), {}, [](const auto& entry) {
            return entry.path().filename().string().starts_with("Install.tmp-");
        });
    };
    for (const TInstallStep step : {TInstallStep::isFolder, TInstallStep::isTemporaryFolder, TInstallStep::isMarked,
                                    TInstallStep::isDrives, TInstallStep::isFiles, TInstallStep::isDurable,
                                    TInstallStep::isRenamed, TInstallStep::isDone}) {
        SCOPED_TRACE(int(step));
        std::filesystem::remove_all(local);
        gKillAt = step;
        ASSERT_TRUE(KilledInChild([] {
            WatchInstallSteps([](TInstallStep reached) {
                if (reached == gKillAt) ::raise(SIGKILL);
            });
            OpenMachine(u"");
        })) << "the step was never reached";
        const bool temporaryLeft = step >= TInstallStep::isTemporaryFolder && step < TInstallStep::isRenamed;
        EXPECT_EQ(MachineExists(local), step >= TInstallStep::isRenamed);
        EXPECT_EQ(marks(), step == TInstallStep::isRenamed ? 1 : 0);
        EXPECT_EQ(Entries(Folder()).size(), kept.size() + (temporaryLeft ? 1 : 0));
        EXPECT_TRUE(InChild([] { return CommentOf(OpenMachine(u"")) == u"Default Web Site"; }));
        EXPECT_TRUE(test::FilesBelow(local, true) == whole);
        EXPECT_EQ(Entries(Folder()), kept);
        EXPECT_TRUE(std::filesystem::is_directory(Folder() / living / "Sites"));
    }
}

// The same in place, where the local machine's folder is a mount point (another
// disk, bound there in a private mount namespace): a run killed at any step leaves
// the folder empty, or holding the install's mark, and the next run completes the machine.
TEST_F(EmulatedMachine, AnInstallInPlaceKilledAtAnyStepIsCompletedByTheNextRun) {
    const std::filesystem::path local = Folder() / "localhost", disk = Folder() / "disk";
    ASSERT_TRUE(InChild([] { return OpenMachine(u"") != nullptr; }));
    const auto whole = test::FilesBelow(local, true);
    std::filesystem::remove_all(local);
    std::filesystem::create_directory(local);
    std::filesystem::create_directory(disk);
    const auto mounted = [&] { return MountPrivately(disk.c_str(), local.c_str()); };
    if (!InChild(mounted))
        GTEST_SKIP() << "no private mount namespace here";
    for (const TInstallStep step : {TInstallStep::isFolder, TInstallStep::isMarked, TInstallStep::isDrives,
                                    TInstallStep::isFiles, TInstallStep::isDurable, TInstallStep::isDone}) {
        SCOPED_TRACE(int(step));
        std::filesystem::remove_all(disk);
        std::filesystem::create_directory(disk);
        gKillAt = step;
        ASSERT_TRUE(KilledInChild([&] {
            WatchInstallSteps([](TInstallStep reached) {
                if (reached == gKillAt) ::raise(SIGKILL);
            });
            if (mounted())
                OpenMachine(u"");
        })) << "the step was never reached";
        EXPECT_TRUE(InChild([&] { return mounted() && CommentOf(OpenMachine(u"")) == u"Default Web Site"; }));
        EXPECT_TRUE(test::FilesBelow(disk, true) == whole);
    }
}

// The local machine's folder that cannot be made is named with the system's
// reason, and nothing of the install is left behind.
TEST_F(EmulatedMachine, ALocalMachineFolderThatCannotBeMadeIsNamedWithTheReason) {
    const std::string local = (Folder() / "localhost").string();
    const std::string cannot = "Cannot make the machine folder \"" + local + "\": ";
    const struct {
        const char* Case;
        std::function<bool()> Restrict;  // in the child that opens the machine
        std::string Reason;              // at the end of the message
        std::vector<std::string> Left;
    } rows[] = {
        {"a file in its place", [&] { return bool(std::ofstream(local) << "a file"); }, "File exists",
         {"WEB2", "localhost"}},
        {"a read-only machines folder",  // root passes the folder's permissions: no longer root
         [&] {
             std::filesystem::permissions(Folder(), std::filesystem::perms(0555));
             return ::geteuid() != 0 || ::setuid(OtherUser()) == 0;
         },
         "Permission denied", {"WEB2"}},
        {"no room for its files",
         [] {
             const rlimit limit{512, 512};
             return ::signal(SIGXFSZ, SIG_IGN) != SIG_ERR && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
         },
         "\". File too large", {"WEB2", "localhost"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Case);
        EXPECT_TRUE(InChild([&] {
            const std::string message = row.Restrict() ? MessageOf<EMachineFilesError>([] { OpenMachine(u""); }) : "";
            if (!message.starts_with(cannot) || !message.ends_with(row.Reason))
                std::fprintf(stderr, "%s\n", message.c_str());
            return message.starts_with(cannot) && message.ends_with(row.Reason);
        }));
        std::filesystem::permissions(Folder(), std::filesystem::perms(0700));
        EXPECT_EQ(Entries(Folder()), row.Left);
        std::filesystem::remove_all(local);
    }
}

} // namespace
} // namespace orvex::testing
