#include "xml/XmlValueConversions.h"

#include "base/AsciiText.h"
#include "base/TextFormat.h"
#include "xml/UTF8StringUtils.h"
#include "xml/XmlErrors.h"
#include "xml/XmlMessages.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>

namespace orvex {

namespace {

constexpr double kPowersOf10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kHexDigits = "0123456789ABCDEF";
constexpr int64_t kMsPerDay = 86400000;

// Days from 1970-01-01 to a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

// Day 0 of the day numbers: 1899-12-30.
const int64_t kDayNumberEpoch = DaysFromCivil(1899, 12, 30);
const double kFirstDay = static_cast<double>(DaysFromCivil(1, 1, 1) - kDayNumberEpoch);
const double kLastDay = static_cast<double>(DaysFromCivil(9999, 12, 31) - kDayNumberEpoch);

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

void AppendPadded(std::string& out, int64_t value, int width) {
    if (value < 0) {
        out.push_back('-');
        value = -value;
    }
    const std::string digits = std::to_string(value);
    for (int i = static_cast<int>(digits.size()); i < width; ++i)
        out.push_back('0');
    out.append(digits);
}

[[noreturn]] void RaiseNotAnInteger(std::string_view text) {
    throw EXmlError(FormatTolerant(sxNotAnInteger, {text}));
}

[[noreturn]] void RaiseNotADate(std::string_view text) {
    throw EXmlError(FormatTolerant(sxNotADate, {text}));
}

// Reads a whole text as an integer that fits [minimum, maximum]; hexadecimal
// values may use the full unsigned width (so "$FFFFFFFF" is -1 for 32 bits).
template <typename TInt>
bool TryParseInteger(std::string_view text, TInt& value) {
    using TUnsigned = std::make_unsigned_t<TInt>;
    size_t i = 0;
    while (i < text.size() && IsXmlBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    const char* first = text.data() + i;
    const char* last = text.data() + text.size();
    if (first == last || *first == '-' || *first == '+')
        return false;
    TUnsigned magnitude = 0;
    const auto [end, ec] = std::from_chars(first, last, magnitude, base);
    if (ec != std::errc() || end != last)
        return false;
    const auto maxPositive = static_cast<TUnsigned>(std::numeric_limits<TInt>::max());
    if (base == 16 && !negative) {
        value = static_cast<TInt>(magnitude);
        return true;
    }
    if (negative) {
        if (magnitude > maxPositive + 1)
            return false;
        value = static_cast<TInt>(TUnsigned(0) - magnitude);
        return true;
    }
    if (magnitude > maxPositive)
        return false;
    value = static_cast<TInt>(magnitude);
    return true;
}

int DigitValue(char c, std::string_view alphabet) {
    const size_t at = alphabet.find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

} // namespace

std::string FloatToUtf8Significant(int digits, bool allowScientific, double value) {
    if (digits < 1 || digits > 9)
        throw EXmlError(std::string(sxSignificantDigitsOutOfRange));
    if (!std::isfinite(value))
        throw EXmlError(std::string(sxCannotConvertFloat));
    if (value == 0)
        return "0";
    std::string result;
    if (value < 0) {
        result.push_back('-');
        value = -value;
    }
    int n = digits;
    int e = n;
    const double lo = kPowersOf10[n - 1];
    const double hi = kPowersOf10[n];
    while (lo > value) {
        value = value * 10;
        --e;
    }
    while (hi <= value) {
        value = static_cast<double>(static_cast<long double>(value) * 0.1L);
        ++e;
    }
    int64_t d = static_cast<int64_t>(std::nearbyint(value));
    if (d == static_cast<int64_t>(hi)) {
        d /= 10;
        ++e;
    }
    while (d % 10 == 0 && e < n) {
        --n;
        d /= 10;
    }
    int exponent = 0;
    if (allowScientific && (e < -1 || e > n + 2)) {
        exponent = e - 1;
        e = 1;
    }
    std::string s;
    AppendPadded(s, d, n);
    while (e > n) {
        s.push_back('0');
        ++n;
    }
    if (e < 0)
        s.insert(0, static_cast<size_t>(-e), '0');
    if (e <= 0)
        s.insert(0, 1, '.');
    else if (e < n)
        s.insert(static_cast<size_t>(e), 1, '.');
    result.append(s);
    if (exponent != 0) {
        result.push_back('E');
        result.append(std::to_string(exponent));
    }
    return result;
}

bool TryUtf8ToInt32(std::string_view text, int32_t& value) { return TryParseInteger(text, value); }
bool TryUtf8ToInt64(std::string_view text, int64_t& value) { return TryParseInteger(text, value); }

bool TryUtf8ToFloat(std::string_view text, double& value) {
    std::string s;
    s.reserve(text.size());
    size_t i = 0;
    while (i < text.size() && IsXmlBlank(text[i]))
        ++i;
    if (i + 1 < text.size() && text[i] == '+' && text[i + 1] != '-')
        ++i;
    for (; i < text.size(); ++i)
        s.push_back(text[i] == ',' ? '.' : text[i]);
    // from_chars takes one "-" and no "+"; refuse any further sign.
    const size_t digits = !s.empty() && s[0] == '-' ? 1 : 0;
    if (s.size() == digits || s[digits] == '+' || s[digits] == '-')
        return false;
    double parsed = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), parsed);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

int32_t Utf8ToInt32(std::string_view text) {
    int32_t value = 0;
    if (!TryUtf8ToInt32(text, value))
        RaiseNotAnInteger(text);
    return value;
}

int64_t Utf8ToInt64(std::string_view text) {
    int64_t value = 0;
    if (!TryUtf8ToInt64(text, value))
        RaiseNotAnInteger(text);
    return value;
}

double Utf8ToFloat(std::string_view text) {
    double value = 0;
    if (!TryUtf8ToFloat(text, value))
        throw EXmlError(std::string(sxCannotConvertFloat));
    return value;
}

bool Utf8ToBool(std::string_view text) {
    if (!text.empty()) {
        switch (AsciiUpper(text[0])) {
        case '1': case 'T': case 'Y': return true;
        case '0': case 'F': case 'N': return false;
        default: break;
        }
    }
    throw EXmlError(std::string(sxCannotConvertBool));
}

std::string BoolToUtf8(bool value) { return value ? "true" : "false"; }

int GetTimeZoneBias() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (now == static_cast<std::time_t>(-1) || !localtime_r(&now, &local))
        return 0;
    return static_cast<int>(-local.tm_gmtoff / 60);
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59 || millisecond < 0 || millisecond > 999) {
        std::string text;
        AppendPadded(text, year, 4);
        text.push_back('-');
        AppendPadded(text, month, 2);
        text.push_back('-');
        AppendPadded(text, day, 2);
        text.push_back(' ');
        AppendPadded(text, hour, 2);
        text.push_back(':');
        AppendPadded(text, minute, 2);
        text.push_back(':');
        AppendPadded(text, second, 2);
        RaiseNotADate(text);
    }
    const int64_t days = DaysFromCivil(year, month, day) - kDayNumberEpoch;
    const int64_t ms = ((hour * 60 + minute) * 60 + second) * int64_t(1000) + millisecond;
    return static_cast<double>(days) + static_cast<double>(ms) / kMsPerDay;
}

