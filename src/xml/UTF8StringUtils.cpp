#include "xml/UTF8StringUtils.h"

#include "base/AsciiText.h"
#include "base/CodePage1252.h"
#include "base/Utf.h"
#include "xml/XmlErrors.h"
#include "xml/XmlMessages.h"
#include "xml/XmlStreams.h"

#include <charconv>
#include <cstring>

namespace orvex {

namespace {

bool IsContinuation(const char* p, const char* end) {
    return p < end && (static_cast<unsigned char>(*p) & 0xC0) == 0x80;
}

// A code point that XML 1.0 allows as a character.
bool IsXmlChar(uint32_t cp) {
    return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
           (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

// Replacement of one reference (from "&" through ";"), or false to keep it.
bool ResolveReference(std::string_view ref, std::string& out) {
    const std::string_view name = ref.substr(1, ref.size() - 2);
    if (name.empty() || name[0] != '#') {
        static constexpr std::string_view kNames[] = {"amp", "lt", "gt", "apos", "quot"};
        static constexpr char kChars[] = {'&', '<', '>', '\'', '"'};
        for (size_t i = 0; i < std::size(kNames); ++i) {
            if (name == kNames[i]) {
                out.push_back(kChars[i]);
                return true;
            }
        }
        return false;
    }
    std::string_view code = name.substr(1);
    int base = 10;
    if (!code.empty() && (code[0] == 'x' || code[0] == 'X')) {
        code.remove_prefix(1);
        base = 16;
    }
    uint32_t cp = 0;
    const auto [end, ec] = std::from_chars(code.data(), code.data() + code.size(), cp, base);
    if (code.empty() || ec != std::errc() || end != code.data() + code.size() || !IsXmlChar(cp))
        return false;
    AppendUtf8(out, cp);
    return true;
}

} // namespace

int UTF8CharLength(const char* p, const char* end) {
    if (!p || p >= end)
        return 0;
    const auto lead = static_cast<unsigned char>(*p);
    int length = 1;
    if ((lead & 0xE0) == 0xC0)
        length = 2;
    else if ((lead & 0xF0) == 0xE0)
        length = 3;
    else if ((lead & 0xF8) == 0xF0)
        length = 4;
    for (int i = 1; i < length; ++i)
        if (!IsContinuation(p + i, end))
            return 1;
    return length;
}

const char* UTF8SkipChars(const char* p, int64_t budget, int count) {
    if (!p)
        return nullptr;
    const char* end = p + (budget > 0 ? budget : 0);
    while (count > 0 && budget > 0) {
        const int length = UTF8CharLength(p, end);
        p += length;
        budget -= length;
        --count;
    }
    return (count == 0 && budget >= 0) ? p : nullptr;
}

std::string UTF8Copy(std::string_view text, int index, int count) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    const char* start = UTF8SkipChars(begin, static_cast<int64_t>(text.size()), index - 1);
    if (!start || index < 1 || count < 1)
        return {};
    const char* stop = UTF8SkipChars(start, end - start, count);
    if (!stop)
        stop = end;
    return std::string(start, stop);
}

int UTF8BufferLength(const char* p, int64_t length) {
    if (!p || length < 1)
        return 0;
    const char* end = p + length;
    int count = 0;
    while (p < end) {
        p += UTF8CharLength(p, end);
        ++count;
    }
    return count;
}

int UTF8Length(std::string_view text) {
    return UTF8BufferLength(text.data(), static_cast<int64_t>(text.size()));
}

std::string UTF8Trim(std::string_view text) {
    // Codes 0-32 are single bytes in UTF-8, so trimming bytes trims characters.
    size_t first = 0;
    size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= 32)
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32)
        --last;
    return std::string(text.substr(first, last - first));
}

const char* xmStrScan(const char* text, char c) {
    if (!text)
        return nullptr;
    for (; *text; ++text)
        if (*text == c)
            return text;
    return nullptr;
}

