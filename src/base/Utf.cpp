#include "base/Utf.h"

#include <cstdint>
#include <cstring>

namespace orvex {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

} // namespace

size_t EncodeUtf8(char32_t cp, char out[4]) {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

void AppendUtf8(std::string& out, char32_t cp) {
    char bytes[4];
    out.append(bytes, EncodeUtf8(cp, bytes));
}

size_t DecodeUtf8(const char* in, const char* inEnd, char32_t& cp, bool& wellFormed) {
    const auto* p = reinterpret_cast<const unsigned char*>(in);
    const auto* end = reinterpret_cast<const unsigned char*>(inEnd);
    const unsigned char lead = *p;
    wellFormed = true;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    size_t length;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        length = 0, minimum = 0;
    }
    if (length != 0 && static_cast<size_t>(end - p) >= length) {
        size_t i = 1;
        for (; i < length && IsContinuation(p[i]); ++i)
            cp = (cp << 6) | (p[i] & 0x3F);
        // A three-byte surrogate half is kept as it is: pairs written the old way
        // come out as the same pair.
        if (i == length && cp >= minimum && cp <= 0x10FFFF)
            return length;
    }
    wellFormed = false;
    cp = kReplacement;
    return 1;
}

size_t DecodeUtf16(const char16_t* p, const char16_t* end, char32_t& cp) {
    cp = *p;
    if (cp >= 0xD800 && cp <= 0xDBFF && end - p >= 2 && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (p[1] - 0xDC00);
        return 2;
    }
    return 1;
}

std::u16string Utf8ToUtf16(std::string_view in) {
    std::u16string out;
    Utf8ToUtf16(in, out);
    return out;
}

void Utf8ToUtf16(std::string_view in, std::u16string& out) {
    size_t ascii = 0;
    while (ascii < in.size() && static_cast<unsigned char>(in[ascii]) < 0x80)
        ++ascii;
    out.resize(ascii);
    for (size_t i = 0; i < ascii; ++i)
        out[i] = static_cast<char16_t>(in[i]);
    if (ascii == in.size())
        return;
    out.reserve(in.size());
    const char* p = in.data() + ascii;
    const char* end = in.data() + in.size();
    while (p < end) {
        char32_t cp;
        bool wellFormed;
        p += DecodeUtf8(p, end, cp, wellFormed);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
}

std::string Utf16ToUtf8(std::u16string_view in) {
    std::string out;
    Utf16ToUtf8(in, out);
    return out;
}

void Utf16ToUtf8(std::u16string_view in, std::string& out) {
    // Text is mostly ASCII: the leading run is copied unit for unit.
    out.resize(in.size());
    size_t ascii = 0;
    for (; ascii < in.size() && in[ascii] < 0x80; ++ascii)
        out[ascii] = static_cast<char>(in[ascii]);
    if (ascii == in.size())
        return;
    out.resize(ascii);
    out.reserve(in.size() + in.size() / 2);
    const char16_t* p = in.data() + ascii;
    const char16_t* end = in.data() + in.size();
    while (p < end) {
        char32_t cp;
        p += DecodeUtf16(p, end, cp);
        AppendUtf8(out, cp);
    }
}

size_t FirstNonAscii(std::string_view bytes) {
    size_t i = 0;
    const size_t n = bytes.size();
    for (; i + 8 <= n; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        if (word & 0x8080808080808080ull)
            break;
    }
    while (i < n && static_cast<unsigned char>(bytes[i]) < 0x80)
        ++i;
    return i;
}

bool IsWellFormedUtf8(std::string_view text) {
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        const size_t ascii = FirstNonAscii(std::string_view(p, static_cast<size_t>(end - p)));
        p += ascii;
        if (p == end)
            break;
        char32_t cp;
        bool wellFormed;
        p += DecodeUtf8(p, end, cp, wellFormed);
        if (!wellFormed)
            return false;
    }
    return true;
}

} // namespace orvex
