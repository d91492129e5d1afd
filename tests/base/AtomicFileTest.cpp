#include "base/AtomicFile.h"

#include "ChildProcess.h"
#include "FailingFolderSync.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

using namespace orvex;
using orvex::testing::GonePid;
namespace fs = std::filesystem;

namespace {

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class AtomicFile : public ::testing::Test {
protected:
    void SetUp() override {
        FFolder = fs::path(::testing::TempDir()) /
                  ("orvex_atomic_" + std::to_string(::getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(FFolder);
        fs::create_directories(FFolder);
    }
    void TearDown() override {
        fs::permissions(FFolder, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(FFolder);
    }
    size_t EntryCount() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(FFolder), {}));
    }
    // Makes the files named stale and kept in the folder, runs clear, and checks that
    // the stale ones, and only those, are gone.
    template <class TClear>
    void ExpectOnlyStaleGo(const std::vector<std::string>& stale, const std::vector<std::string>& kept, TClear clear) {
        for (const auto& name : stale) std::ofstream(FFolder / name) << std::string(4096, 'x');
        for (const auto& name : kept) std::ofstream(FFolder / name) << "k";
        clear();
        for (const auto& name : stale) EXPECT_FALSE(fs::exists(FFolder / name)) << name;
        for (const auto& name : kept) EXPECT_TRUE(fs::exists(FFolder / name)) << name;
    }
    fs::path FFolder;
};

// The message of the EAtomicFileError that save raises ("" when none).
template <class TSave>
std::string ErrorOf(TSave save) {
    try {
        save();
    } catch (const EAtomicFileError& e) {
        return e.what();
    }
    return "";
}

std::string SaveError(const fs::path& file, const std::string& bytes = "new") {
    return ErrorOf([&] { WriteFileAtomically(U16(file.string()), bytes); });
}

std::string CannotCreate(const fs::path& file, const std::string& why) {
    return "Cannot create file \"" + file.string() + "\". " + why;
}

} // namespace

TEST_F(AtomicFile, CreatesAndReplaces) {
    const fs::path file = FFolder / "a.xml";
    WriteFileAtomically(U16(file.string()), std::string("one\0two", 7));
    EXPECT_EQ(Slurp(file), std::string("one\0two", 7));
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    WriteFileAtomically(U16(file.string()), "new");
    EXPECT_EQ(Slurp(file), "new");
    EXPECT_EQ(fs::status(file).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    WriteFileAtomically(U16(file.string()), "");
    EXPECT_EQ(Slurp(file), "");
    EXPECT_EQ(EntryCount(), 1u); // no temporary file left
}

TEST_F(AtomicFile, WritesThroughASymbolicLink) {
    const fs::path target = FFolder / "target.xml";
    const fs::path link = FFolder / "link.xml";
    std::ofstream(target) << "old";
    fs::create_symlink(target, link);
    WriteFileAtomically(U16(link.string()), "new");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Slurp(target), "new");
}

TEST_F(AtomicFile, FailureLeavesTheOldFileAndNoTemporary) {
    const fs::path file = FFolder / "keep.xml";
    std::ofstream(file) << "original";
    if (::geteuid() != 0) { // root writes into read-only folders regardless
        fs::permissions(FFolder, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(SaveError(file, "replacement"), CannotCreate(file, "Permission denied"));
        fs::permissions(FFolder, fs::perms::owner_all);
        EXPECT_EQ(Slurp(file), "original");
        EXPECT_EQ(EntryCount(), 1u);
    }
    const fs::path missing = FFolder / "no-such-folder" / "x.xml";
    EXPECT_EQ(SaveError(missing), CannotCreate(missing, "No such file or directory"));
    EXPECT_EQ(SaveError(FFolder), CannotCreate(FFolder, "Is a directory"));
    EXPECT_EQ(EntryCount(), 1u);
}

// A read-only file is as read-only as on Windows: kept, mode and all, also for root.
TEST_F(AtomicFile, ReadOnlyFileIsRefused) {
    const fs::path file = FFolder / "locked.xml";
    std::ofstream(file) << "original";
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(SaveError(file, "replacement"), CannotCreate(file, "Permission denied"));
    EXPECT_EQ(Slurp(file), "original");
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(EntryCount(), 1u);
}

// A replaced file keeps its mode and group. Another user's file is refused before
// anything is written.
TEST_F(AtomicFile, ReplacementKeepsModeAndGroup) {
    const fs::path file = FFolder / "shared.xml";
    std::ofstream(file) << "old";
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(file.c_str(), 1234, 5678), 0);
        EXPECT_EQ(SaveError(file), CannotCreate(file, OwnerRefusal(1234, file.string())));
        EXPECT_EQ(Slurp(file), "old");
        ASSERT_EQ(::chown(file.c_str(), 0, 5678), 0);
    }
    struct stat before {};
    ::stat(file.c_str(), &before);
    WriteFileAtomically(U16(file.string()), "new");
    struct stat after {};
    ::stat(file.c_str(), &after);
    EXPECT_EQ(Slurp(file), "new");
    EXPECT_NE(after.st_ino, before.st_ino);  // replaced, not written in place
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
}

