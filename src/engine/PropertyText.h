#pragma once
// Text forms of metabase property values in the backup file, both ways. These
// need no metabase: the variant-facing routines build on them.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

// A property value text that cannot become its type ("'x' is not a valid integer value").
class EPropertyValueError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// True when text equals "True" ignoring case.
bool IsTrueText(std::u16string_view text);
// "True" or "False".
std::u16string BoolToText(bool value);

// Takes the text before the first delimiter out of source (with the delimiter).
// Without a delimiter the whole source is the token and source becomes empty.
std::u16string NextToken(std::u16string& source, char16_t delimiter);

// An optional sign and decimal digits in the signed 32-bit range; anything else
// raises EPropertyValueError.
int32_t TextToInteger(std::u16string_view text);

// BINARY: every element followed by one blank ("1 2 3 ").
std::u16string BinaryToText(const std::vector<std::u16string>& elements);
// The text cut at blanks, left to right: a trailing blank adds no piece, two
// adjacent blanks give an empty piece. Every piece is kept, however many.
std::vector<std::u16string> TextToBinary(std::u16string_view text);

// EXPANDSZ: the text without its control characters (C0 and C1). Everything else,
// DEL, double quotes and non-ASCII letters included, stays for the XML writer.
std::u16string FilterExpandSzText(std::u16string_view text);

// Why text cannot go into the backup file, or empty when it can: a character XML
// does not allow (the C0 controls, a lone surrogate, U+FFFE, U+FFFF) makes the
// file unreadable. TAB, LF and CR keep it readable but come back from other XML
// readers as blanks: the backup keeps what the metabase holds (lcAllowed), an
// edit refuses them (lcRefused).
enum class TLineControls { lcRefused, lcAllowed };
std::u16string XmlTextProblem(std::u16string_view text, TLineControls lineControls);
// True for a text of nothing but characters from U+0020 to U+D7FF, which has no
// problem: one quick pass (which the compiler can widen) says so for nearly every
// text, without a call.
inline bool IsPlainXmlText(std::u16string_view text) {
    bool plain = true;
    for (char16_t c : text) plain &= c >= 0x20 && c < 0xD800;
    return plain;
}

// IPSEC: "GrantByDefault=True;" or "GrantByDefault=False;", then each entry of the
// list in force (deny list when granted by default, else grant list) and ";".
struct TIPSecurityText {
    bool GrantByDefault = false;
    std::vector<std::u16string> Entries;
};
std::u16string IPSecurityToText(const TIPSecurityText& value);
// Cut at ";": the flag after the first "=" of the first piece (the whole piece
// when it has none), then every non-empty piece is one entry.
TIPSecurityText TextToIPSecurity(std::u16string_view text);

} // namespace orvex
