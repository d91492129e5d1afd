#include "base/SafePath.h"

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <unistd.h>

namespace orvex {
namespace {

// A folder of another user (nobody) inside one of root's: which of the paths a
// change follows from root's folder keep to the rule, and what is made in the
// other user's folder becomes theirs.
TEST(SafePath, NoStepLeadsFromAnotherUsersFolderOrLinkIntoFilesNotTheirs) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to give files to another user";
    const uid_t nobody = 65534;
    std::string pattern = (std::filesystem::temp_directory_path() / "orvex-safe-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const std::filesystem::path top = pattern, theirs = top / "theirs";
    std::filesystem::permissions(top, std::filesystem::perms(0755));
    std::filesystem::create_directory(theirs);
    std::ofstream(top / "ours.txt") << "ours";
    for (const char* file : {"own.txt", "ours.txt"})
        std::ofstream(theirs / file) << "x";
    std::filesystem::create_directory(theirs / "sub");
    const std::pair<std::filesystem::path, std::filesystem::path> links[] = {
        {theirs / "inside", "sub/../own.txt"}, {theirs / "up", "../ours.txt"},
        {theirs / "absolute", theirs / "own.txt"}, {theirs / "nowhere", "gone.txt"}, {top / "rootlink", "theirs/own.txt"}};
    for (const auto& [link, target] : links)
        std::filesystem::create_symlink(target, link);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(theirs))
        if (entry.path().filename() != "ours.txt") {
            ASSERT_EQ(::lchown(entry.path().c_str(), nobody, nobody), 0);
        }
    ASSERT_EQ(::lchown(theirs.c_str(), nobody, nobody), 0);

    const auto unsafe = [&](const std::string& from, const std::string& to) {
        return "\"" + from + "\" belongs to nobody and leads to \"" + to + "\", which belongs to root";
    };
    const struct {
        const char* Path;
        std::string Error;  // the refusal, or the system's error, or "" and where it ends
        const char* End = "";
    } rows[] = {
        {"theirs/own.txt", "", "own.txt"},
        {"theirs/new.txt", "", "new.txt"},
        {"theirs/inside", "", "own.txt"},
        {"rootlink", "", "own.txt"},
        {"theirs/ours.txt", unsafe(theirs.string(), (theirs / "ours.txt").string())},
        {"theirs/up", unsafe((theirs / "up").string(), top.string())},
        {"theirs/absolute", unsafe((theirs / "absolute").string(), "/")},
        {"theirs/nowhere", std::generic_category().message(ENOENT)},
    };
    const TFileHandle start(::open(top.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Path);
        TSafeFolders folders(start.Get(), top.string());
        TSafePlace place;
        std::string error;
        try {
            if (const int failure = folders.Follow(row.Path, place))
                error = std::generic_category().message(failure);
        } catch (const EUnsafePathError& e) {
            error = e.what();
        }
        EXPECT_EQ(error, row.Error);
        if (error.empty()) {
            EXPECT_EQ(place.Name, row.End);
        }
    }
    // The user's own links lead them anywhere.
    EXPECT_TRUE(testing::InChild([&] {
        TSafeFolders folders(start.Get(), top.string());
        TSafePlace place;
        return ::setgid(nobody) == 0 && ::setuid(nobody) == 0 && folders.Follow("theirs/absolute", place) == 0 &&
               place.Name == "own.txt";
    }));
    TSafeFolders folders(start.Get(), top.string());
    TSafePlace place, made;
    ASSERT_EQ(folders.Follow("theirs/sub", place), 0);
    ASSERT_EQ(folders.MakeFolder(place.Inside, "made", made), 0);
    EXPECT_EQ(made.Status.st_uid, nobody);
    std::filesystem::remove_all(top);
}

} // namespace
} // namespace orvex
