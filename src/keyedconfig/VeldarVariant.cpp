#include "keyedconfig/VeldarVariant.h"

#include "base/AsciiText.h"
#include "base/NumberText.h"
#include "base/TextFormat.h"
#include "base/Utf.h"
#include "keyedconfig/VeldarmarkMessages.h"
#include "keyedconfig/XPathText.h"
#include "xml/XmlValueConversions.h"

#include <optional>

namespace orvex {

namespace {

bool TextToBoolean(std::string_view text, bool& value) {
    std::string lower;
    for (char c : text)
        if (c != ' ' && c != '\t')
            lower += AsciiLower(c);
    if (lower == "true" || lower == "false") {
        value = lower == "true";
        return true;
    }
    double number = 0;
    if (!TryUtf8ToFloat(text, number))
        return false;
    value = number != 0;
    return true;
}

// What parse reads from text; nothing when it reads no value.
template <class T>
std::optional<TVeldarVariant> Parsed(bool (*parse)(std::string_view, T&), std::string_view text) {
    T value{};
    if (!parse(text, value))
        return std::nullopt;
    return TVeldarVariant(value);
}

std::optional<TVeldarVariant> ParsedDate(std::string_view text) {
    try {
        return TVeldarVariant::FromDate(IsoDateToDateTime(text, false));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

TVeldarVariant TVeldarVariant::FromDate(TDateTime value) {
    TVeldarVariant result;
    result.FValue = TDate{value};
    return result;
}

TVeldarVarType TVeldarVariant::VarType() const {
    return static_cast<TVeldarVarType>(FValue.index());
}

std::u16string TVeldarVariant::ToText() const {
    switch (VarType()) {
    case vtEmpty:
        return {};
    case vtBoolean:
        return AsBoolean() ? u"True" : u"False";
    case vtInteger:
        return IntToText(AsInteger());
    case vtInt64:
        return IntToText(AsInt64());
    case vtDouble:
        return TPiece(AsDouble()).ToText();
    case vtDate:
        return Utf8ToUtf16(DateTimeToIsoDate(false, AsDate()));
    case vtString:
        return AsString();
    }
    return {};
}

std::u16string_view VarTypeName(TVeldarVarType type) {
    switch (type) {
    case vtEmpty:
        return u"Empty";
    case vtBoolean:
        return u"Boolean";
    case vtInteger:
        return u"Integer";
    case vtInt64:
        return u"Int64";
    case vtDouble:
        return u"Double";
    case vtDate:
        return u"Date";
    case vtString:
        return u"UnicodeString";
    }
    return u"Unknown";
}

TVeldarVariant TextToVariantOfType(std::u16string_view text, TVeldarVarType type,
                                   std::u16string& errorText) {
    errorText.clear();
    const std::string text8 = Utf16ToUtf8(text);
    std::optional<TVeldarVariant> result;
    switch (type) {
    case vtEmpty:
    case vtString:
        return TVeldarVariant(std::u16string(text));
    case vtBoolean: result = Parsed(TextToBoolean, text8); break;
    case vtInteger: result = Parsed(TryUtf8ToInt32, text8); break;
    case vtInt64: result = Parsed(TryUtf8ToInt64, text8); break;
    case vtDouble: result = Parsed(TryUtf8ToFloat, text8); break;
    case vtDate: result = ParsedDate(text8); break;
    }
    if (result)
        return *result;
    errorText = FormatTolerant(VeldarMessage(vmErrorConvertingValue), {text, VarTypeName(type)},
                               TMissingValue::StaysVisible);
    return {};
}

} // namespace orvex