int xmPos(std::string_view pattern, std::string_view text) {
    if (pattern.empty() || pattern.size() > text.size())
        return 0;
    const size_t at = text.find(pattern);
    return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

void xmAppendChar(std::string& text, char c) { text.push_back(c); }

std::string xmQuotedStr(std::string_view text, char quote) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back(quote);
    for (char c : text) {
        out.push_back(c);
        if (c == quote)
            out.push_back(quote);
    }
    out.push_back(quote);
    return out;
}

std::string xmExtractQuotedStr(std::string_view text, char quote) {
    if (text.empty() || text[0] != quote)
        return {};
    std::string out;
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] != quote) {
            out.push_back(text[i]);
        } else if (i + 1 < text.size() && text[i + 1] == quote) {
            out.push_back(quote);
            ++i;
        } else {
            return out;
        }
    }
    // No closing quote: the last byte is taken for it.
    if (!out.empty())
        out.pop_back();
    return out;
}

std::string Utf8StringReplaceAll(std::string_view text, std::string_view oldPattern,
                                 std::string_view newPattern) {
    if (oldPattern.empty())
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    size_t from = 0;
    for (size_t at; (at = text.find(oldPattern, from)) != std::string_view::npos;
         from = at + oldPattern.size()) {
        out.append(text.substr(from, at - from));
        out.append(newPattern);
    }
    out.append(text.substr(from));
    return out;
}

std::string Utf8RemoveBlanks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (!IsXmlBlank(c))
            out.push_back(c);
    return out;
}

bool Utf8MatchAt(std::string_view pattern, std::string_view text, int position) {
    if (position < 1)
        return false;
    const size_t start = static_cast<size_t>(position - 1);
    if (start > text.size() || text.size() - start < pattern.size())
        return false;
    for (size_t i = 0; i < pattern.size(); ++i)
        if (AsciiUpper(pattern[i]) != AsciiUpper(text[start + i]))
            return false;
    return true;
}

std::string Utf8TrimBlanks(std::string_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsXmlBlank(text[first]))
        ++first;
    while (last > first && IsXmlBlank(text[last - 1]))
        --last;
    return std::string(text.substr(first, last - first));
}

std::string Utf8InsertLineBreaks(std::string_view text, std::string_view separator, int width) {
    if (separator.empty() || width < 1)
        return std::string(text);
    if (width == 1)
        return std::string(text) + std::string(separator);
    const size_t step = static_cast<size_t>(width);
    std::string out;
    out.reserve(text.size() + (text.size() / step + 2) * separator.size());
    out.append(separator);
    for (size_t at = 0; at < text.size(); at += step) {
        out.append(text.substr(at, step));
        if (at + step < text.size())
            out.append(separator);
    }
    if (!text.empty())
        out.append(separator);
    return out;
}

void WriteUtf8ToStream(TStream& stream, std::string_view text) {
    if (text.empty())
        return;
    const auto size = static_cast<int64_t>(text.size());
    if (stream.Write(text.data(), size) != size)
        throw EStreamError(std::string(sxCannotWriteToOutput));
}

int64_t xmStreamWriteAt(TStream& stream, int64_t offset, const void* buffer, int64_t count) {
    return stream.Write(static_cast<const char*>(buffer) + offset, count);
}

std::string IntToUtf8(int32_t value) { return std::to_string(value); }
std::string Int64ToUtf8(int64_t value) { return std::to_string(value); }

namespace {

// The entity that stands for c in escaped text; empty for a byte written as it is.
constexpr std::string_view EntityOf(char c) {
    switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '\'': return "&apos;";
    case '"': return "&quot;";
    default: return {};
    }
}

// What escaping adds for each byte: values are escaped byte by byte, and most
// bytes add nothing.
struct TEscapeGrowth {
    uint8_t Added[256] = {};
    constexpr TEscapeGrowth() {
        for (char c : {'&', '<', '>', '\'', '"'})
            Added[static_cast<unsigned char>(c)] = static_cast<uint8_t>(EntityOf(c).size() - 1);
    }
};
constexpr TEscapeGrowth kEscapeGrowth;

} // namespace

