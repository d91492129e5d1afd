#pragma once
// Opening a file, folder or web address with the desktop's registered handler, in
// place of ShellExecute "open": xdg-open, found on PATH and started without a shell.

#include <string_view>

namespace orvex {

// Starts the handler for target and does not wait for it. True when the handler
// program was started.
bool LaunchDesktopHandler(std::u16string_view target);

} // namespace orvex
