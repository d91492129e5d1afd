#pragma once
// Opening documents and web addresses with their registered handler.

#include <string_view>

namespace orvex {

// Runs verb on fileName through the desktop. Only "open" (any case) is known here;
// true when the handler was started.
bool ShellExecuteVerb(std::u16string_view verb, std::u16string_view fileName);

// ShellExecuteVerb with "open": a file, folder or web address.
bool ShellOpen(std::u16string_view fileName);

} // namespace orvex
