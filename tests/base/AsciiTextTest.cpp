#include "base/AsciiText.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

TEST(AsciiTextTest, AsciiCaseRules) {
    EXPECT_TRUE(SameAsciiText(u"IIsWebServer", u"iiswebserver"));
    EXPECT_FALSE(SameAsciiText(u"IIsWebServer", u"IIsWebServe"));
    EXPECT_FALSE(SameAsciiText(u"\u00e9", u"\u00c9")); // only ASCII letters fold
    EXPECT_EQ(AsciiUpperCase(u"list \u00e9z"), u"LIST \u00e9Z");
    EXPECT_EQ(AsciiLowerCase(u"MaxConnections"), u"maxconnections");
}

TEST(AsciiTextTest, OnlyTheLettersFold) {
    EXPECT_TRUE(SameAsciiText(u"PelluxTools", u"pELLUXtOOLS"));
    EXPECT_FALSE(SameAsciiText(u"ab", u"abc"));
    EXPECT_FALSE(SameAsciiText(u"a_", u"A\x7F"));
    EXPECT_FALSE(SameAsciiText(u"\u00c4", u"\u00e4"));
    // The neighbours of A-Z and a-z stay as they are.
    EXPECT_EQ(AsciiUpperCase(u"@[`{azAZ"), u"@[`{AZAZ");
    EXPECT_EQ(AsciiLowerCase(u"@[`{azAZ"), u"@[`{azaz");
    static_assert(AsciiLower(U'Q') == U'q' && AsciiUpper('q') == 'Q' &&
                  AsciiLower(u'\u00c4') == u'\u00c4');
}

// Exact equality is tried before the case rule: neither may stand in for the other,
// and empty views without memory compare too.
TEST(AsciiTextTest, ExactComparisonAndTheCaseRuleAgree) {
    EXPECT_TRUE(EqualText({}, u""));
    EXPECT_TRUE(SameAsciiText({}, u""));
    EXPECT_FALSE(EqualText(u"\u0141", u"A"));  // the same low byte
    EXPECT_FALSE(EqualText(u"abc", u"abd"));
    EXPECT_TRUE(EqualText(u"ab", std::u16string_view(u"abc", 2)));  // the view's own units only
    EXPECT_TRUE(SameAsciiText(std::u16string_view(u"AppPoolId"), u"APPPOOLID"));
    EXPECT_FALSE(SameAsciiText(u"\u0161", u"a"));
    // A literal counts up to its end, not to a zero inside the other text.
    EXPECT_FALSE(SameAsciiText(std::u16string_view(u"ab\0", 3), u"AB"));
    EXPECT_TRUE(SameAsciiText(std::u16string_view(u"ab\0", 3), u"AB\0"));
}

} // namespace
} // namespace orvex
