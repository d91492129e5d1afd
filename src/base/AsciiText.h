#pragma once
// Case rules for names that are ASCII by definition (metabase and automation
// names, property ids, type names, XML tags of our own files): only the letters
// A-Z and a-z fold, the same under every process locale. Text in general is
// compared with CaseFold.h.

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace orvex {

template <class Char> constexpr Char AsciiLower(Char c) {
    return c >= Char('A') && c <= Char('Z') ? Char(c + 32) : c;
}

template <class Char> constexpr Char AsciiUpper(Char c) {
    return c >= Char('a') && c <= Char('z') ? Char(c - 32) : c;
}

// True when a and b are exactly equal, compared as memory: the standard library
// compares char16_t texts one unit at a time, and names are compared very often.
inline bool EqualText(std::u16string_view a, std::u16string_view b) {
    // An empty view may have no memory at all, which memcmp must not be given.
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0);
}

// True when a and b have the same length and differ only in ASCII letter case.
bool SameAsciiText(std::u16string_view a, std::u16string_view b);
// The same with a literal, whose length is known where it is written.
template <size_t N>
bool SameAsciiText(std::u16string_view a, const char16_t (&literal)[N]) {
    return SameAsciiText(a, std::u16string_view(literal, N - 1));
}

// The text with its ASCII letters in upper (lower) case, everything else kept.
std::u16string AsciiUpperCase(std::u16string_view text);
std::u16string AsciiLowerCase(std::u16string_view text);

} // namespace orvex
