#include "keyedconfig/VeldarVariant.h"

#include "base/AsciiText.h"
#include "base/NumberText.h"
#include "base/TextFormat.h"
#include "base/Utf.h"
#include "keyedconfig/VeldarmarkMessages.h"
#include "keyedconfig/XPathText.h"
#include "xml/XmlValueConversions.h"

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
    bool ok = false;
    TVeldarVariant result;
    switch (type) {
    case vtEmpty:
    case vtString:
        return TVeldarVariant(std::u16string(text));
    case vtBoolean: {
        bool value = false;
        ok = TextToBoolean(text8, value);
        result = value;
        break;
    }
    case vtInteger: {
        int32_t value = 0;
        ok = TryUtf8ToInt32(text8, value);
        result = value;
        break;
    }
    case vtInt64: {
        int64_t value = 0;
        ok = TryUtf8ToInt64(text8, value);
        result = value;
        break;
    }
    case vtDouble: {
        double value = 0;
        ok = TryUtf8ToFloat(text8, value);
        result = value;
        break;
    }
    case vtDate:
        try {
            result = TVeldarVariant::FromDate(IsoDateToDateTime(text8, false));
            ok = true;
        } catch (const std::exception&) {
            ok = false;
        }
        break;
    }
    if (ok)
        return result;
    errorText = FormatTolerant(VeldarMessage(vmErrorConvertingValue), {text, VarTypeName(type)},
                               TMissingValue::StaysVisible);
    return {};
}

} // namespace orvex
