#pragma once
// The program's command line, captured once from main's arguments.

#include <string>

namespace orvex {

// Called once by main before anything reads the command line; argv is UTF-8.
void SetCommandLine(int argc, const char* const* argv);

// The number of parameters after the program's own path.
int ParamCount();

// Parameter index (0 is the program's path); empty when out of range.
std::u16string ParamStr(int index);

} // namespace orvex
