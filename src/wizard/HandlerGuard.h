#pragma once
// Event handlers of the wizard's windows run inside the Qt event loop, which no
// exception may cross.

#include <functional>

namespace orvex {

// "/backup" with "/q": nobody answers a dialog, and the exit status tells the outcome.
bool IsUnattendedRun();

// Runs handler; what it raises is shown with ShowError instead of passing on (in
// an unattended run it goes to the logs and marks the backup not clean). False
// when it raised.
bool RunHandler(const std::function<void()>& handler);

} // namespace orvex
