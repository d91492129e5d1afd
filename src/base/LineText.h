#pragma once
// Text that goes onto one line of a log or a terminal. Values from outside (an
// argument, an environment variable, a file name) may hold characters that break
// the line, forge one or drive the terminal: they are shown escaped.

#include <string>
#include <string_view>

namespace orvex {

// text with control characters escaped: \n, \r and \t, any other of C0, DEL and
// C1 as \xHH, and the characters that break a line or reorder what it shows
// (U+2028, U+2029, U+200E, U+200F, U+202A-U+202E, U+2066-U+2069) as \uHHHH.
// Backslashes stay as they are, so paths read as written.
std::u16string OneLineText(std::u16string_view text);

// A value in double quotes, escaped as OneLineText and with " and \ escaped too,
// so that the quotes show exactly where it begins and ends.
std::u16string QuotedValue(std::u16string_view value);

// The same for bytes meant as UTF-8: a byte that is no part of a well-formed
// sequence shows as \xHH.
std::u16string QuotedValueOfBytes(std::string_view bytes);

} // namespace orvex
