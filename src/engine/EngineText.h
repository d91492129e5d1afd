#pragma once
// Small text helpers of the engine: ASCII case rules of metabase names, locale-free
// numbers, and the "%s"/"%d" filling of message texts.

#include <cstdint>
#include <initializer_list>
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

// Decimal text of a signed integer, "-2147221020" style.
std::u16string IntToText(int64_t value);
// Lower-case hexadecimal of an unsigned value, as "%x" formats it.
std::u16string HexToText(uint32_t value);

// Replaces each "%s" or "%d" of format, left to right, by the next argument; "%%"
// gives "%". A placeholder without an argument stays as it is.
std::u16string FormatText(std::u16string_view format, std::initializer_list<std::u16string_view> args);

} // namespace orvex
