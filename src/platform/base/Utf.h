#pragma once
// The one UTF-8 <-> UTF-16 codec of the program. Every layer converts through it.

#include <string>
#include <string_view>

namespace orvex {

// Standard UTF-8 to UTF-16: a four-byte sequence becomes a surrogate pair. Text
// written the old way (each surrogate half as its own three-byte sequence) still
// reads. Each byte of a malformed sequence becomes U+FFFD; the rest of the text is kept.
std::u16string Utf8ToUtf16(std::string_view utf8);

// UTF-16 to standard UTF-8: a surrogate pair becomes one four-byte sequence. A lone
// surrogate is written as its own three-byte sequence, so it reads back unchanged.
std::string Utf16ToUtf8(std::u16string_view utf16);

// Appends the UTF-8 form of one code point (up to U+10FFFF) to out.
void AppendUtf8(std::string& out, char32_t codePoint);

} // namespace orvex
