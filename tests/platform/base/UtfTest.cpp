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
