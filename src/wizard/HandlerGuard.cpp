#include "wizard/HandlerGuard.h"

#include "base/ExceptionText.h"
#include "base/LineText.h"
#include "base/Utf.h"
#include "engine/ProgressLog.h"
#include "support/CmdLineSwitch.h"
#include "support/Dialogs.h"
#include "support/LogFile.h"

#include <cstdio>
#include <string>

namespace orvex {

bool IsUnattendedRun() { return HasCmdLineSwitch(u"/backup") && HasCmdLineSwitch(u"/q"); }

void PrintErrorLine(std::u16string_view text) {
    const std::string line = Utf16ToUtf8(OneLineText(text)) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void ReportInInfoLog(std::u16string_view text) {
    WriteInfoLog(OneLineText(text));
    if (IsUnattendedRun())
        PrintErrorLine(text);
}

void ReportInInfoLogAndOnStandardError(std::u16string_view text) {
    WriteInfoLog(OneLineText(text));
    PrintErrorLine(text);
}

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
