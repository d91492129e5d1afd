#include "platform/base/Utf.h"

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
