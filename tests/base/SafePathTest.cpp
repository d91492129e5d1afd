#include "base/SafePath.h"

#include "ChildProcess.h"
#include "OtherUser.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <unistd.h>

namespace orvex {
namespace {

// A folder of root's holding one of another user: which paths a change
// may follow from root's folder.
TEST(SafePath, AChangeReachesOnlyWhatBelongsToRootOrUs) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to give files to another user";
    std::string pattern = (std::filesystem::temp_directory_path() / "orvex-safe-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const std::filesystem::path top = pattern, theirs = top / "theirs";
    std::filesystem::permissions(top, std::filesystem::perms(0755));
    std::filesystem::create_directories(theirs / "sub");
    std::filesystem::create_directory(top / "ours");
    for (const std::filesystem::path& file : {top / "ours" / "file.txt", theirs / "own.txt"})
        std::ofstream(file) << "x";
    const std::pair<std::filesystem::path, std::filesystem::path> links[] = {
        {top / "rootlink", "theirs/own.txt"}, {top / "absolute", top / "ours" / "file.txt"},
        {top / "nowhere", "gone.txt"}, {theirs / "absolute", theirs / "own.txt"}};
    for (const auto& [link, target] : links)
        std::filesystem::create_symlink(target, link);
    const uid_t other = testing::OtherUser();
    for (const std::filesystem::path& path : {theirs, theirs / "sub", theirs / "own.txt", theirs / "absolute"})
        ASSERT_EQ(::lchown(path.c_str(), other, other), 0);

    const std::string refusal = "\"" + theirs.string() + "\" belongs to nobody: run Orvex as nobody, or give it to root";
    const struct {
        const char* Path;
        std::string Error;  // the refusal, or the system's error, or "" and where it ends
        const char* End = "";
    } rows[] = {
        {"ours/file.txt", "", "file.txt"},
        {"ours/new.txt", "", "new.txt"},
        {"absolute", "", "file.txt"},
        {"theirs/own.txt", refusal},
        {"theirs/new.txt", refusal},
        {"rootlink", refusal},
        {"nowhere", std::generic_category().message(ENOENT)},
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
    // The way from "/" to the folder a path starts from counts, and nothing is
    // made in another user's folder.
    EXPECT_EQ(TSafeFolders((theirs / "sub").string()).StartFailure(), refusal);
    TSafeFolders folders(theirs.string());
    TSafePlace place;
    EXPECT_EQ(folders.StartFailure(), refusal);
    EXPECT_NE(folders.MakeFolder(0, "made", place), 0);
    EXPECT_FALSE(std::filesystem::exists(theirs / "made"));
    // The user's own links lead them anywhere that is theirs or root's.
    EXPECT_TRUE(testing::InChild([&] {
        TSafeFolders own(start.Get(), top.string());
        TSafePlace end;
        return ::setgid(other) == 0 && ::setuid(other) == 0 && own.Follow("theirs/absolute", end) == 0 &&
               end.Name == "own.txt";
    }));
    std::filesystem::remove_all(top);
}

} // namespace
} // namespace orvex
