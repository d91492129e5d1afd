#pragma once
// The command-line switch test. The command line itself is captured by
// SetCommandLine (base/CommandLine.h).

#include <initializer_list>
#include <string_view>

namespace orvex {

// True when some parameter after the program's path equals sw ignoring ASCII case,
// a leading "-" of the parameter counting as "/": "-Q" satisfies "/q".
bool HasCmdLineSwitch(std::u16string_view sw);

// The index of the first parameter that is neither one of switches (matched as
// HasCmdLineSwitch matches), nor exactly one of options, nor the value following
// one of options; 0 when there is none.
int UnknownCmdLineParameter(std::initializer_list<std::u16string_view> switches,
                            std::initializer_list<std::u16string_view> options);

} // namespace orvex
