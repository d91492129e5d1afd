#pragma once
// Case-folded keys of the engine's name lookups. ASCII case rules are in
// platform/base/AsciiText.h, numbers as text in platform/base/NumberText.h and the
// filling of messages in platform/base/TextFormat.h.

#include <string>
#include <string_view>

namespace orvex {

// A key under which texts equal ignoring case (SameTextIgnoreCase) are equal: every
// code point simply case-folded.
std::u16string CaseFoldedKey(std::u16string_view text);

} // namespace orvex
