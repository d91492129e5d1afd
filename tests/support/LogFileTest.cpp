#include "support/LogFile.h"

#include "TestFiles.h"
#include "base/LocalClock.h"
#include "base/Module.h"
#include "base/Utf.h"
#include "support/DateTimeText.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

using namespace orvex;
using namespace orvex::testing;

namespace {

TLocalDateTime g_now{2011, 10, 4, 9, 5, 7, 42};

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_now = {2011, 10, 4, 9, 5, 7, 42};
        SetLocalClockForTesting([] { return g_now; });
        SetLogFolder(Folder16());
    }
    void TearDown() override {
        SetLocalClockForTesting(nullptr);
        SetLogFolder(u"");
    }
    std::u16string Folder16() const {
        const std::string folder = temp_.Folder();
        return std::u16string(folder.begin(), folder.end());
    }
    std::string Log(const std::string& kind, const std::string& date = "111004") const {
        return ReadBytes(temp_.Path("orvex_support_tests." + kind + "." + date + ".log"));
    }
    static std::u16string Pid() {
        const std::string pid = std::to_string(getpid());
        return std::u16string(pid.begin(), pid.end());
    }

    TTempFolder temp_;
};

} // namespace

TEST_F(LogFileTest, FileNamesCarryModuleKindAndDate) {
    EXPECT_EQ(LogFileName(u".info.log"), Folder16() + u"orvex_support_tests.info.111004.log");
    EXPECT_EQ(LogFileName(u".testing.log"), Folder16() + u"orvex_support_tests.testing.111004.log");
    // With or without the trailing delimiter, the same names.
    std::u16string bare = Folder16();
    bare.pop_back();
    SetLogFolder(bare);
    EXPECT_EQ(LogFileName(u".info.log"), Folder16() + u"orvex_support_tests.info.111004.log");
    // No folder: the program's own.
    SetLogFolder(u"");
    EXPECT_EQ(DefaultLogFolder(), ExecutableFolder());
    EXPECT_EQ(LogFileName(u".info.log"), ExecutableFolder() + u"orvex_support_tests.info.111004.log");
}

TEST_F(LogFileTest, InfoLogLinesAreByteExact) {
    WriteInfoLog(u"WARNING during backup of web1: x");
    g_now = {2011, 10, 4, 23, 59, 59, 999};
    WriteInfoLog(u"two\r\nlines");
    EXPECT_EQ(Log("info"), "\xFF\xFE" + Utf16Le(u"2011-10-04 09:05:07 " + Pid() + u"\tWARNING during backup of web1: x\r\n" +
                                                u"2011-10-04 23:59:59 " + Pid() + u"\ttwo\r\nlines\r\n"));
    // After midnight a new file; at exactly midnight the time is left out.
    g_now = {2011, 10, 5, 0, 0, 0, 0};
    WriteInfoLog(u"\u00FCber");
    EXPECT_EQ(Log("info", "111005"), "\xFF\xFE" + Utf16Le(u"2011-10-05 " + Pid() + u"\t\u00FCber\r\n"));
}

TEST_F(LogFileTest, TestingLogLinesAreByteExact) {
    WriteTestingLog(u"exception", u"UTF16StringLoadFromUTF16File", u"Stream read error");
    g_now = {2026, 1, 15, 17, 0, 3, 7};
    WriteTestingLog(u"k", u"r", u"m");
    EXPECT_EQ(Log("testing"), "\xFF\xFE" + Utf16Le(u"2011-Oct-04 09:05:07:042\t(exception)\t"
                                                    u"UTF16StringLoadFromUTF16File\tStream read error\r\n"));
    EXPECT_EQ(Log("testing", "260115"), "\xFF\xFE" + Utf16Le(u"2026-Jan-15 17:00:03:007\t(k)\tr\tm\r\n"));
}

TEST_F(LogFileTest, MissingFolderDropsLinesSilently) {
    SetLogFolder(Folder16() + u"missing");
    WriteInfoLog(u"lost");
    WriteTestingLog(u"k", u"r", u"m");
    EXPECT_FALSE(FileExists(temp_.Path("missing")));
}

TEST(DateTimeText, FormatsDoNotDependOnTheLocale) {
    const char* previous = setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    setlocale(LC_ALL, "de_DE.UTF-8");
    const TLocalDateTime time{987, 12, 9, 8, 7, 6, 5};
    EXPECT_EQ(FormatStandardDateTime(time), u"0987-12-09 08:07:06");
    EXPECT_EQ(FormatTestingLogTime(time), u"0987-Dec-09 08:07:06:005");
    EXPECT_EQ(FormatDateYymmdd(time), u"871209");
    EXPECT_EQ(FormatDateYyyymmdd(time), u"09871209");
    EXPECT_EQ(FormatStandardDateTime({2000, 2, 29, 0, 0, 0, 1}), u"2000-02-29 00:00:00");
    EXPECT_EQ(FormatStandardDateTime({2000, 2, 29, 0, 0, 0, 0}), u"2000-02-29");
    setlocale(LC_ALL, saved.c_str());
}

TEST_F(LogFileTest, TwoWritingProcessesNeverTearOrDoubleALine) {
    SetLocalClockForTesting(nullptr);
    constexpr int kLines = 150;
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = fork();
        ASSERT_GE(writers[w], 0);
        if (writers[w] == 0) {
            const std::u16string padding(40, static_cast<char16_t>(u'a' + w));
            for (int i = 0; i < kLines; ++i) {
                const std::string number = std::to_string(i);
                WriteInfoLog(u"writer" + std::u16string(1, char16_t(u'0' + w)) + u" line " +
                             std::u16string(number.begin(), number.end()) + u" " + padding);
            }
            _exit(0);
        }
    }
    for (pid_t writer : writers) {
        int status = 0;
        ASSERT_EQ(waitpid(writer, &status, 0), writer);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::u16string name = LogFileName(u".info.log");
    const std::string bytes = ReadBytes(Utf16ToUtf8(name));
    ASSERT_GE(bytes.size(), 2u);
    ASSERT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    ASSERT_EQ(bytes.size() % 2, 0u);
    std::string text;
    for (size_t i = 2; i < bytes.size(); i += 2) {
        ASSERT_EQ(bytes[i + 1], '\0');
        text.push_back(bytes[i]);
    }
    const std::regex line(R"(\d{4}-\d\d-\d\d( \d\d:\d\d:\d\d)? (\d+)\twriter([01]) line (\d+) (a{40}|b{40}))");
    std::set<std::string> seen;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "unterminated line at " << start;
        const std::string entry = text.substr(start, end - start);
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(entry, parts, line)) << entry;
        EXPECT_EQ(parts[2].str(), std::to_string(writers[parts[3].str()[0] - '0']));
        EXPECT_TRUE(seen.insert(parts[3].str() + "/" + parts[4].str()).second) << "doubled: " << entry;
        start = end + 2;
    }
    // A busy file is retried three times; nearly every line arrives.
    EXPECT_GE(seen.size(), size_t(2 * kLines * 9 / 10));
}
