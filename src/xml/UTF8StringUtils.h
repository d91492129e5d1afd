#pragma once
// Byte-string and UTF-8 character routines of the XML library, the escaping and
// quoting of XML text and the conversions between UTF-16, UTF-8 and code page
// 1252. Text is UTF-8 in std::string; lengths and positions are in bytes unless
// a routine says characters; positions are 1-based.

#include <cstdint>
#include <string>
#include <string_view>

namespace orvex {

class TStream;

// Blanks are exactly TAB, LF, CR and SPACE.
constexpr bool IsXmlBlank(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }
constexpr bool IsXmlQuote(char c) { return c == '"' || c == '\''; }

// --- UTF-8 characters ---

// Byte length of the character at p (end bounds the look-ahead): 2, 3 or 4 for a
// well-formed lead with its continuation bytes, 1 for anything else (a malformed
// byte counts as one character), 0 for a null pointer or p at end.
int UTF8CharLength(const char* p, const char* end);

// Steps over count characters within the byte budget; the pointer reached when all
// count characters fit, else nullptr.
const char* UTF8SkipChars(const char* p, int64_t budget, int count);

// count characters from the 1-based character index; clipped to the text.
std::string UTF8Copy(std::string_view text, int index, int count);

// Number of characters.
int UTF8Length(std::string_view text);
int UTF8BufferLength(const char* p, int64_t length);

// The text without characters up to and including SPACE (codes 0-32) at both ends.
std::string UTF8Trim(std::string_view text);

// --- Byte strings ---

// The first occurrence of c in the zero-terminated text, or nullptr when the
// terminator comes first (also for a null text).
const char* xmStrScan(const char* text, char c);

// 1-based position of the first occurrence of pattern in text; 0 when absent.
int xmPos(std::string_view pattern, std::string_view text);
void xmAppendChar(std::string& text, char c);

// The text in quote bytes, every quote byte inside doubled.
std::string xmQuotedStr(std::string_view text, char quote);
// The inverse of xmQuotedStr; empty when text does not start with quote. Without a
// closing quote: the text after the opening quote less its last byte.
std::string xmExtractQuotedStr(std::string_view text, char quote);

// Every occurrence of oldPattern, left to right without overlap, case respected.
std::string Utf8StringReplaceAll(std::string_view text, std::string_view oldPattern,
                                 std::string_view newPattern);
std::string Utf8RemoveBlanks(std::string_view text);
// True when text holds pattern at the 1-based byte position, ASCII letters
// compared without case, all other bytes exact.
bool Utf8MatchAt(std::string_view pattern, std::string_view text, int position);
// The same length and equal but for the case of ASCII letters.
inline bool SameUtf8AsciiText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && Utf8MatchAt(a, b, 1);
}
// Compares without regard to case under the user's locale (the collation of
// LC_ALL, LC_COLLATE or LANG; ICU's root order for C and POSIX): negative, 0 or
// positive. Printable ASCII is compared in place without allocating, in the
// collation's own order. Two texts are equal only when they hold the same
// characters, case aside (each simply case folded, the Turkish way under tr and
// az): no character, not even one the collation passes over, is ignored. The
// comparison of every name lookup, value test and sort.
int Utf8CompareText(std::string_view a, std::string_view b);
// The text without blanks at either end.
std::string Utf8TrimBlanks(std::string_view text);
// The separator before the first character, after every width bytes and once more
// at the end; the text unchanged for an empty separator or a width below 1. With
// width 1 only the final separator is written.
std::string Utf8InsertLineBreaks(std::string_view text, std::string_view separator, int width);

// Writes the text's bytes with one write; nothing for an empty text. EStreamError
// "Cannot write to output stream" when the stream takes fewer.
void WriteUtf8ToStream(TStream& stream, std::string_view text);
// Writes count bytes from buffer + offset with one write; the bytes written.
int64_t xmStreamWriteAt(TStream& stream, int64_t offset, const void* buffer, int64_t count);

std::string IntToUtf8(int32_t value);
std::string Int64ToUtf8(int64_t value);

// --- Escaping and quoting ---

// & < > ' " become &amp; &lt; &gt; &apos; &quot; (one pass, so nothing is escaped twice).
std::string Utf8EscapeText(std::string_view text);
// The length of Utf8EscapeText(text), and the same text written at out (which has
// room for it); returns the end of what was written.
size_t Utf8EscapedLength(std::string_view text);
char* Utf8EscapeInto(char* out, std::string_view text);
// The five entities above and character references (&#65; &#x41;) resolved. A
// character reference resolves only to a character XML allows (so &#0; and
// &#xD800; stay as written); any other reference stays as written.
std::string Utf8ResolveEntities(std::string_view text);
// In double quotes, or in single quotes when the text holds a double quote.
std::string Utf8QuoteText(std::string_view text);
// The inverse of Utf8QuoteText for a text of two or more bytes starting with a
// quote; any other text unchanged.
std::string Utf8UnquoteText(std::string_view text);
// True when quoted holds nothing to unquote or resolve but its outer quotes; text
// is then what Utf8ResolveEntities(Utf8UnquoteText(quoted)) gives, as a view.
bool Utf8PlainQuotedText(std::string_view quoted, std::string_view& text);

// --- Encodings (through the codec of Utf.h and the table of CodePage1252.h) ---

// Standard UTF-8: a surrogate pair becomes one four-byte sequence.
std::string UnicodeToUtf8(std::u16string_view text);
// Standard UTF-8 decoding; each malformed byte becomes U+FFFD, the rest is kept.
std::u16string Utf8ToUnicode(std::string_view text);
std::string AnsiToUtf8(std::string_view ansi);

// Standard UTF-8 of sourceLength units into destination (destinationSize bytes),
// followed by a zero byte: a surrogate pair becomes one four-byte sequence, a lone
// surrogate its own three-byte one. Stops before a character that would leave no
// room for the zero. Returns the bytes written, the zero included; 0 for a null
// pointer or no room at all.
size_t Utf16ToUtf8Buffer(char* destination, size_t destinationSize, const char16_t* source,
                         size_t sourceLength);
// UTF-16 of sourceLength bytes of UTF-8 into destination (destinationSize units),
// followed by a zero unit: a four-byte sequence becomes a surrogate pair, each
// malformed byte U+FFFD. Stops before a character that would leave no room for the
// zero. Returns the units written, the zero included; 0 for a null pointer or no
// room at all.
size_t Utf8ToUtf16Buffer(char16_t* destination, size_t destinationSize, const char* source,
                         size_t sourceLength);
// Characters outside code page 1252 become '?'.
std::string Utf8ToAnsi(std::string_view text);

} // namespace orvex
