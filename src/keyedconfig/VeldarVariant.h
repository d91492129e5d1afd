#pragma once
// The typed values the keyed document reads and writes: empty, Boolean, 32- and
// 64-bit integers, floating point, date-time and text. Conversions to and from
// text never depend on the process locale.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "xml/XmlTypes.h"

namespace orvex {

enum TVeldarVarType : int { vtEmpty, vtBoolean, vtInteger, vtInt64, vtDouble, vtDate, vtString };

class TVeldarVariant {
public:
    TVeldarVariant() = default;
    TVeldarVariant(bool value) : FValue(value) {}
    TVeldarVariant(int32_t value) : FValue(value) {}
    TVeldarVariant(int64_t value) : FValue(value) {}
    TVeldarVariant(double value) : FValue(value) {}
    TVeldarVariant(std::u16string value) : FValue(std::move(value)) {}
    TVeldarVariant(std::u16string_view value) : FValue(std::u16string(value)) {}
    TVeldarVariant(const char16_t* value) : FValue(std::u16string(value)) {}
    static TVeldarVariant FromDate(TDateTime value);

    TVeldarVarType VarType() const;
    bool IsEmpty() const { return VarType() == vtEmpty; }
    // The held value; asking for another kind than the held one raises std::bad_variant_access.
    bool AsBoolean() const { return std::get<bool>(FValue); }
    int32_t AsInteger() const { return std::get<int32_t>(FValue); }
    int64_t AsInt64() const { return std::get<int64_t>(FValue); }
    double AsDouble() const { return std::get<double>(FValue); }
    TDateTime AsDate() const { return std::get<TDate>(FValue).Value; }
    const std::u16string& AsString() const { return std::get<std::u16string>(FValue); }

    // The text form: "" for empty, "True"/"False", decimal numbers with "." and
    // up to 15 significant digits ("3.5", "1E20"), dates as "yyyy-mm-dd" or "yyyy-mm-ddThh:nn:ss.zzz".
    std::u16string ToText() const;

    friend bool operator==(const TVeldarVariant&, const TVeldarVariant&) = default;

private:
    struct TDate {
        TDateTime Value = 0;
        friend bool operator==(const TDate&, const TDate&) = default;
    };
    std::variant<std::monostate, bool, int32_t, int64_t, double, TDate, std::u16string> FValue;
};

// The name of a type as messages show it: "Empty", "Boolean", "Integer", "Int64",
// "Double", "Date", "UnicodeString".
std::u16string_view VarTypeName(TVeldarVarType type);

// The text converted to the type. Booleans read "true"/"false" in any case or a
// number (non-zero is true); integers are decimal (or "$"/"0x" hexadecimal) within
// range; floats use "."; dates are ISO ("yyyy-mm-dd[Thh:nn:ss[.zzz]]"); vtEmpty
// and vtString give the text. A failed conversion gives an empty value and
// errorText = 65140 (text, type name).
TVeldarVariant TextToVariantOfType(std::u16string_view text, TVeldarVarType type,
                                   std::u16string& errorText);

} // namespace orvex
