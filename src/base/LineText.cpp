#include "base/LineText.h"

#include "base/Utf.h"

namespace orvex {

namespace {

constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

bool BreaksOrReordersTheLine(char16_t c) {
    return c == 0x2028 || c == 0x2029 || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

void AppendEscaped(std::u16string& out, char16_t c, bool quoted) {
    if (c == u'\n') {
        out += u"\\n";
    } else if (c == u'\r') {
        out += u"\\r";
    } else if (c == u'\t') {
        out += u"\\t";
    } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {  // C0, DEL and C1 (0x9B starts a sequence too)
        out += {u'\\', u'x', kHexDigits[c >> 4], kHexDigits[c & 0xF]};
    } else if (BreaksOrReordersTheLine(c)) {
        out += {u'\\', u'u', kHexDigits[c >> 12], kHexDigits[(c >> 8) & 0xF], kHexDigits[(c >> 4) & 0xF],
                kHexDigits[c & 0xF]};
    } else if (quoted && (c == u'"' || c == u'\\')) {
        out += {u'\\', c};
    } else {
        out += c;
    }
}

} // namespace

std::u16string OneLineText(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (const char16_t c : text)
        AppendEscaped(out, c, false);
    return out;
}

std::u16string QuotedValue(std::u16string_view value) {
    std::u16string out = u"\"";
    for (const char16_t c : value)
        AppendEscaped(out, c, true);
    return out + u"\"";
}

std::u16string QuotedValueOfBytes(std::string_view bytes) {
    std::u16string out = u"\"";
    for (const char* p = bytes.data(), *end = p + bytes.size(); p < end;) {
        char32_t codePoint = 0;
        bool wellFormed = true;
        const size_t length = DecodeUtf8(p, end, codePoint, wellFormed);
        if (!wellFormed) {
            const auto byte = static_cast<unsigned char>(*p);
            out += {u'\\', u'x', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
        } else {
            for (const char16_t c : Utf8ToUtf16(std::string_view(p, length)))
                AppendEscaped(out, c, true);
        }
        p += length;
    }
    return out + u"\"";
}

} // namespace orvex
