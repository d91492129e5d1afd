#include "support/TextFile.h"

#include "TestFiles.h"
#include "base/LocalClock.h"
#include "support/LogFile.h"
#include "support/SharedFileStream.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>

using namespace orvex;
using namespace orvex::testing;

namespace {

class TextFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLocalClockForTesting([] { return TLocalDateTime{2011, 10, 4, 9, 5, 7, 42}; });
        SetLogFolder(Utf16Path(temp_.Folder()));
    }
    void TearDown() override {
        SetLocalClockForTesting(nullptr);
        SetLogFolder(u"");
    }
    static std::u16string Utf16Path(const std::string& path) { return std::u16string(path.begin(), path.end()); }
    std::string TestingLog() const { return ReadBytes(temp_.Path("orvex_support_tests.testing.111004.log")); }

    TTempFolder temp_;
};

// Runs body in a child process and returns its exit status; the child never returns
// into the test runner.
template <class TBody>
int InChild(TBody body) {
    const pid_t child = fork();
    if (child == 0) {
        int status = 99;
        try {
            status = body();
        } catch (...) {
        }
        _exit(status);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

} // namespace

TEST_F(TextFileTest, AppendingStartsANewFileWithTheMarkOnly) {
    const std::string path = temp_.Path("a.txt");
    AppendTextToFile(temp_.Path16("a.txt"), u"h\u00E9");
    EXPECT_EQ(ReadBytes(path), std::string("\xFF\xFE" "h\0\xE9\0", 6));
    AppendLine(temp_.Path16("a.txt"), u"\u20AC");
    EXPECT_EQ(ReadBytes(path), std::string("\xFF\xFE" "h\0\xE9\0\xAC\x20\r\0\n\0", 12));

    AppendTextToFile(temp_.Path16("empty.txt"), u"");
    EXPECT_EQ(ReadBytes(temp_.Path("empty.txt")), "\xFF\xFE");
}

TEST_F(TextFileTest, AppendingNeverReplacesAnExistingFile) {
    // A file another writer created: its bytes stay, and no mark lands in the middle.
    WriteBytes(temp_.Path("other.txt"), "ab");
    AppendTextToFile(temp_.Path16("other.txt"), u"c");
    EXPECT_EQ(ReadBytes(temp_.Path("other.txt")), std::string("abc\0", 4));
    // An empty file gets its mark.
    WriteBytes(temp_.Path("zero.txt"), "");
    AppendTextToFile(temp_.Path16("zero.txt"), u"c");
    EXPECT_EQ(ReadBytes(temp_.Path("zero.txt")), std::string("\xFF\xFE" "c\0", 4));
}

TEST_F(TextFileTest, AppendingToABusyFileRaisesAndLeavesIt) {
    WriteBytes(temp_.Path("busy.txt"), "\xFF\xFE");
    TtpSharedFileStream holder(temp_.Path16("busy.txt"), fmOpenWrite | fmShareDenyWrite);
    EXPECT_THROW(AppendTextToFile(temp_.Path16("busy.txt"), u"x"), EFOpenError);
    AppendTimestampedLine(temp_.Path16("busy.txt"), u"dropped"); // three attempts, no exception
    EXPECT_EQ(ReadBytes(temp_.Path("busy.txt")), "\xFF\xFE");
    EXPECT_THROW(AppendTextToFile(temp_.Path16("no/such/folder.txt"), u"x"), EFCreateError);
}

TEST_F(TextFileTest, ShortWriteIsCutBackSoNoTornLineRemains) {
    const std::string path = temp_.Path("limit.txt");
    WriteBytes(path, std::string("\xFF\xFE" "a\0", 4));
    const int status = InChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{7, 7}; // room for one and a half characters more
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 1;
        try {
            AppendTextToFile(temp_.Path16("limit.txt"), u"bcdef");
            return 2;
        } catch (const EWriteError&) {
        }
        AppendTimestampedLine(temp_.Path16("limit.txt"), u"never torn"); // dropped after three attempts
        try {
            AppendLine(temp_.Path16("limit.txt"), u""); // CR LF is 4 bytes: 8 > 7
            return 3;
        } catch (const EWriteError&) {
        }
        return 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadBytes(path), std::string("\xFF\xFE" "a\0", 4));
}

TEST_F(TextFileTest, TimestampedLineCarriesTheLocalTime) {
    AppendTimestampedLine(temp_.Path16("t.log"), u"first");
    SetLocalClockForTesting([] { return TLocalDateTime{2011, 10, 5, 0, 0, 0, 0}; });
    AppendTimestampedLine(temp_.Path16("t.log"), u"midnight");
    EXPECT_EQ(ReadBytes(temp_.Path("t.log")),
              "\xFF\xFE" + Utf16Le(u"2011-10-04 09:05:07 first\r\n2011-10-05 midnight\r\n"));
}

