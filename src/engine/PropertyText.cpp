#include "engine/PropertyText.h"

#include "base/AsciiText.h"
#include "base/CaseFold.h"
#include "base/NumberText.h"
#include "base/Utf.h"

#include <charconv>

namespace orvex {

bool IsTrueText(std::u16string_view text) { return SameAsciiText(text, u"True"); }

std::u16string BoolToText(bool value) { return value ? u"True" : u"False"; }

std::u16string NextToken(std::u16string& source, char16_t delimiter) {
    size_t at = source.find(delimiter);
    std::u16string token;
    if (at == std::u16string::npos) {
        token.swap(source);
        return token;
    }
    token = source.substr(0, at);
    source.erase(0, at + 1);
    return token;
}

int32_t TextToInteger(std::u16string_view text) {
    std::string ascii;
    bool plain = !text.empty();
    for (char16_t c : text) {
        if (c > 0x7F) {
            plain = false;
            break;
        }
        ascii += static_cast<char>(c);
    }
    size_t start = (plain && ascii[0] == '+') ? 1 : 0;
    int32_t value = 0;
    if (plain && start < ascii.size() && !(start == 1 && ascii[1] == '-')) {
        const char* end = ascii.data() + ascii.size();
        auto result = std::from_chars(ascii.data() + start, end, value, 10);
        if (result.ec == std::errc() && result.ptr == end) return value;
    }
    throw EPropertyValueError("'" + Utf16ToUtf8(text) + "' is not a valid integer value");
}

std::u16string BinaryToText(const std::vector<std::u16string>& elements) {
    std::u16string out;
    for (const auto& element : elements) {
        out += element;
        out += u' ';
    }
    return out;
}

std::vector<std::u16string> TextToBinary(std::u16string_view text) {
    std::vector<std::u16string> pieces;
    while (!text.empty()) {
        size_t blank = text.find(u' ');
        if (blank == std::u16string_view::npos) {
            pieces.emplace_back(text);
            break;
        }
        pieces.emplace_back(text.substr(0, blank));
        text.remove_prefix(blank + 1);
    }
    return pieces;
}

std::u16string FilterExpandSzText(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        bool control = c < 0x20 || (c >= 0x80 && c <= 0x9F);
        if (!control) out += c;
    }
    return out;
}

namespace {

// "U+0001": the way characters are named to the user.
std::u16string CodePointText(char16_t c) {
    static const char16_t digits[] = u"0123456789ABCDEF";
    std::u16string out = u"U+";
    for (int shift = 12; shift >= 0; shift -= 4) out += digits[(c >> shift) & 0xF];
    return out;
}

} // namespace

std::u16string XmlTextProblem(std::u16string_view text, TLineControls lineControls) {
    if (IsPlainXmlText(text)) return {};
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0x20 && c < 0xD800) continue;  // nearly every character
        bool allowed = c >= 0x20 && c < 0xFFFE;
        if (c == u'\t' || c == u'\n' || c == u'\r') allowed = lineControls == TLineControls::lcAllowed;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            ++i;  // a pair stands for one character beyond U+FFFF
            continue;
        }
        if (c >= 0xD800 && c <= 0xDFFF) allowed = false;
        if (!allowed)
            return u"the character " + CodePointText(c) + u" at position " + IntToText(int64_t(i) + 1) +
                   u", which cannot be written to the backup file";
    }
    return {};
}

std::u16string IPSecurityToText(const TIPSecurityText& value) {
    std::u16string out = u"GrantByDefault=" + BoolToText(value.GrantByDefault) + u";";
    for (const auto& entry : value.Entries) {
        out += entry;
        out += u';';
    }
    return out;
}

TIPSecurityText TextToIPSecurity(std::u16string_view text) {
    std::u16string rest(text);
    std::u16string first = NextToken(rest, u';');
    size_t equal = first.find(u'=');
    TIPSecurityText result;
    result.GrantByDefault = IsTrueText(equal == std::u16string::npos ? first : first.substr(equal + 1));
    while (!rest.empty()) {
        std::u16string entry = NextToken(rest, u';');
        if (!entry.empty()) result.Entries.push_back(std::move(entry));
    }
    return result;
}

} // namespace orvex
