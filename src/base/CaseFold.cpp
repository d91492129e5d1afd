#include "base/CaseFold.h"

#include "base/AsciiText.h"
#include "base/Utf.h"

#include <algorithm>
#include <iterator>
#include <string>

namespace orvex {

namespace {

// Runs of code points that fold by the same distance. A stride of 2 covers the
// alternating upper/lower blocks (Latin Extended, Cyrillic, ...).
struct TFoldRun {
    char32_t first;
    char32_t last;
    int delta;
    int stride;
};

// Unicode 14.0 simple case folding (CaseFolding.txt statuses C and S).
constexpr TFoldRun kFoldRuns[] = {
#include "base/CaseFoldRuns.inc"
};

// Reads one code point from UTF-16, joining a well-formed surrogate pair.
char32_t NextCodePoint(std::u16string_view text, size_t& i) {
    char32_t unit = text[i++];
    if (unit >= 0xD800 && unit <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 &&
        text[i] <= 0xDFFF) {
        unit = 0x10000 + ((unit - 0xD800) << 10) + (text[i++] - 0xDC00);
    }
    return unit;
}

} // namespace

char32_t FoldCase(char32_t cp) {
    if (cp < 0x80)
        return AsciiLower(cp);
    const auto* end = std::end(kFoldRuns);
    const auto* run = std::upper_bound(std::begin(kFoldRuns), end, cp,
                                       [](char32_t c, const TFoldRun& r) { return c < r.first; });
    if (run == std::begin(kFoldRuns))
        return cp;
    --run;
    if (cp > run->last || (cp - run->first) % static_cast<char32_t>(run->stride) != 0)
        return cp;
    return static_cast<char32_t>(static_cast<int>(cp) + run->delta);
}

std::u16string CaseFoldedKey(std::u16string_view text) {
    std::u16string key;
    key.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const char32_t folded = FoldCase(NextCodePoint(text, i));
        if (folded >= 0x10000) {
            key += static_cast<char16_t>(0xD800 + ((folded - 0x10000) >> 10));
            key += static_cast<char16_t>(0xDC00 + ((folded - 0x10000) & 0x3FF));
        } else {
            key += static_cast<char16_t>(folded);
        }
    }
    return key;
}

int CompareTextIgnoreCase(std::u16string_view a, std::u16string_view b) {
    // Names are mostly ASCII: compare those in place, up to the first other unit.
    const size_t common = std::min(a.size(), b.size());
    size_t i = 0;
    for (; i < common && a[i] < 0x80 && b[i] < 0x80; ++i) {
        const char32_t x = AsciiLower(a[i]);
        const char32_t y = AsciiLower(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (i == common)
        return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
    size_t j = i;
    while (i < a.size() && j < b.size()) {
        const char32_t x = FoldCase(NextCodePoint(a, i));
        const char32_t y = FoldCase(NextCodePoint(b, j));
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (i < a.size())
        return 1;
    return j < b.size() ? -1 : 0;
}

int CompareUtf8IgnoreCase(std::string_view a, std::string_view b) {
    const size_t common = std::min(a.size(), b.size());
    size_t i = 0;
    for (; i < common; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x >= 0x80 || y >= 0x80)
            break;
        const char32_t fx = AsciiLower(x);
        const char32_t fy = AsciiLower(y);
        if (fx != fy)
            return fx < fy ? -1 : 1;
    }
    if (i == common)
        return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
    // Everything before i was ASCII in both, so i starts a character in each.
    return CompareTextIgnoreCase(Utf8ToUtf16(a.substr(i)), Utf8ToUtf16(b.substr(i)));
}

} // namespace orvex
