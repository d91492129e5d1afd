#include "support/Shell.h"

#include "base/DesktopLauncher.h"
#include "support/StringUtils.h"

namespace orvex {

TShellOpenHook ShellOpenHook;

bool ShellExecuteVerb(std::u16string_view verb, std::u16string_view fileName) {
    if (verb.size() != 4 || PosCI(u"open", verb) != 1 || fileName.empty())
        return false;
    return ShellOpenHook ? ShellOpenHook(fileName) : LaunchDesktopHandler(fileName);
}

bool ShellOpen(std::u16string_view fileName) { return ShellExecuteVerb(u"open", fileName); }

} // namespace orvex
