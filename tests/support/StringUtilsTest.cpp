#include "support/StringUtils.h"

#include <gtest/gtest.h>

using namespace orvex;

TEST(StringUtils, PosCIFromFindsOneBasedPositionsFoldingOnlyAsciiLetters) {
    struct TCase {
        std::u16string_view sub, s;
        int from, expected;
    };
    const TCase cases[] = {
        {u"abc", u"xABC", 1, 2},
        {u"\u00E4b", u"\u00C4B", 1, 0}, // accented letters do not fold
        {u"\u00E4B", u"x\u00E4b", 1, 2},
        {u"a", u"aXa", 1, 1},
        {u"a", u"aXa", 2, 3},
        {u"a", u"aXa", 3, 3},
        {u"a", u"aXa", 4, 0}, // from beyond the text
        {u"a", u"aXa", 0, 0}, // from below 1
        {u"", u"abc", 1, 0},
        {u"abc", u"", 1, 0},
        {u"abcd", u"abc", 1, 0},
        {u"C", u"abc", 3, 3},
        {u"[", u"{[", 1, 2}, // no folding outside a-z: '[' is not '{'
        {u"@", u"`@", 1, 2},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.s.begin(), c.s.end()) + " from " + std::to_string(c.from));
        EXPECT_EQ(PosCIFrom(c.sub, c.s, c.from), c.expected);
    }
    EXPECT_EQ(PosCI(u"B", u"abcb"), 2);
}

TEST(StringUtils, HalvesOfANameValueLine) {
    EXPECT_EQ(LeftOfEqual(u"name=value=x"), u"name");
    EXPECT_EQ(RightOfEqual(u"name=value=x"), u"value=x");
    EXPECT_EQ(LeftOfEqual(u"=x"), u"");
    EXPECT_EQ(RightOfEqual(u"=x"), u"x");
    EXPECT_EQ(LeftOfEqual(u"abc"), u"abc");
    EXPECT_EQ(RightOfEqual(u"abc"), u"abc");
    EXPECT_EQ(RightOfEqual(u"abc="), u"");
}

TEST(StringUtils, SplitAtPosBoundaries) {
    struct TCase {
        int pos, len;
        const char16_t *left, *right;
        bool result;
    };
    const TCase cases[] = {
        {3, 1, u"ab", u"de", true},     {1, 1, u"", u"bcde", true},    {5, 1, u"abcd", u"", true},
        {9, 1, u"abcde", u"", true},    {3, 0, u"ab", u"cde", true},   {0, 1, u"abcde", u"", false},
        {-4, 1, u"abcde", u"", false},  {2147483647, 1, u"abcde", u"", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.pos);
        std::u16string left = u"junk", right = u"junk";
        EXPECT_EQ(SplitAtPos(u"abcde", c.pos, c.len, left, right), c.result);
        EXPECT_EQ(left, c.left);
        EXPECT_EQ(right, c.right);
    }
}

TEST(StringUtils, SplitStringFamily) {
    std::u16string a, b, c, d;
    EXPECT_TRUE(SplitString(u"a=b=c", u"=", a, b));
    EXPECT_EQ(a, u"a");
    EXPECT_EQ(b, u"b=c");
    EXPECT_FALSE(SplitString(u"abc", u"=", a, b));
    EXPECT_EQ(a, u"abc");
    EXPECT_EQ(b, u"");
    EXPECT_TRUE(SplitString(u"OneANDtwo", u"and", a, b));
    EXPECT_EQ(a, u"One");
    EXPECT_EQ(b, u"two");

    EXPECT_TRUE(SplitString3(u"x::y::z::w", u"::", a, b, c));
    EXPECT_EQ(a + u"|" + b + u"|" + c, u"x|y|z::w");
    EXPECT_FALSE(SplitString3(u"x::y", u"::", a, b, c));
    EXPECT_EQ(a + u"|" + b + u"|" + c, u"x|y|");

    EXPECT_TRUE(SplitString4(u"192.168.0.10", u".", a, b, c, d));
    EXPECT_EQ(a + u"|" + b + u"|" + c + u"|" + d, u"192|168|0|10");
    EXPECT_FALSE(SplitString4(u"10.0.1", u".", a, b, c, d));
    EXPECT_EQ(a + u"|" + b + u"|" + c + u"|" + d, u"10|0|1|");
    EXPECT_TRUE(SplitString4(u"1.2.3.4.5", u".", a, b, c, d));
    EXPECT_EQ(d, u"4.5");
}

TEST(StringUtils, StringReplaceAllCINeverRescansReplacedText) {
    struct TCase {
        std::u16string_view source, find, replace, expected;
    };
    const TCase cases[] = {
        {u"aXa", u"x", u"xx", u"axxa"},
        {u"line\u25A3next\u25A3", u"\u25A3", u"\r\n", u"line\r\nnext\r\n"},
        {u"%S and %s", u"%s", u"v", u"v and v"},
        {u"aaaa", u"aa", u"b", u"bb"},
        {u"abc", u"", u"z", u"abc"},
        {u"", u"a", u"z", u""},
        {u"abc", u"abc", u"", u""},
        {u"\u00C4x\u00E4", u"\u00E4", u"a", u"\u00C4xa"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.source.begin(), c.source.end()));
        EXPECT_EQ(StringReplaceAllCI(c.source, c.find, c.replace), c.expected);
    }
}

TEST(StringUtils, ByteOrderMarksOnRawText) {
    EXPECT_TRUE(StartsWithUtf8Bom("\xEF\xBB\xBF"));
    EXPECT_FALSE(StartsWithUtf8Bom("\xEF\xBB"));
    EXPECT_TRUE(StartsWithUtf16LeBom("\xFF\xFE"));
    EXPECT_FALSE(StartsWithUtf16LeBom("\xFE\xFF"));
    EXPECT_FALSE(StartsWithUtf16LeBom("\xFF"));
    std::string text = "\xEF\xBB\xBF" "abc";
    EXPECT_TRUE(StripUtf8Bom(text));
    EXPECT_EQ(text, "abc");
    EXPECT_FALSE(StripUtf8Bom(text));
    EXPECT_EQ(text, "abc");
}
