#pragma once
// Case-insensitive comparison of text, the same under every process locale.
// Folding is Unicode simple case folding (one code point to one) from our own
// table, so a Qt program's LC_ALL cannot change how names match.

#include <string>
#include <string_view>

namespace orvex {

// The simple case fold of one code point (for most letters its lower case);
// code points without a fold are returned unchanged.
char32_t FoldCase(char32_t codePoint);

// Compares two texts code point by code point after folding: negative when a
// sorts before b, 0 when they are equal ignoring case, positive otherwise.
// Surrogate pairs count as one code point; lone surrogates compare as they are.
int CompareTextIgnoreCase(std::u16string_view a, std::u16string_view b);

// The same over UTF-8. ASCII text is compared in place without allocating;
// from the first non-ASCII byte on, both rests are decoded through Utf.h.
int CompareUtf8IgnoreCase(std::string_view a, std::string_view b);

// A key under which texts equal ignoring case (SameTextIgnoreCase) are equal: every
// code point simply case-folded, lone surrogates kept. For hashed lookups by name.
std::u16string CaseFoldedKey(std::u16string_view text);

// True when the two texts are equal ignoring case.
inline bool SameTextIgnoreCase(std::u16string_view a, std::u16string_view b) {
    return CompareTextIgnoreCase(a, b) == 0;
}

} // namespace orvex