TDateTimeParts DecodeDateTime(TDateTime value) {
    // Only 0001-01-01 up to 9999-12-31 have a text form.
    if (!(value >= kFirstDay && value < kLastDay + 1))
        throw EXmlError(std::string(sxDateOutOfRange));
    TDateTimeParts parts{};
    double dayPart = std::floor(value);
    int64_t ms = std::llround((value - dayPart) * kMsPerDay);
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        dayPart += 1;
    }
    CivilFromDays(static_cast<int64_t>(dayPart) + kDayNumberEpoch, parts.Year, parts.Month,
                  parts.Day);
    parts.Millisecond = static_cast<int>(ms % 1000);
    parts.Second = static_cast<int>(ms / 1000 % 60);
    parts.Minute = static_cast<int>(ms / 60000 % 60);
    parts.Hour = static_cast<int>(ms / 3600000);
    return parts;
}

std::string DateTimeToIsoDate(bool useLocalBias, TDateTime value) {
    const TDateTimeParts p = DecodeDateTime(value);
    std::string out;
    AppendPadded(out, p.Year, 4);
    out.push_back('-');
    AppendPadded(out, p.Month, 2);
    out.push_back('-');
    AppendPadded(out, p.Day, 2);
    if (value == std::floor(value))
        return out;
    out.push_back('T');
    AppendPadded(out, p.Hour, 2);
    out.push_back(':');
    AppendPadded(out, p.Minute, 2);
    out.push_back(':');
    AppendPadded(out, p.Second, 2);
    out.push_back('.');
    AppendPadded(out, p.Millisecond, 3);
    const int bias = useLocalBias ? GetTimeZoneBias() : 0;
    if (bias == 0) {
        out.push_back('Z');
        return out;
    }
    out.push_back(bias < 0 ? '+' : '-');
    const int magnitude = bias < 0 ? -bias : bias;
    AppendPadded(out, magnitude / 60, 2);
    out.push_back(':');
    AppendPadded(out, magnitude % 60, 2);
    return out;
}

