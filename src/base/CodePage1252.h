#pragma once
// Windows code page 1252 ("ANSI" here), both ways, from our own table.

#include <string>
#include <string_view>

namespace orvex {

// Each byte becomes one UTF-16 unit; the five bytes 1252 leaves undefined map to
// the C1 control of the same value, as Windows does.
std::u16string Cp1252ToUtf16(std::string_view bytes);

// Characters outside code page 1252 become '?'.
std::string Utf16ToCp1252(std::u16string_view text);

} // namespace orvex
