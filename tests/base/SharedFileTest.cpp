#include "base/SharedFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace orvex;

namespace {

class SharedFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvex-sharedfile-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        path_ = folder_ + "/file.bin";
        std::ofstream(path_, std::ios::binary) << "data";
    }
    void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }

    std::u16string Path() const { return std::u16string(path_.begin(), path_.end()); }
    std::string Contents() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    TSharedFile Open(unsigned access, unsigned share, int& error,
                     TFileDisposition disposition = TFileDisposition::fdOpenExisting) const {
        return TSharedFile::Open(Path(), access, share, disposition, error);
    }

    std::string folder_;
    std::string path_;
};

struct TShareCase {
    const char* name;
    unsigned firstAccess, firstShare, secondAccess, secondShare;
    bool secondOpens;
};

// The answers Windows gives for two opens of one file.
const TShareCase kShareCases[] = {
    {"readers sharing read", faRead, fsRead, faRead, fsRead, true},
    {"writer after a reader that denies write", faRead, fsRead, faWrite, fsRead | fsWrite, false},
    {"appender after an appender", faWrite, fsRead, faWrite, fsRead, false},
    {"deny-write reader after a writer", faWrite, fsRead, faRead, fsRead, false},
    {"deny-none reader after a writer", faWrite, fsRead, faRead, fsRead | fsWrite, true},
    {"appender after a deny-none reader", faRead, fsRead | fsWrite, faWrite, fsRead, true},
    {"anything after an exclusive open", faRead, 0, faRead, fsRead | fsWrite, false},
    {"exclusive open after a deny-none reader", faRead, fsRead | fsWrite, faRead, 0, false},
    {"read-write pair sharing both", faRead | faWrite, fsRead | fsWrite, faRead | faWrite, fsRead | fsWrite, true},
    {"reader after a deny-read writer", faWrite, fsWrite, faRead, fsRead | fsWrite, false},
    {"writer after a deny-read writer", faWrite, fsWrite, faWrite, fsRead | fsWrite, true},
};

} // namespace

TEST_F(SharedFileTest, SecondOpenAnswersAsWindowsShareModesDo) {
    for (const TShareCase& c : kShareCases) {
        SCOPED_TRACE(c.name);
        int error = 0;
        TSharedFile first = Open(c.firstAccess, c.firstShare, error);
        ASSERT_TRUE(first.IsOpen());
        TSharedFile second = Open(c.secondAccess, c.secondShare, error);
        EXPECT_EQ(second.IsOpen(), c.secondOpens);
        EXPECT_EQ(error, c.secondOpens ? 0 : kErrorSharingViolation);
        first = TSharedFile();
        // Closing the first releases its share.
        if (!c.secondOpens) {
            EXPECT_TRUE(Open(c.secondAccess, c.secondShare, error).IsOpen());
        }
    }
}

TEST_F(SharedFileTest, RefusedCreateLeavesTheFileUntouched) {
    int error = 0;
    TSharedFile holder = Open(faRead, fsRead, error);
    ASSERT_TRUE(holder.IsOpen());
    TSharedFile creator = Open(faWrite, fsRead, error, TFileDisposition::fdCreateAlways);
    EXPECT_FALSE(creator.IsOpen());
    EXPECT_EQ(error, kErrorSharingViolation);
    EXPECT_EQ(Contents(), "data");
}

TEST_F(SharedFileTest, CreateAlwaysTruncatesAndOpenAlwaysKeeps) {
    int error = 0;
    {
        TSharedFile keep = Open(faWrite, fsRead, error, TFileDisposition::fdOpenAlways);
        ASSERT_TRUE(keep.IsOpen());
        EXPECT_EQ(keep.Size(), 4);
    }
    EXPECT_EQ(Contents(), "data");
    {
        TSharedFile replace = Open(faWrite, fsRead, error, TFileDisposition::fdCreateAlways);
        ASSERT_TRUE(replace.IsOpen());
        EXPECT_EQ(replace.Size(), 0);
    }
    EXPECT_EQ(Contents(), "");
}

