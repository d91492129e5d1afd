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

// A value is whatever follows an option unless it is a switch or an option
// itself: "-f -m x" forgot the file. Options and their values are the program's
// own; every other parameter that is no switch is named.
TEST(CmdLineSwitch, OptionsTheirValuesAndUnknownParameters) {
    const struct {
        std::vector<const char*> Arguments;
        std::vector<int> Options, Unknown;
        int WithoutValue;
    } cases[] = {
        {{"orvex"}, {}, {}, 0},
        {{"orvex", "-BACKUP", "-n", "-m", "x", "/Q", "-f"}, {2, 3, 4, 6}, {}, 2},
        {{"orvex", "/backup", "-n", "/nonsense", "-o"}, {2, 3}, {}, 0},
        {{"orvex", "/backup", "-N", "Nightly"}, {}, {2, 3}, 0},
        {{"orvex", "/backup", "-n", "a", "b", "c"}, {2, 3}, {4, 5}, 0},
        {{"orvex", "/backup", "", "-f", "x"}, {3, 4}, {2}, 0},
        {{"orvex", "x", "/backup"}, {}, {1}, 0},
        {{"orvex", "/backup", "/-n", "x"}, {}, {2, 3}, 0},
        {{"orvex", "/backup", "-f", "/Q", "-n", "N"}, {2, 4, 5}, {}, 2},
        {{"orvex", "/backup", "-f", "-backup"}, {2}, {}, 2},
        {{"orvex", "/backup", "-f", "/etc/b.xml", "-m", "/o"}, {2, 3, 4}, {}, 4},
        {{"orvex", "/backup", "-n", "-f", "/x"}, {2, 3, 4}, {}, 2},
        {{"orvex", "-n", "-style", "-f", "out.xml", "-style", "fusion"}, {1, 2, 3, 4}, {5, 6}, 0},
    };
    for (const auto& c : cases) {
        UseCommandLine(c.Arguments);
        SCOPED_TRACE(c.Arguments.size());
        EXPECT_EQ(CmdLineOptionParameters({u"/backup", u"/q", u"/o"}, {u"-n", u"-m", u"-f"}), c.Options);
        EXPECT_EQ(UnknownCmdLineParameters({u"/backup", u"/q", u"/o"}, {u"-n", u"-m", u"-f"}), c.Unknown);
        EXPECT_EQ(CmdLineOptionWithoutValue({u"/backup", u"/q", u"/o"}, {u"-n", u"-m", u"-f"}), c.WithoutValue);
    }
}
