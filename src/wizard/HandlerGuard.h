#pragma once
// Event handlers of the wizard's windows run inside the Qt event loop, which no
// exception may cross.

#include <functional>
#include <string_view>

namespace orvex {

// "/backup" with "/q": nobody answers a dialog, and the exit status tells the outcome.
bool IsUnattendedRun();

// Writes text to the info log; an unattended run also prints it on standard
// error, which cron mails to the user. A clean run prints nothing. Both show it as
// one line (OneLineText): the values it carries come from outside.
void ReportInInfoLog(std::u16string_view text);
// The same, printed on standard error whatever the run.
void ReportInInfoLogAndOnStandardError(std::u16string_view text);

// Prints text as one line on standard error.
void PrintErrorLine(std::u16string_view text);

// Runs handler; what it raises is shown with ShowError instead of passing on (in
// an unattended run it goes to the logs and marks the backup not clean). False
// when it raised.
bool RunHandler(const std::function<void()>& handler);

} // namespace orvex
