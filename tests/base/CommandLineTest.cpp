#include "base/CommandLine.h"

#include <gtest/gtest.h>

using namespace orvex;

TEST(CommandLine, CapturesUtf8ArgumentsAsUtf16) {
    const char* argv[] = {"/opt/orvex/orvex", "-n", "Sicherung-\xC3\xBC", "/q"};
    SetCommandLine(4, argv);
    EXPECT_EQ(ParamCount(), 3);
    EXPECT_EQ(ParamStr(0), u"/opt/orvex/orvex");
    EXPECT_EQ(ParamStr(2), u"Sicherung-\u00FC");
    EXPECT_EQ(ParamStr(3), u"/q");
    EXPECT_EQ(ParamStr(4), u"");
    EXPECT_EQ(ParamStr(-1), u"");
}

TEST(CommandLine, EmptyCommandLineHasNoParameters) {
    SetCommandLine(0, nullptr);
    EXPECT_EQ(ParamCount(), 0);
    EXPECT_EQ(ParamStr(0), u"");
    const char* argv[] = {"orvex"};
    SetCommandLine(1, argv);
    EXPECT_EQ(ParamCount(), 0);
    EXPECT_EQ(ParamStr(0), u"orvex");
}
