#include "support/CmdLineSwitch.h"

#include "base/CommandLine.h"
#include "support/StringUtils.h"

namespace orvex {

bool HasCmdLineSwitch(std::u16string_view sw) {
    for (int i = 1; i <= ParamCount(); ++i) {
        std::u16string parameter = ParamStr(i);
        if (!parameter.empty() && parameter[0] == u'-')
            parameter[0] = u'/';
        if (parameter.size() == sw.size() && (sw.empty() || PosCI(sw, parameter) == 1))
            return true;
    }
    return false;
}

} // namespace orvex
