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

} // namespace

bool HasCmdLineSwitch(std::u16string_view sw) {
    for (int i = 1; i <= ParamCount(); ++i)
        if (IsSwitch(ParamStr(i), sw))
            return true;
    return false;
}

int UnknownCmdLineParameter(std::initializer_list<std::u16string_view> switches,
                            std::initializer_list<std::u16string_view> options) {
    const auto isOption = [&](const std::u16string& parameter) {
        return std::find(options.begin(), options.end(), parameter) != options.end();
    };
    for (int i = 1; i <= ParamCount(); ++i) {
        const std::u16string parameter = ParamStr(i);
        if (isOption(parameter) || (i > 1 && isOption(ParamStr(i - 1))))
            continue;
        if (std::none_of(switches.begin(), switches.end(), [&](auto sw) { return IsSwitch(parameter, sw); }))
            return i;
    }
    return 0;
}

} // namespace orvex