TEST_F(SharedFileTest, ReadWriteSeekAndTruncate) {
    int error = 0;
    TSharedFile file = Open(faRead | faWrite, 0, error);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Seek(0, SEEK_END), 4);
    EXPECT_EQ(file.Write("tail", 4), 4u);
    EXPECT_EQ(file.Seek(2, SEEK_SET), 2);
    char buffer[16] = {};
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 6);
    EXPECT_EQ(std::string(buffer, 6), "tatail");
    EXPECT_TRUE(file.Truncate(3));
    EXPECT_EQ(file.Size(), 3);
    file = TSharedFile();
    EXPECT_EQ(Contents(), "dat");
}

TEST_F(SharedFileTest, FailuresGiveTheirCodes) {
    int error = 0;
    EXPECT_FALSE(TSharedFile::Open(u"/nonexistent-folder/x", faRead, fsRead, TFileDisposition::fdOpenExisting, error)
                     .IsOpen());
    EXPECT_EQ(error, kErrorPathNotFound);
    EXPECT_FALSE(TSharedFile::Open(std::u16string(folder_.begin(), folder_.end()) + u"/missing", faRead, fsRead,
                                   TFileDisposition::fdOpenExisting, error)
                     .IsOpen());
    EXPECT_EQ(error, ENOENT);
    const std::u16string folder(folder_.begin(), folder_.end());
    EXPECT_FALSE(TSharedFile::Open(folder, faRead, fsRead, TFileDisposition::fdOpenExisting, error).IsOpen());
    EXPECT_EQ(error, EISDIR);
    EXPECT_FALSE(Open(0, fsRead, error).IsOpen());
    EXPECT_EQ(error, kErrorInvalidParameter);
    EXPECT_FALSE(Open(faRead, 4, error).IsOpen());
    EXPECT_EQ(error, kErrorInvalidParameter);
}

TEST(OsErrorMessage, WordsCommonErrorsAsWindowsDoes) {
    EXPECT_EQ(OsErrorMessage(kErrorSharingViolation),
              "The process cannot access the file because it is being used by another process.");
    EXPECT_EQ(OsErrorMessage(ENOENT), "The system cannot find the file specified.");
    EXPECT_EQ(OsErrorMessage(kErrorPathNotFound), "The system cannot find the path specified.");
    EXPECT_EQ(OsErrorMessage(EACCES), "Access is denied.");
    EXPECT_EQ(OsErrorMessage(EISDIR), "Access is denied.");
    EXPECT_EQ(OsErrorMessage(kErrorInvalidParameter), "The parameter is incorrect.");
    EXPECT_FALSE(OsErrorMessage(EIO).empty());
}

TEST_F(SharedFileTest, ShareModesHoldBetweenProcesses) {
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int error = 0;
        TSharedFile appender = Open(faWrite, fsRead, error);
        const char state = appender.IsOpen() ? 'y' : 'n';
        char ignored;
        if (write(ready[1], &state, 1) != 1 || read(release[0], &ignored, 1) != 1)
            _exit(2);
        _exit(0);
    }
    char state = 0;
    ASSERT_EQ(read(ready[0], &state, 1), 1);
    ASSERT_EQ(state, 'y');
    int error = 0;
    EXPECT_FALSE(Open(faWrite, fsRead, error).IsOpen());
    EXPECT_EQ(error, kErrorSharingViolation);
    EXPECT_FALSE(Open(faRead, fsRead, error).IsOpen());
    EXPECT_TRUE(Open(faRead, fsRead | fsWrite, error).IsOpen());
    ASSERT_EQ(write(release[1], "x", 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(Open(faWrite, fsRead, error).IsOpen());
    for (int fd : {ready[0], ready[1], release[0], release[1]})
        close(fd);
}
