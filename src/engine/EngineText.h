#pragma once
// Small text helpers of the engine: ASCII case rules of metabase names and
// locale-free hexadecimal. Messages are filled by FormatTolerant
// (platform/base/TextFormat.h).

#include <cstdint>
#include <string>
#include <string_view>

namespace orvex {

// Metabase names, property ids and type names are ASCII; these compare and fold
// only the ASCII letters, the same under every process locale.
bool SameAsciiText(std::u16string_view a, std::u16string_view b);
std::u16string AsciiUpperCase(std::u16string_view text);
std::u16string AsciiLowerCase(std::u16string_view text);

// A key under which texts equal ignoring case (SameTextIgnoreCase) are equal: every
// code point simply case-folded.
std::u16string CaseFoldedKey(std::u16string_view text);

// Lower-case hexadecimal of an unsigned value, as "%x" formats it.
std::u16string HexToText(uint32_t value);

} // namespace orvex
