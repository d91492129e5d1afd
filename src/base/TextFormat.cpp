#include "base/TextFormat.h"

#include "base/NumberText.h"

namespace orvex {

namespace {

// appendValue(out, index) puts in the value at index; index < count always.
template <class Char, class AppendValue>
std::basic_string<Char> FormatWith(std::basic_string_view<Char> format, size_t count,
                                   TMissingValue missing, AppendValue appendValue) {
    std::basic_string<Char> out;
    out.reserve(format.size() + 32);
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        const Char c = format[i];
        if (c != Char('%') || i + 1 == format.size()) {
            out += c;
            continue;
        }
        switch (format[i + 1]) {
        case Char('%'):
            out += Char('%');
            ++i;
            break;
        case Char('s'):
        case Char('S'):
        case Char('d'):
        case Char('D'):
            if (next < count)
                appendValue(out, next);
            else if (missing == TMissingValue::StaysVisible)
                out.append(format.substr(i, 2));
            ++next;
            ++i;
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

std::u16string TFormatValue::ToText() const {
    if (FKind == fkText)
        return std::u16string(FText);
    return FKind == fkSigned ? IntToText(FSigned) : IntToText(FUnsigned);
}

std::u16string FormatTolerant(std::u16string_view format, std::span<const TFormatValue> values,
                              TMissingValue missing) {
    return FormatWith(format, values.size(), missing,
                      [&](std::u16string& out, size_t index) { out += values[index].ToText(); });
}

std::string FormatTolerant(std::string_view format, std::initializer_list<std::string_view> values,
                           TMissingValue missing) {
    return FormatWith(format, values.size(), missing,
                      [&](std::string& out, size_t index) { out += values.begin()[index]; });
}

} // namespace orvex
