#include "support/TextFormat.h"

#include <charconv>

namespace orvex {

std::u16string TFormatValue::ToText() const {
    if (FKind == fkText)
        return std::u16string(FText);
    char digits[24];
    const auto result = FKind == fkSigned ? std::to_chars(digits, digits + sizeof digits, FSigned)
                                          : std::to_chars(digits, digits + sizeof digits, FUnsigned);
    return std::u16string(digits, result.ptr);
}

std::u16string FormatTolerant(std::u16string_view format, std::span<const TFormatValue> values) {
    std::u16string out;
    out.reserve(format.size());
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        const char16_t c = format[i];
        if (c != u'%' || i + 1 == format.size()) {
            out += c;
            continue;
        }
        switch (format[i + 1]) {
        case u'%':
            out += u'%';
            ++i;
            break;
        case u's':
        case u'S':
        case u'd':
        case u'D':
            if (next < values.size())
                out += values[next].ToText();
            ++next;
            ++i;
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace orvex
