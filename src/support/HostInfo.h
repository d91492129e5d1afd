#pragma once
// The program file, the computer and the process, as the rest of the program asks
// for them.

#include <cstdint>
#include <string>
#include <string_view>

namespace orvex {

// Full file name of the running program.
std::u16string GetModuleFileNameStr();

// "\\?\C:\x" becomes "C:\x" and "\\?\UNC\server\share" becomes "\\server\share";
// every other path is returned unchanged.
std::u16string StripLongPathPrefix(std::u16string_view path);

// GetModuleFileNameStr without a long-path prefix.
std::u16string GetModuleFileNameNormalized();

// The local computer name (the host name up to its first "."); empty on failure.
std::u16string GetComputerNameString();

uint32_t GetCurrentProcessIdValue();

} // namespace orvex
