#pragma once
// The one UTF-8 <-> UTF-16 codec of the program. Every layer converts through it.

#include <cstddef>
#include <string>
#include <string_view>

namespace orvex {

// Standard UTF-8 to UTF-16: a four-byte sequence becomes a surrogate pair. Text
// written the old way (each surrogate half as its own three-byte sequence) still
// reads. Each byte of a malformed sequence becomes U+FFFD; the rest of the text is kept.
std::u16string Utf8ToUtf16(std::string_view utf8);
// The same into out, whose memory is reused.
void Utf8ToUtf16(std::string_view utf8, std::u16string& out);

// UTF-16 to standard UTF-8: a surrogate pair becomes one four-byte sequence. A lone
// surrogate is written as its own three-byte sequence, so it reads back unchanged.
std::string Utf16ToUtf8(std::u16string_view utf16);
// The same into out, whose memory is reused.
void Utf16ToUtf8(std::u16string_view utf16, std::string& out);

// Appends the UTF-8 form of one code point (up to U+10FFFF) to out.
void AppendUtf8(std::string& out, char32_t codePoint);

// The UTF-8 form of one code point (up to U+10FFFF) in out; its length, 1 to 4.
size_t EncodeUtf8(char32_t codePoint, char out[4]);

// The code point of the sequence at p (p < end) as Utf8ToUtf16 reads it, and the
// bytes it takes: a malformed byte takes 1 and reads as U+FFFD (wellFormed false).
size_t DecodeUtf8(const char* p, const char* end, char32_t& codePoint, bool& wellFormed);

// The bytes of text before its first byte of 0x80 or above.
size_t FirstNonAscii(std::string_view bytes);

// True when text holds only sequences DecodeUtf8 reads as well-formed (the old
// two-halves form of a pair included).
bool IsWellFormedUtf8(std::string_view text);

// The code point of the unit at p (p < end) as Utf16ToUtf8 reads it: a surrogate
// pair takes 2 units, anything else 1.
size_t DecodeUtf16(const char16_t* p, const char16_t* end, char32_t& codePoint);

} // namespace orvex
