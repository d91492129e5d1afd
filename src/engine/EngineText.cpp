#include "engine/EngineText.h"

#include "platform/base/CaseFold.h"

namespace orvex {

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

} // namespace orvex
