#include "base/LineText.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

// Shown on one line, a value can neither break it, forge the next one, reorder
// what the line shows nor send a terminal sequence; quoted, it ends where its
// quote does.
TEST(LineText, ValuesFromOutsideStayOnTheirLine) {
    const struct {
        std::u16string_view Text, OneLine, Quoted;
    } rows[] = {
        {u"C:\\x y", u"C:\\x y", u"\"C:\\\\x y\""},
        {u"a\nb\r\tc\x1B[2J\x7F\u009B\u00E4", u"a\\nb\\r\\tc\\x1B[2J\\x7F\\x9B\u00E4",
         u"\"a\\nb\\r\\tc\\x1B[2J\\x7F\\x9B\u00E4\""},
        {u"x\nFAKE: backup OK", u"x\\nFAKE: backup OK", u"\"x\\nFAKE: backup OK\""},
        {u"\u200E\u200F\u202A\u202E\u2066\u2069\u2028\u2029\u202F\u2070", u"\\u200E\\u200F\\u202A\\u202E\\u2066\\u2069\\u2028\\u2029\u202F\u2070",
         u"\"\\u200E\\u200F\\u202A\\u202E\\u2066\\u2069\\u2028\\u2029\u202F\u2070\""},
        {u"say \"hi\"", u"say \"hi\"", u"\"say \\\"hi\\\"\""},
        {std::u16string_view(u"\0\x1F\x20", 3), u"\\x00\\x1F ", u"\"\\x00\\x1F \""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(OneLineText(row.Text), row.OneLine);
        EXPECT_EQ(QuotedValue(row.Text), row.Quoted);
    }
}

TEST(LineText, BytesThatAreNoUtf8ShowAsTheyAre) {
    EXPECT_EQ(QuotedValueOfBytes("caf\xE9.xml"), u"\"caf\\xE9.xml\"");
    EXPECT_EQ(QuotedValueOfBytes("caf\xC3\xA9\n\xF0\x9F\x98\x80\xC3"), u"\"caf\u00E9\\n\U0001F600\\xC3\"");
    EXPECT_EQ(QuotedValueOfBytes("\xE2\x80\xAE\\"), u"\"\\u202E\\\\\"");
}

} // namespace
} // namespace orvex
