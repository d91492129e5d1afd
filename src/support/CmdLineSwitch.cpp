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

} // namespace

bool HasCmdLineSwitch(std::u16string_view sw) {
    for (int i = 1; i <= ParamCount(); ++i)
        if (IsSwitch(ParamStr(i), sw))
            return true;
    return false;
}

std::vector<int> UnknownCmdLineParameters(std::initializer_list<std::u16string_view> switches,
                                          std::initializer_list<std::u16string_view> options) {
    std::vector<int> unknown;
    for (int i = 1; i <= ParamCount(); ++i) {
        const std::u16string parameter = ParamStr(i);
        if (IsOneOf(parameter, options) || (i > 1 && IsOneOf(ParamStr(i - 1), options)))
            continue;
        if (!IsOneOfSwitches(parameter, switches))
            unknown.push_back(i);
    }
    return unknown;
}

int CmdLineOptionWithoutValue(std::initializer_list<std::u16string_view> switches,
                              std::initializer_list<std::u16string_view> options) {
    for (int i = 1; i <= ParamCount(); ++i)
        if (IsOneOf(ParamStr(i), options) && (i == ParamCount() || IsOneOfSwitches(ParamStr(i + 1), switches)))
            return i;
    return 0;
}

std::u16string QuotedCmdLineParameter(std::u16string_view parameter) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string quoted = u"\"";
    for (const char16_t c : parameter) {
        if (c == u'\n')
            quoted += u"\\n";
        else if (c == u'\r')
            quoted += u"\\r";
        else if (c == u'\t')
            quoted += u"\\t";
        else if (c < 0x20 || (c >= 0x7F && c <= 0x9F))  // C0, DEL and C1 (0x9B starts a sequence too)
            quoted += {u'\\', u'x', kDigits[c >> 4], kDigits[c & 0xF]};
        else
            quoted += c;
    }
    return quoted + u"\"";
}

} // namespace orvex
