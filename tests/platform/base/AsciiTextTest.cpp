#include "platform/base/AsciiText.h"

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

} // namespace
} // namespace orvex
