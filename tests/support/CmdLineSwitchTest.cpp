#include "support/CmdLineSwitch.h"

#include "base/CommandLine.h"

#include <gtest/gtest.h>

#include <vector>

using namespace orvex;

namespace {

void UseCommandLine(std::vector<const char*> arguments) {
    SetCommandLine(static_cast<int>(arguments.size()), arguments.data());
}

} // namespace

TEST(CmdLineSwitch, MatchesWholeParametersIgnoringAsciiCase) {
    UseCommandLine({"/opt/orvex/-q", "-Backup", "-n", "/o", "/Q", "-mx", "backup"});
    struct TCase {
        std::u16string_view sw;
        bool present;
    };
    const TCase cases[] = {
        {u"/backup", true},  // "-Backup": dash becomes slash, case ignored
        {u"/BACKUP", true},
        {u"/q", true},
        {u"/o", true},
        {u"/n", true},       // an option name reads like a switch too
        {u"/m", false},      // "-mx" has more characters
        {u"backup", true},   // a bare parameter matches a bare name
        {u"/x", false},
        {u"-q", false},      // the parameter's dash became a slash
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.sw.begin(), c.sw.end()));
        EXPECT_EQ(HasCmdLineSwitch(c.sw), c.present);
    }
}

TEST(CmdLineSwitch, ProgramPathIsNotAParameter) {
    UseCommandLine({"-q"});
    EXPECT_FALSE(HasCmdLineSwitch(u"/q"));
    UseCommandLine({});
    EXPECT_FALSE(HasCmdLineSwitch(u"/q"));
    UseCommandLine({"orvex", "-Q"});
    EXPECT_TRUE(HasCmdLineSwitch(u"/q"));
}

TEST(CmdLineSwitch, NonAsciiLettersMustMatchExactly) {
    UseCommandLine({"orvex", "/\xC3\x84nderung"});
    EXPECT_TRUE(HasCmdLineSwitch(u"/\u00C4NDERUNG"));
    EXPECT_FALSE(HasCmdLineSwitch(u"/\u00E4nderung"));
}

// A value is whatever follows an option, even one that reads like an option or a
// switch; every parameter that is none of these is named. An option is without
// its value when it is the last parameter or a switch follows it.
TEST(CmdLineSwitch, UnknownParametersAndOptionsWithoutValue) {
    const struct {
        std::vector<const char*> Arguments;
        std::vector<int> Unknown;
        int WithoutValue;
    } cases[] = {
        {{"orvex"}, {}, 0},
        {{"orvex", "-BACKUP", "-n", "-m", "x", "/Q", "-f"}, {}, 6},
        {{"orvex", "/backup", "-n", "/nonsense", "-o"}, {}, 0},
        {{"orvex", "/backup", "-N", "Nightly"}, {2, 3}, 0},
        {{"orvex", "/backup", "-n", "a", "b", "c"}, {4, 5}, 0},
        {{"orvex", "/backup", "", "-f", "x"}, {2}, 0},
        {{"orvex", "x", "/backup"}, {1}, 0},
        {{"orvex", "/backup", "/-n", "x"}, {2, 3}, 0},
        {{"orvex", "/backup", "-f", "/Q", "-n", "N"}, {}, 2},
        {{"orvex", "/backup", "-f", "-backup"}, {}, 2},
        {{"orvex", "/backup", "-f", "/etc/b.xml", "-m", "/o"}, {}, 4},
        {{"orvex", "/backup", "-n", "-f", "/x"}, {}, 0},
    };
    for (const auto& c : cases) {
        UseCommandLine(c.Arguments);
        SCOPED_TRACE(c.Arguments.size());
        EXPECT_EQ(UnknownCmdLineParameters({u"/backup", u"/q", u"/o"}, {u"-n", u"-m", u"-f"}), c.Unknown);
        EXPECT_EQ(CmdLineOptionWithoutValue({u"/backup", u"/q", u"/o"}, {u"-n", u"-m", u"-f"}), c.WithoutValue);
    }
}

// Shown on one line, a parameter can neither break it nor send a terminal
// sequence.
TEST(CmdLineSwitch, QuotedParameterEscapesControlCharacters) {
    EXPECT_EQ(QuotedCmdLineParameter(u"C:\\x y"), u"\"C:\\x y\"");
    EXPECT_EQ(QuotedCmdLineParameter(u"a\nb\r\tc\x1B[2J\x7F\u009B\u00E4"), u"\"a\\nb\\r\\tc\\x1B[2J\\x7F\\x9B\u00E4\"");
}
