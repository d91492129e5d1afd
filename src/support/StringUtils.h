#pragma once
// Small string helpers shared by the catalogue, the engine, the dialogs and the file
// units. Text is UTF-16; positions are 1-based and 0 means "not found". The
// case-insensitive search folds only the ASCII letters a-z.

#include <string>
#include <string_view>

namespace orvex {

// First position of sub in s, at or after from; 0 when either is empty, from is
// outside 1..length(s), or there is no match.
int PosCIFrom(std::u16string_view sub, std::u16string_view s, int from);
int PosCI(std::u16string_view sub, std::u16string_view s);

// The halves of a name=value line, split at the first "="; without "=" both give
// the whole text.
std::u16string LeftOfEqual(std::u16string_view s);
std::u16string RightOfEqual(std::u16string_view s);

// With 0 < pos < 2147483647: left = text before pos, right = text from pos + len on,
// true. Otherwise left = source, right empty, false.
bool SplitAtPos(std::u16string_view source, int pos, int len, std::u16string& left,
                std::u16string& right);

// Splits at the first case-insensitive occurrence of delim, dropping it; when it is
// missing: left = source, right empty, false.
bool SplitString(std::u16string_view source, std::u16string_view delim, std::u16string& left,
                 std::u16string& right);
// SplitString on the remainder again; true only when every delimiter was found.
bool SplitString3(std::u16string_view source, std::u16string_view delim, std::u16string& first,
                  std::u16string& second, std::u16string& third);
bool SplitString4(std::u16string_view source, std::u16string_view delim, std::u16string& first,
                  std::u16string& second, std::u16string& third, std::u16string& fourth);

// Every case-insensitive occurrence of find, left to right, becomes replace; the
// replaced text is never searched again. An empty find leaves source unchanged.
std::u16string StringReplaceAllCI(std::u16string_view source, std::u16string_view find,
                                  std::u16string_view replace);

// Byte-order marks on raw 8-bit text.
bool StartsWithUtf8Bom(std::string_view s);
bool StartsWithUtf16LeBom(std::string_view s);
// Removes a leading EF BB BF; true when there was one.
bool StripUtf8Bom(std::string& s);

} // namespace orvex