// A killed save leaves "<file>.tmp-<pid>-<n>"; the next save of that file takes
// away those of processes that are gone, and only those: the folder may hold
// other files' and other programs' of the same pattern.
TEST_F(AtomicFile, NextSaveRemovesItsOwnTemporariesOfGoneProcesses) {
    const std::string gone = std::to_string(GonePid());
    const std::string self = std::to_string(::getpid());
    const fs::path file = FFolder / "a.xml";
    const std::pair<const char*, std::function<void()>> saves[] = {
        {"one file", [&] { WriteFileAtomically(U16(file.string()), "new"); }},
        {"a batch",
         [&] {
             TAtomicWrites writes;
             writes.Write(U16((FFolder / "c.xml").string()), "c");
             writes.Write(U16(file.string()), "new");
             writes.Commit();
         }},
        {"a new file",
         [&] {
             fs::remove(file);
             EXPECT_TRUE(WriteNewFileAtomically(U16(file.string()), "new"));
         }},
    };
    for (const auto& [name, save] : saves) {
        SCOPED_TRACE(name);
        ExpectOnlyStaleGo({"a.xml.tmp-" + gone + "-17"},
                          {"a.xml.tmp-" + self + "-9",  // a save of ours in progress
                           "a.xml.tmp-1-5",            // pid 1 runs
                           "a.xml.tmp-" + gone + "-x", "a.xml.tmp-" + gone, "a.xml.tmp-" + gone + "-",
                           "b.xml.tmp-" + gone + "-4", "aa.xml.tmp-" + gone + "-2", "report.odt.tmp-" + gone + "-1",
                           "notes.txt"},
                          save);
        EXPECT_EQ(Slurp(file), "new");
    }
}

// A folder that cannot be synced may lose the rename or link: the save says so,
// and a new file that is not known to be on disk is not made.
TEST_F(AtomicFile, FailedFolderSyncFailsTheSave) {
    const fs::path file = FFolder / "a.xml", created = FFolder / "new.xml";
    test::TFailingFolderSyncs failing;
    EXPECT_EQ(SaveError(file), CannotCreate(file, "Input/output error"));
    EXPECT_EQ(ErrorOf([&] { WriteNewFileAtomically(U16(created.string()), "new"); }),
              CannotCreate(created, "Input/output error"));
    EXPECT_FALSE(fs::exists(created));
    EXPECT_EQ(EntryCount(), 1u);  // no temporary left
}

// Two processes that both create a missing file: exactly one creates it, and the
// other leaves it as it stands.
TEST_F(AtomicFile, NewFileIsCreatedOnce) {
    const fs::path file = FFolder / "new.xml";
    EXPECT_TRUE(WriteNewFileAtomically(U16(file.string()), "first"));
    EXPECT_FALSE(WriteNewFileAtomically(U16(file.string()), "second"));
    EXPECT_EQ(Slurp(file), "first");
    fs::create_symlink(FFolder / "nowhere", FFolder / "dangling.xml");
    EXPECT_FALSE(WriteNewFileAtomically(U16((FFolder / "dangling.xml").string()), "x"));
    EXPECT_FALSE(fs::exists(FFolder / "nowhere"));
    EXPECT_EQ(EntryCount(), 2u);  // no temporary left
    for (int round = 0; round < 20; ++round) {
        const fs::path raced = FFolder / ("raced" + std::to_string(round));
        const pid_t child = ::fork();
        if (child == 0) ::_exit(WriteNewFileAtomically(U16(raced.string()), "child") ? 0 : 1);
        const bool parentMade = WriteNewFileAtomically(U16(raced.string()), "parent");
        int status = 0;
        ::waitpid(child, &status, 0);
        const bool childMade = WEXITSTATUS(status) == 0;
        EXPECT_NE(parentMade, childMade);
        EXPECT_EQ(Slurp(raced), parentMade ? "parent" : "child");
    }
}

