#pragma once
// Facts about the running program and its host, in place of the Windows calls
// for the module path, computer name, process id and environment.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvex {

// Full path of the running executable (from /proc/self/exe).
std::u16string ModuleFileName();

// Folder of the running executable, with a trailing '/'.
std::u16string ExecutableFolder();

// The host name up to its first '.'.
std::u16string ComputerName();

uint32_t CurrentProcessId();

// The value of an environment variable, or nullopt when it is not set.
std::optional<std::u16string> EnvironmentVariable(std::u16string_view name);

// The same as the bytes the environment holds (UTF-8), nullptr when not set: for
// callers that ask often and only compare. Valid until the environment changes.
const char* EnvironmentVariableUtf8(const char* name);

} // namespace orvex
