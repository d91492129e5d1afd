#include "wizard/HandlerGuard.h"

#include "base/ExceptionText.h"
#include "engine/ProgressLog.h"
#include "support/CmdLineSwitch.h"
#include "support/Dialogs.h"

#include <string>

namespace orvex {

bool IsUnattendedRun() { return HasCmdLineSwitch(u"/backup") && HasCmdLineSwitch(u"/q"); }

bool RunHandler(const std::function<void()>& handler) {
    std::u16string failure;
    try {
        handler();
        return true;
    } catch (const std::exception& error) {
        failure = ExceptionMessage(error);
    } catch (...) {
        failure = u"An unexpected error occurred.";
    }
    try {
        if (IsUnattendedRun())
            LogBackupException(failure, clLogRed);
        else
            ShowError(failure);
    } catch (...) {
        // The message cannot be shown either; the window stays usable.
    }
    return false;
}

} // namespace orvex
