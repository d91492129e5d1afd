#pragma once
// Integers as text, locale-free: a Qt program sets the C locale from the
// environment, and no locale may change how a number is written.

#include <charconv>
#include <concepts>
#include <cstdint>
#include <string>

namespace orvex {

// Decimal text of any integer, with "-" for negatives and no grouping.
template <std::integral T>
requires(!std::same_as<T, bool>) std::u16string IntToText(T value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return std::u16string(digits, end);
}

// Lower-case hexadecimal of an unsigned value, as "%x" formats it.
std::u16string HexToText(uint32_t value);

} // namespace orvex