TEST_F(TextFileTest, LoadersDecodeByMark) {
    struct TCase {
        const char* name;
        std::string bytes;
        std::u16string text;
        std::string utf8;
    };
    const TCase cases[] = {
        {"utf-8 with mark", "\xEF\xBB\xBF" "abc", u"abc", "abc"},
        {"utf-8 mark only", "\xEF\xBB\xBF", u"", ""},
        {"no mark is code page 1252", "\xE9\x80", u"\u00E9\u20AC", "\xC3\xA9\xE2\x82\xAC"},
        {"utf-16 mark only", "\xFF\xFE", u"", ""},
        {"utf-16 text", "\xFF\xFE" + Utf16Le(u"Gr\u00FC\u00DFe"), u"Gr\u00FC\u00DF" u"e",
         "Gr\xC3\xBC\xC3\x9F" "e"},
        {"utf-16 odd byte count", std::string("\xFF\xFE" "a\0b", 5), u"a", "a"},
        {"utf-16 mark and one byte", "\xFF\xFE" "b", u"", ""},
        {"empty file", "", u"", ""},
        {"half a utf-8 mark", "\xEF\xBB", u"\u00EF\u00BB", "\xC3\xAF\xC2\xBB"},
        {"big-endian mark is not a mark", "\xFE\xFF", u"\u00FE\u00FF", "\xC3\xBE\xC3\xBF"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(temp_.Path("in.txt"), c.bytes);
        EXPECT_EQ(LoadTextFileDetectEncoding(temp_.Path16("in.txt")), c.text);
        EXPECT_EQ(LoadUtf8TextFile(temp_.Path16("in.txt")), c.utf8);
    }
}

TEST_F(TextFileTest, LoaderFailures) {
    EXPECT_EQ(LoadUtf8TextFile(temp_.Path16("missing.txt")), "");
    try {
        LoadTextFileDetectEncoding(temp_.Path16("missing.txt"));
        ADD_FAILURE() << "no exception";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + temp_.Path("missing.txt") + "\". The system cannot find the file specified.");
    }
    // A file held by a writer cannot be opened deny-write: the loaders raise.
    WriteBytes(temp_.Path("held.txt"), "\xFF\xFE" + Utf16Le(u"x"));
    TtpSharedFileStream writer(temp_.Path16("held.txt"), fmOpenWrite | fmShareDenyWrite);
    EXPECT_THROW(LoadTextFileDetectEncoding(temp_.Path16("held.txt")), EFOpenError);
    EXPECT_THROW(LoadUtf8TextFile(temp_.Path16("held.txt")), EFOpenError);
    // The deny-none loader still reads it.
    EXPECT_EQ(UTF16StringLoadFromUTF16File(temp_.Path16("held.txt")), u"x");
    EXPECT_EQ(TestingLog(), "");
}

TEST_F(TextFileTest, Utf16LoaderSkipsTwoBytesAndSwallowsFailures) {
    WriteBytes(temp_.Path("nomark.txt"), "ab" + Utf16Le(u"cd"));
    EXPECT_EQ(UTF16StringLoadFromUTF16File(temp_.Path16("nomark.txt")), u"cd");
    EXPECT_EQ(UTF16StringLoadFromUTF16File(temp_.Path16("missing.txt")), u"");
    EXPECT_EQ(TestingLog(), "");

    WriteBytes(temp_.Path("one.txt"), "x");
    EXPECT_EQ(UTF16StringLoadFromUTF16File(temp_.Path16("one.txt")), u"");
    EXPECT_EQ(TestingLog(),
              "\xFF\xFE" + Utf16Le(u"2011-Oct-04 09:05:07:042\t(exception)\tUTF16StringLoadFromUTF16File\t"
                                   u"Stream read error\r\n"));
}

TEST_F(TextFileTest, DatedFileNames) {
    struct TCase {
        std::u16string_view name, dated;
    };
    const TCase cases[] = {
        {u"/logs/app.info.log", u"/logs/app.info.111004.log"},
        {u"/logs/noext", u"/logs/noext.111004"},
        {u"/lo.gs/noext", u"/lo.gs/noext.111004"},
        {u"name.", u"name.111004."},
        {u"C:\\Logs\\app.info.log", u"C:\\Logs\\app.info.111004.log"},
        {u"", u".111004"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(DatedFileName(c.name), c.dated);
    SetLocalClockForTesting([] { return TLocalDateTime{2009, 1, 5, 23, 59, 59, 999}; });
    EXPECT_EQ(DatedFileName(u"/a/b.log"), u"/a/b.090105.log");
}

TEST(TextFile, AnsiToUnicodeIsOneUnitPerByte) {
    EXPECT_EQ(AnsiToUnicodeCP("\x80\x81\xFF" "A", 1252), u"\u20AC\u0081\u00FF" u"A");
}
