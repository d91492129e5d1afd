#include "base/Utf.h"

#include <gtest/gtest.h>

using namespace orvex;

TEST(Utf, SupplementaryCharactersUseFourBytesAndReadBackAsPairs) {
    const std::u16string smiley = u"a\U0001F600b";
    const std::string utf8 = Utf16ToUtf8(smiley);
    EXPECT_EQ(utf8, "a\xF0\x9F\x98\x80" "b");
    EXPECT_EQ(Utf8ToUtf16(utf8), smiley);
}

TEST(Utf, SurrogateHalvesWrittenSeparatelyStillRead) {
    // U+1F600 as two three-byte surrogate halves.
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\xBD\xED\xB8\x80"), u"\U0001F600");
}

TEST(Utf, LoneSurrogateRoundTrips) {
    const std::u16string lone = {u'x', char16_t(0xD800), u'y'};
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(lone)), lone);
}

TEST(Utf, MalformedBytesBecomeReplacementAndKeepTheRest) {
    EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");              // truncated
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");      // overlong
    EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD"); // > U+10FFFF
    EXPECT_EQ(Utf8ToUtf16("\xC3\xA9t\xC3\xA9"), u"\u00E9t\u00E9");
}

// Runs of ASCII before, between and after other characters, and the boundary
// between U+007F and U+0080, in both directions.
TEST(Utf, AsciiRunsAroundOtherCharacters) {
    struct TRow {
        std::u16string Utf16;
        std::string Utf8;
    };
    const TRow rows[] = {
        {u"", ""},
        {u"plain ASCII \x7F", "plain ASCII \x7F"},
        {u"\u0080", "\xC2\x80"},
        {u"\u00E9t\u00E9", "\xC3\xA9t\xC3\xA9"},
        {u"C:\\Sites\\Caf\u00E9\\\u20AC\U0001F600.htm", "C:\\Sites\\Caf\xC3\xA9\\\xE2\x82\xAC\xF0\x9F\x98\x80.htm"},
        {u"\U0001F600tail", "\xF0\x9F\x98\x80tail"},
        {std::u16string(1, u'\0') + u"x", std::string(1, '\0') + "x"},
    };
    for (const TRow& row : rows) {
        EXPECT_EQ(Utf16ToUtf8(row.Utf16), row.Utf8);
        EXPECT_EQ(Utf8ToUtf16(row.Utf8), row.Utf16);
    }
    EXPECT_EQ(Utf8ToUtf16("abc\xFF"), u"abc\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("abc\xE2\x82"), u"abc\uFFFD\uFFFD");
}

// The leading ASCII run is copied directly: a run of every length from 0 to 40
// (so it ends at every place of an eight-byte word), then each kind of sequence,
// in both directions and into buffers reused from the row before.
TEST(Utf, AsciiRunOfEveryLengthThenEachKindOfSequence) {
    struct TRow {
        std::u16string Utf16;  // for a malformed row: what its bytes read as
        std::string Utf8;
        bool WellFormed;
    };
    const TRow rows[] = {
        {u"", "", true}, {u"\u0080", "\xC2\x80", true}, {u"\u07FF", "\xDF\xBF", true},
        {u"\u0800", "\xE0\xA0\x80", true}, {u"\uFFFF", "\xEF\xBF\xBF", true},
        {u"\U00010000", "\xF0\x90\x80\x80", true}, {u"\U0010FFFF", "\xF4\x8F\xBF\xBF", true},
        {std::u16string(1, char16_t(0xD800)), "\xED\xA0\x80", true},  // lone halves
        {std::u16string(1, char16_t(0xDFFF)), "\xED\xBF\xBF", true},
        {u"\uFFFD", "\xFF", false}, {u"\uFFFD", "\x80", false}, {u"\uFFFD\uFFFD", "\xC0\xAF", false},
        {u"\uFFFD\uFFFD", "\xE2\x82", false},  // cut short by the ASCII after it
        {u"\uFFFD\uFFFD\uFFFD\uFFFD", "\xF4\x90\x80\x80", false},
    };
    std::string bytes;
    std::u16string units;
    for (size_t run = 0; run <= 40; ++run) {
        std::string ascii;
        for (size_t i = 0; i < run; ++i)
            ascii.push_back(static_cast<char>(0x20 + (i * 7) % 0x60));
        const std::u16string ascii16(ascii.begin(), ascii.end());
        for (const TRow& row : rows) {
            const std::string utf8 = ascii + row.Utf8 + "z";
            const std::u16string utf16 = ascii16 + row.Utf16 + u"z";
            const std::string where = std::to_string(run) + " " + utf8;
            EXPECT_EQ(Utf8ToUtf16(utf8), utf16) << where;
            Utf8ToUtf16(utf8, units);
            EXPECT_EQ(units, utf16) << where;
            EXPECT_EQ(FirstNonAscii(utf8), row.Utf8.empty() ? utf8.size() : run) << where;
            EXPECT_EQ(IsWellFormedUtf8(utf8), row.WellFormed) << where;
            if (!row.WellFormed)
                continue;
            EXPECT_EQ(Utf16ToUtf8(utf16), utf8) << where;
            Utf16ToUtf8(utf16, bytes);
            EXPECT_EQ(bytes, utf8) << where;
        }
    }
}
