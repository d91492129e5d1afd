#pragma once
// Event handlers of the wizard's windows run inside the Qt event loop, which no
// exception may cross.

#include <functional>

namespace orvex {

// Runs handler; what it raises is shown with ShowError instead of passing on.
// False when it raised.
bool RunHandler(const std::function<void()>& handler);

} // namespace orvex
