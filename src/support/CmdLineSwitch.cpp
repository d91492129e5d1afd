#include "support/CmdLineSwitch.h"

#include "base/CommandLine.h"
#include "support/StringUtils.h"

#include <algorithm>
#include <string>

namespace orvex {

namespace {

bool IsSwitch(std::u16string parameter, std::u16string_view sw) {
    if (!parameter.empty() && parameter[0] == u'-')
        parameter[0] = u'/';
    return parameter.size() == sw.size() && (sw.empty() || PosCI(sw, parameter) == 1);
}

bool IsOneOfSwitches(const std::u16string& parameter, std::initializer_list<std::u16string_view> switches) {
    return std::any_of(switches.begin(), switches.end(), [&](auto sw) { return IsSwitch(parameter, sw); });
}

bool IsOneOf(const std::u16string& parameter, std::initializer_list<std::u16string_view> options) {
    return std::find(options.begin(), options.end(), parameter) != options.end();
}

// An option's value is the parameter after it, unless that is a switch or an
// option itself: "-f -m x" forgot the file, it does not name it "-m".
bool HasValue(int option, std::initializer_list<std::u16string_view> switches,
              std::initializer_list<std::u16string_view> options) {
    if (option >= ParamCount())
        return false;
    const std::u16string next = ParamStr(option + 1);
    return !IsOneOfSwitches(next, switches) && !IsOneOf(next, options);
}

} // namespace

bool HasCmdLineSwitch(std::u16string_view sw) {
    for (int i = 1; i <= ParamCount(); ++i)
        if (IsSwitch(ParamStr(i), sw))
            return true;
    return false;
}

std::vector<int> CmdLineOptionParameters(std::initializer_list<std::u16string_view> switches,
                                         std::initializer_list<std::u16string_view> options) {
    std::vector<int> found;
    for (int i = 1; i <= ParamCount(); ++i) {
        if (!IsOneOf(ParamStr(i), options))
            continue;
        found.push_back(i);
        if (HasValue(i, switches, options))
            found.push_back(++i);
    }
    return found;
}

std::vector<int> UnknownCmdLineParameters(std::initializer_list<std::u16string_view> switches,
                                          std::initializer_list<std::u16string_view> options) {
    const std::vector<int> known = CmdLineOptionParameters(switches, options);
    std::vector<int> unknown;
    for (int i = 1; i <= ParamCount(); ++i)
        if (!std::binary_search(known.begin(), known.end(), i) && !IsOneOfSwitches(ParamStr(i), switches))
            unknown.push_back(i);
    return unknown;
}

int CmdLineOptionWithoutValue(std::initializer_list<std::u16string_view> switches,
                              std::initializer_list<std::u16string_view> options) {
    for (int i = 1; i <= ParamCount(); ++i)
        if (IsOneOf(ParamStr(i), options) && !HasValue(i, switches, options))
            return i;
    return 0;
}

} // namespace orvex
