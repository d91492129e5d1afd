#include "platform/base/Utf.h"

namespace orvex {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

} // namespace

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::u16string Utf8ToUtf16(std::string_view in) {
    size_t ascii = 0;
    while (ascii < in.size() && static_cast<unsigned char>(in[ascii]) < 0x80)
        ++ascii;
    std::u16string out(ascii, u'\0');
    for (size_t i = 0; i < ascii; ++i)
        out[i] = static_cast<char16_t>(in[i]);
    if (ascii == in.size())
        return out;
    out.reserve(in.size());
    const auto* p = reinterpret_cast<const unsigned char*>(in.data()) + ascii;
    const auto* end = reinterpret_cast<const unsigned char*>(in.data()) + in.size();
    while (p < end) {
        const unsigned char lead = *p;
        if (lead < 0x80) {
            out.push_back(lead);
            ++p;
            continue;
        }
        size_t length;
        char32_t cp;
        char32_t minimum;
        if ((lead & 0xE0) == 0xC0) {
            length = 2, cp = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, cp = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, cp = lead & 0x07, minimum = 0x10000;
        } else {
            out.push_back(kReplacement);
            ++p;
            continue;
        }
        if (static_cast<size_t>(end - p) < length) {
            out.push_back(kReplacement);
            ++p;
            continue;
        }
        bool wellFormed = true;
        for (size_t i = 1; i < length; ++i) {
            if (!IsContinuation(p[i])) {
                wellFormed = false;
                break;
            }
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (!wellFormed || cp < minimum || cp > 0x10FFFF) {
            out.push_back(kReplacement);
            ++p;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            // A three-byte surrogate half is kept as it is: pairs written the old
            // way come out as the same pair.
            out.push_back(static_cast<char16_t>(cp));
        }
        p += length;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view in) {
    // Text is mostly ASCII: the leading run is copied unit for unit.
    size_t ascii = 0;
    while (ascii < in.size() && in[ascii] < 0x80)
        ++ascii;
    std::string out(ascii, '\0');
    for (size_t i = 0; i < ascii; ++i)
        out[i] = static_cast<char>(in[i]);
    if (ascii == in.size())
        return out;
    out.reserve(in.size() + in.size() / 2);
    for (size_t i = ascii; i < in.size(); ++i) {
        char32_t unit = in[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
            in[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (in[i + 1] - 0xDC00));
            ++i;
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

} // namespace orvex
