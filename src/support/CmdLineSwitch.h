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

// The indexes of the parameters that are neither one of switches (matched as
// HasCmdLineSwitch matches), nor exactly one of options, nor the value following
// one of options, in order.
std::vector<int> UnknownCmdLineParameters(std::initializer_list<std::u16string_view> switches,
                                          std::initializer_list<std::u16string_view> options);

// The index of the first of options that has no value: it is the last parameter,
// or one of switches follows it. 0 when every option has its value.
int CmdLineOptionWithoutValue(std::initializer_list<std::u16string_view> switches,
                              std::initializer_list<std::u16string_view> options);

// A parameter as a line can show it: in double quotes, with control characters
// escaped (\n, \r, \t, else \xHH), so that it cannot break the line or drive a
// terminal.
std::u16string QuotedCmdLineParameter(std::u16string_view parameter);

} // namespace orvex
