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

TEST(EngineTextTest, Numbers) {
    EXPECT_EQ(IntToText(-2147221020), u"-2147221020");
    EXPECT_EQ(IntToText(0), u"0");
    EXPECT_EQ(HexToText(1008), u"3f0");
    EXPECT_EQ(HexToText(0x800401E4u), u"800401e4");
}

TEST(EngineTextTest, FormatFillsPlaceholdersInOrder) {
    EXPECT_EQ(FormatText(u"Path=%s; errornum=%d; errortext=%s", {u"\\", u"-1", u"bad"}),
              u"Path=\\; errornum=-1; errortext=bad");
    EXPECT_EQ(FormatText(u"100%% of %s", {u"%s"}), u"100% of %s");
    EXPECT_EQ(FormatText(u"%s and %s", {u"one"}), u"one and %s");
    EXPECT_EQ(FormatText(u"trailing %", {}), u"trailing %");
    EXPECT_EQ(FormatText(u"%x stays", {u"a"}), u"%x stays");
}

} // namespace
} // namespace orvex
