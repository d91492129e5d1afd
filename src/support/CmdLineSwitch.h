#pragma once
// The command-line switch test. The command line itself is captured by
// SetCommandLine (base/CommandLine.h).

#include <string_view>

namespace orvex {

// True when some parameter after the program's path equals sw ignoring ASCII case,
// a leading "-" of the parameter counting as "/": "-Q" satisfies "/q".
bool HasCmdLineSwitch(std::u16string_view sw);

} // namespace orvex