// A batch puts nothing in place before its Commit, and a batch dropped before it
// leaves the files as they were, without temporaries.
TEST_F(AtomicFile, ABatchChangesFilesOnlyAtCommit) {
    const fs::path a = FFolder / "a.xml";
    const fs::path b = FFolder / "b.xml";
    std::ofstream(a) << "old";
    for (const bool commit : {false, true}) {
        SCOPED_TRACE(commit ? "committed" : "dropped");
        {
            TAtomicWrites writes;
            writes.Write(U16(a.string()), "new a");
            writes.Write(U16(b.string()), "new b");
            EXPECT_EQ(Slurp(a), "old");
            EXPECT_FALSE(fs::exists(b));
            if (commit)
                writes.Commit();
        }
        EXPECT_EQ(Slurp(a), commit ? "new a" : "old");
        EXPECT_EQ(fs::exists(b), commit);
        EXPECT_EQ(EntryCount(), commit ? 2u : 1u);
    }
}

// What a save refuses before it writes anything, said as the save would say it; a
// device or pipe is never replaced by a plain file, nor written into.
TEST_F(AtomicFile, RefusesWhatCannotHoldTheFile) {
    const fs::path plain = FFolder / "plain.xml", readOnly = FFolder / "locked.xml", pipe = FFolder / "pipe.xml",
                   link = FFolder / "link.xml";
    std::ofstream(plain) << "p";
    std::ofstream(readOnly) << "r";
    fs::permissions(readOnly, fs::perms::owner_read);
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    fs::create_symlink(readOnly, link);
    const struct {
        fs::path Path;
        std::string Reason;  // empty: accepted
    } cases[] = {
        {FFolder / "new.xml", ""},
        {plain, ""},
        {FFolder, "Is a directory"},
        {"/dev/null", "It is a character device, not a regular file"},
        {pipe, "It is a pipe, not a regular file"},
        {readOnly, "Permission denied"},
        {link, "Permission denied"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Path.string());
        const std::string expected = c.Reason.empty() ? "" : CannotCreate(c.Path, c.Reason);
        EXPECT_EQ(AtomicSaveRefusal(U16(c.Path.string())), expected);
        if (!c.Reason.empty() && c.Path.parent_path() == FFolder) {
            EXPECT_EQ(SaveError(c.Path), expected);
        }
    }
    EXPECT_EQ(Slurp(readOnly), "r");
    EXPECT_EQ(fs::status(pipe).type(), fs::file_type::fifo);
    EXPECT_EQ(EntryCount(), 4u);  // no temporary left
}

// A writer that may end without saving clears the leftovers of its own file only:
// those of a process that is gone, also one killed and not yet waited for.
TEST_F(AtomicFile, StaleTemporariesOfOneFileGo) {
    const pid_t unreaped = ::fork();
    if (unreaped == 0) ::_exit(0);
    // Ended, not waited for: still answers kill() until waited for.
    for (std::string line; line.find(") Z") == std::string::npos; ::sched_yield()) {
        std::ifstream stat("/proc/" + std::to_string(unreaped) + "/stat");
        std::getline(stat, line);
    }
    const std::string gone = std::to_string(GonePid()), zombie = std::to_string(unreaped);
    ExpectOnlyStaleGo({"a.xml.tmp-" + gone + "-17", "a.xml.tmp-" + zombie + "-3"},
                      {"b.xml.tmp-" + gone + "-4", "a.xml.tmp-" + std::to_string(::getpid()) + "-9", "a.xml.tmp-1-5",
                       "aa.xml.tmp-" + gone + "-2", "a.xml"},
                      [&] { RemoveStaleTemporariesOf(U16((FFolder / "a.xml").string())); });
    ::waitpid(unreaped, nullptr, 0);
}