std::string Utf8EscapeText(std::string_view text) {
    std::string out(Utf8EscapedLength(text), '\0');
    Utf8EscapeInto(out.data(), text);
    return out;
}

size_t Utf8EscapedLength(std::string_view text) {
    size_t length = text.size();
    for (char c : text)
        length += kEscapeGrowth.Added[static_cast<unsigned char>(c)];
    return length;
}

char* Utf8EscapeInto(char* out, std::string_view text) {
    for (char c : text) {
        if (!kEscapeGrowth.Added[static_cast<unsigned char>(c)]) {
            *out++ = c;
            continue;
        }
        const std::string_view entity = EntityOf(c);
        std::memcpy(out, entity.data(), entity.size());
        out += entity.size();
    }
    return out;
}

std::string Utf8ResolveEntities(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::string_view rest = text;
    while (!rest.empty()) {
        const size_t amp = rest.find('&');
        if (amp == std::string_view::npos)
            break;
        out.append(rest.substr(0, amp));
        rest.remove_prefix(amp);
        const size_t semi = rest.find(';');
        if (semi == std::string_view::npos)
            break;
        const std::string_view ref = rest.substr(0, semi + 1);
        rest.remove_prefix(semi + 1);
        if (!ResolveReference(ref, out))
            out.append(ref);
    }
    out.append(rest);
    return out;
}

std::string Utf8QuoteText(std::string_view text) {
    return xmQuotedStr(text, text.find('"') == std::string_view::npos ? '"' : '\'');
}

bool Utf8PlainQuotedText(std::string_view quoted, std::string_view& text) {
    if (quoted.size() < 2 || !IsXmlQuote(quoted[0]) || quoted.back() != quoted[0])
        return false;
    const std::string_view inner = quoted.substr(1, quoted.size() - 2);
    if (inner.find(quoted[0]) != std::string_view::npos || inner.find('&') != std::string_view::npos)
        return false;
    text = inner;
    return true;
}

std::string Utf8UnquoteText(std::string_view text) {
    if (text.size() >= 2 && IsXmlQuote(text[0]))
        return xmExtractQuotedStr(text, text[0]);
    return std::string(text);
}

std::string UnicodeToUtf8(std::u16string_view text) { return Utf16ToUtf8(text); }
std::u16string Utf8ToUnicode(std::string_view text) { return Utf8ToUtf16(text); }
size_t Utf16ToUtf8Buffer(char* destination, size_t destinationSize, const char16_t* source,
                         size_t sourceLength) {
    if (!destination || !source || destinationSize == 0)
        return 0;
    const char16_t* end = source + sourceLength;
    size_t used = 0;
    while (source < end) {
        char32_t cp;
        const size_t units = DecodeUtf16(source, end, cp);
        char bytes[4];
        const size_t length = EncodeUtf8(cp, bytes);
        if (destinationSize - used < length + 1)
            break;
        for (size_t i = 0; i < length; ++i)
            destination[used++] = bytes[i];
        source += units;
    }
    destination[used++] = '\0';
    return used;
}

size_t Utf8ToUtf16Buffer(char16_t* destination, size_t destinationSize, const char* source,
                         size_t sourceLength) {
    if (!destination || !source || destinationSize == 0)
        return 0;
    const char* end = source + sourceLength;
    size_t used = 0;
    while (source < end) {
        char32_t cp;
        bool wellFormed;
        const size_t bytes = DecodeUtf8(source, end, cp, wellFormed);
        const size_t units = cp >= 0x10000 ? 2 : 1;
        if (destinationSize - used < units + 1)
            break;
        if (units == 2) {
            destination[used++] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            destination[used++] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            destination[used++] = static_cast<char16_t>(cp);
        }
        source += bytes;
    }
    destination[used++] = u'\0';
    return used;
}

std::string AnsiToUtf8(std::string_view ansi) { return Utf16ToUtf8(Cp1252ToUtf16(ansi)); }
std::string Utf8ToAnsi(std::string_view text) { return Utf16ToCp1252(Utf8ToUtf16(text)); }

} // namespace orvex
