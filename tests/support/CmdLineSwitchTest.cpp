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
// switch; an option without a value is known too.
TEST(CmdLineSwitch, UnknownParameterIsTheFirstNeitherSwitchNorOptionNorValue) {
    const struct {
        std::vector<const char*> Arguments;
        int Unknown;
    } cases[] = {
        {{"orvex"}, 0},
        {{"orvex", "-BACKUP", "-n", "-m", "x", "/Q", "-f"}, 0},
        {{"orvex", "/backup", "-n", "/nonsense", "-o"}, 0},
        {{"orvex", "/backup", "-N", "Nightly"}, 2},
        {{"orvex", "/backup", "-n", "a", "b", "c"}, 4},
        {{"orvex", "/backup", "", "-f", "x"}, 2},
        {{"orvex", "x", "/backup"}, 1},
        {{"orvex", "/backup", "/-n", "x"}, 2},
    };
    for (const auto& c : cases) {
        UseCommandLine(c.Arguments);
        EXPECT_EQ(UnknownCmdLineParameter({u"/backup", u"/q", u"/o"}, {u"-n", u"-m", u"-f"}), c.Unknown)
            << c.Arguments.size() << " parameters, unknown at " << c.Unknown;
    }
}
