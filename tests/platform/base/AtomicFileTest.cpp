#include "platform/base/AtomicFile.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvex;
namespace fs = std::filesystem;

namespace {

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class AtomicFile : public testing::Test {
protected:
    void SetUp() override {
        FFolder = fs::path(testing::TempDir()) /
                  ("orvex_atomic_" + std::to_string(::getpid()) + "_" +
                   testing::UnitTest::GetInstance()->current_test_info()->name());
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
    fs::path FFolder;
};

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
        try {
            WriteFileAtomically(U16(file.string()), "replacement");
            FAIL();
        } catch (const EAtomicFileError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Cannot create file \"" + file.string() + "\". Permission denied");
        }
        fs::permissions(FFolder, fs::perms::owner_all);
        EXPECT_EQ(Slurp(file), "original");
        EXPECT_EQ(EntryCount(), 1u);
    }
    const fs::path missing = FFolder / "no-such-folder" / "x.xml";
    try {
        WriteFileAtomically(U16(missing.string()), "x");
        FAIL();
    } catch (const EAtomicFileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + missing.string() + "\". No such file or directory");
    }
    try {
        WriteFileAtomically(U16(FFolder.string()), "x");
        FAIL();
    } catch (const EAtomicFileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + FFolder.string() +
                                             "\". Is a directory");
    }
    EXPECT_EQ(EntryCount(), 1u);
}
