#pragma once
// The program's one formatter for texts with "%s" and "%d" placeholders. Catalogue
// texts can be replaced by a file beside the executable, so a text may hold more or
// fewer placeholders than its caller has values: the formatter never throws.

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace orvex {

// One value to put into a text: a text or an integer. Text values refer to the
// caller's strings, which must outlive the call.
class TFormatValue {
public:
    TFormatValue(std::u16string_view text) : FText(text) {}
    TFormatValue(const char16_t* text) : FText(text ? text : u"") {}
    TFormatValue(const std::u16string& text) : FText(text) {}
    template <std::integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char> && !std::same_as<T, char8_t> &&
             !std::same_as<T, char16_t> && !std::same_as<T, char32_t> && !std::same_as<T, wchar_t>)
        TFormatValue(T value)
        : FKind(std::is_signed_v<T> ? fkSigned : fkUnsigned) {
        if constexpr (std::is_signed_v<T>)
            FSigned = value;
        else
            FUnsigned = value;
    }

    // The text itself, or the integer in decimal (locale-free).
    std::u16string ToText() const;

private:
    enum TKind { fkText, fkSigned, fkUnsigned };
    TKind FKind = fkText;
    std::u16string_view FText;
    int64_t FSigned = 0;
    uint64_t FUnsigned = 0;
};

// What a placeholder without a value left becomes: nothing, or itself as written
// (the keyed library's messages keep it so a wrong call still shows the text).
enum class TMissingValue { ReadsEmpty, StaysVisible };

// Replaces, left to right, each "%s" or "%d" (either letter case) with the next
// value, whatever its kind, and "%%" with "%". A placeholder without a value left
// is handled as missing says; values left over are ignored; any other "%" stays
// as it stands.
std::u16string FormatTolerant(std::u16string_view format, std::span<const TFormatValue> values,
                              TMissingValue missing = TMissingValue::ReadsEmpty);
inline std::u16string FormatTolerant(std::u16string_view format,
                                     std::initializer_list<TFormatValue> values,
                                     TMissingValue missing = TMissingValue::ReadsEmpty) {
    return FormatTolerant(format, std::span<const TFormatValue>(values.begin(), values.size()),
                          missing);
}

// The same over UTF-8 bytes with text values; bytes are copied as they stand, so
// text that is not valid UTF-8 loses nothing.
std::string FormatTolerant(std::string_view format, std::initializer_list<std::string_view> values,
                           TMissingValue missing = TMissingValue::ReadsEmpty);

} // namespace orvex
