#include "support/DateTimeText.h"

namespace orvex {

namespace {

void AppendDigits(std::u16string& out, int value, int width) {
    char16_t digits[12];
    int count = 0;
    unsigned rest = value < 0 ? 0u : static_cast<unsigned>(value);
    do {
        digits[count++] = static_cast<char16_t>(u'0' + rest % 10);
        rest /= 10;
    } while (rest != 0 && count < 12);
    for (int pad = count; pad < width; ++pad)
        out += u'0';
    while (count > 0)
        out += digits[--count];
}

// "hh:nn:ss"
void AppendTime(std::u16string& out, const TLocalDateTime& time) {
    AppendDigits(out, time.hour, 2);
    out += u':';
    AppendDigits(out, time.minute, 2);
    out += u':';
    AppendDigits(out, time.second, 2);
}

} // namespace

std::u16string FormatStandardDateTime(const TLocalDateTime& time) {
    std::u16string text;
    AppendDigits(text, time.year, 4);
    text += u'-';
    AppendDigits(text, time.month, 2);
    text += u'-';
    AppendDigits(text, time.day, 2);
    if (time.hour == 0 && time.minute == 0 && time.second == 0 && time.millisecond == 0)
        return text;
    text += u' ';
    AppendTime(text, time);
    return text;
}

std::u16string FormatTestingLogTime(const TLocalDateTime& time) {
    static constexpr const char16_t* kMonths[12] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                                    u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
    std::u16string text;
    AppendDigits(text, time.year, 4);
    text += u'-';
    text += time.month >= 1 && time.month <= 12 ? kMonths[time.month - 1] : u"???";
    text += u'-';
    AppendDigits(text, time.day, 2);
    text += u' ';
    AppendTime(text, time);
    text += u':';
    AppendDigits(text, time.millisecond, 3);
    return text;
}

std::u16string FormatDateYymmdd(const TLocalDateTime& time) {
    std::u16string text;
    AppendDigits(text, time.year % 100, 2);
    AppendDigits(text, time.month, 2);
    AppendDigits(text, time.day, 2);
    return text;
}

std::u16string FormatDateYyyymmdd(const TLocalDateTime& time) {
    std::u16string text;
    AppendDigits(text, time.year, 4);
    return text + FormatDateYymmdd(time).substr(2);
}

} // namespace orvex
