#include "engine/EngineText.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

TEST(EngineTextTest, AsciiCaseRules) {
    EXPECT_TRUE(SameAsciiText(u"IIsWebServer", u"iiswebserver"));
    EXPECT_FALSE(SameAsciiText(u"IIsWebServer", u"IIsWebServe"));
    EXPECT_FALSE(SameAsciiText(u"\u00e9", u"\u00c9"));  // only ASCII letters fold
    EXPECT_EQ(AsciiUpperCase(u"list \u00e9z"), u"LIST \u00e9Z");
    EXPECT_EQ(AsciiLowerCase(u"MaxConnections"), u"maxconnections");
}

TEST(EngineTextTest, Hexadecimal) {
    EXPECT_EQ(HexToText(1008), u"3f0");
    EXPECT_EQ(HexToText(0x800401E4u), u"800401e4");
    EXPECT_EQ(HexToText(0), u"0");
}

TEST(EngineTextTest, CaseFoldedKeys) {
    EXPECT_EQ(CaseFoldedKey(u"ServerBindings"), CaseFoldedKey(u"SERVERBINDINGS"));
    EXPECT_EQ(CaseFoldedKey(u"\u00c9tat"), CaseFoldedKey(u"\u00e9TAT"));
    EXPECT_NE(CaseFoldedKey(u"a"), CaseFoldedKey(u"b"));
    EXPECT_EQ(CaseFoldedKey(u"\U00010400"), CaseFoldedKey(u"\U00010428"));  // Deseret, beyond the BMP
    EXPECT_EQ(CaseFoldedKey(std::u16string(1, u'\xD800')), std::u16string(1, u'\xD800'));
}

} // namespace
} // namespace orvex
