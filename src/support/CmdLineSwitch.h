#pragma once
// The command-line switch test. The command line itself is captured by
// SetCommandLine (base/CommandLine.h).

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

// True when some parameter after the program's path equals sw ignoring ASCII case,
// a leading "-" of the parameter counting as "/": "-Q" satisfies "/q".
bool HasCmdLineSwitch(std::u16string_view sw);

// The indexes of the parameters that are exactly one of options or an option's
// value, in order. An option's value is the parameter after it, unless that is
// one of switches (matched as HasCmdLineSwitch matches) or of options.
std::vector<int> CmdLineOptionParameters(std::initializer_list<std::u16string_view> switches,
                                         std::initializer_list<std::u16string_view> options);

// The indexes of the parameters that are neither one of switches, nor one of
// options or an option's value, in order.
std::vector<int> UnknownCmdLineParameters(std::initializer_list<std::u16string_view> switches,
                                          std::initializer_list<std::u16string_view> options);

// The index of the first of options that has no value; 0 when every option has
// its value.
int CmdLineOptionWithoutValue(std::initializer_list<std::u16string_view> switches,
                              std::initializer_list<std::u16string_view> options);

} // namespace orvex
