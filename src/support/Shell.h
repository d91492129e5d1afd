#pragma once
// Opening documents and web addresses with their registered handler.

#include <functional>
#include <string_view>

namespace orvex {

// Replaces the desktop's handler while set (tests record what would be opened);
// gives whether the target was opened. Set from the main thread.
using TShellOpenHook = std::function<bool(std::u16string_view target)>;
extern TShellOpenHook ShellOpenHook;

// Runs verb on fileName through the desktop (or ShellOpenHook). Only "open" (any
// case) is known here; true when the handler was started.
bool ShellExecuteVerb(std::u16string_view verb, std::u16string_view fileName);

// ShellExecuteVerb with "open": a file, folder or web address.
bool ShellOpen(std::u16string_view fileName);

} // namespace orvex
