#include "engine/EngineText.h"

#include "platform/base/CaseFold.h"

#include <charconv>

namespace orvex {

namespace {

char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }
char16_t AsciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

} // namespace

bool SameAsciiText(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

std::u16string AsciiUpperCase(std::u16string_view text) {
    std::u16string out(text);
    for (auto& c : out) c = AsciiUpper(c);
    return out;
}

std::u16string AsciiLowerCase(std::u16string_view text) {
    std::u16string out(text);
    for (auto& c : out) c = AsciiLower(c);
    return out;
}

std::u16string CaseFoldedKey(std::u16string_view text) {
    std::u16string key;
    key.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        if (pair) c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        char32_t folded = pair ? FoldCase(c) : (c >= 0xD800 && c <= 0xDFFF ? c : FoldCase(c));
        if (folded >= 0x10000) {
            key += static_cast<char16_t>(0xD800 + ((folded - 0x10000) >> 10));
            key += static_cast<char16_t>(0xDC00 + ((folded - 0x10000) & 0x3FF));
        } else {
            key += static_cast<char16_t>(folded);
        }
    }
    return key;
}

std::u16string HexToText(uint32_t value) {
    char buffer[16];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, 16);
    return Widen(std::string_view(buffer, static_cast<size_t>(result.ptr - buffer)));
}

} // namespace orvex