TDateTime IsoDateToDateTime(std::string_view text, bool useLocalBias) {
    // 1-based position and length, as the format is described.
    auto field = [&](size_t position, size_t length) {
        return position <= text.size() ? text.substr(position - 1, length) : std::string_view();
    };
    auto required = [&](size_t position, size_t length) {
        int32_t value = 0;
        if (!TryUtf8ToInt32(field(position, length), value))
            RaiseNotADate(text);
        return value;
    };
    auto optional = [&](size_t position, size_t length) {
        int32_t value = 0;
        return TryUtf8ToInt32(field(position, length), value) ? value : 0;
    };
    const int year = required(1, 4);
    const int month = required(6, 2);
    const int day = required(9, 2);
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    if (text.size() >= 17) {
        hour = required(12, 2);
        minute = required(15, 2);
        second = optional(18, 2);
        millisecond = optional(21, 3);
    }
    TDateTime result = EncodeDateTime(year, month, day, hour, minute, second, millisecond);
    if (useLocalBias) {
        if (text.size() > 24) {
            int offset = required(25, 2) * 60 + required(28, 2);
            if (text[23] == '+')
                offset = -offset;
            result += offset / 1440.0;
        }
        result -= GetTimeZoneBias() / 1440.0;
    }
    return result;
}

TDateTime IsoDateToDateTimeDef(std::string_view text, bool useLocalBias, TDateTime fallback) {
    try {
        return IsoDateToDateTime(text, useLocalBias);
    } catch (const EXmlError&) {
        return fallback;
    }
}

std::string EncodeBase64(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        uint32_t group = 0;
        for (size_t k = 0; k < 3; ++k)
            group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k)
            out.push_back(k <= n ? kBase64Alphabet[(group >> (18 - 6 * k)) & 0x3F] : '=');
    }
    return out;
}

std::string EncodeBinHex(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out.push_back(kHexDigits[b >> 4]);
        out.push_back(kHexDigits[b & 0xF]);
    }
    return out;
}

void DecodeBase64(std::string_view text, char* buffer, size_t count) {
    if (text.size() / 4 * 3 < count)
        throw EFilerError(std::string(sxMissingDataInBinaryStream));
    size_t written = 0;
    for (size_t i = 0; written < count; i += 4) {
        uint32_t group = 0;
        for (size_t k = 0; k < 4; ++k) {
            const char c = text[i + k];
            int v = DigitValue(c, kBase64Alphabet);
            if (v < 0 && c == '=' && i + k + 2 >= text.size())
                v = 0;
            if (v < 0)
                throw EFilerError(std::string(sxIllegalCharInBinaryStream));
            group = (group << 6) | static_cast<uint32_t>(v);
        }
        for (size_t k = 0; k < 3 && written < count; ++k)
            buffer[written++] = static_cast<char>((group >> (16 - 8 * k)) & 0xFF);
    }
}

void DecodeBinHex(std::string_view text, char* buffer, size_t count) {
    if (text.size() < 2 * count)
        throw EFilerError(std::string(sxMissingDataInBinaryStream));
    for (size_t i = 0; i < count; ++i) {
        const int high = DigitValue(AsciiUpper(text[2 * i]), kHexDigits);
        const int low = DigitValue(AsciiUpper(text[2 * i + 1]), kHexDigits);
        if (high < 0 || low < 0)
            throw EFilerError(std::string(sxIllegalCharInBinaryStream));
        buffer[i] = static_cast<char>(high << 4 | low);
    }
}

} // namespace orvex
