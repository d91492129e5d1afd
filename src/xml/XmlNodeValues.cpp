// Typed values of a node, of its named children and of its attributes, and its
// binary content.
#include "base/AsciiText.h"
#include "xml/UTF8StringUtils.h"
#include "xml/XmlErrors.h"
#include "xml/XmlMessages.h"
#include "xml/XmlNode.h"
#include "xml/XmlValueConversions.h"

namespace orvex {

namespace {

// Switches the document to base64 for one call, also when it raises.
class TBase64Switch {
public:
    explicit TBase64Switch(TUtf8XmlNode& node) : FNode(node), FSaved(node.BinaryEncoding()) {
        FNode.SetBinaryEncoding(xbeBase64);
    }
    ~TBase64Switch() { FNode.SetBinaryEncoding(FSaved); }
    TBase64Switch(const TBase64Switch&) = delete;
    TBase64Switch& operator=(const TBase64Switch&) = delete;

private:
    TUtf8XmlNode& FNode;
    TBinaryEncodingType FSaved;
};

std::string HexText(int32_t value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    auto bits = static_cast<uint32_t>(value);
    std::string hex;
    do {
        hex.insert(hex.begin(), kDigits[bits & 0xF]);
        bits >>= 4;
    } while (bits != 0);
    if (static_cast<int>(hex.size()) < digits)
        hex.insert(0, static_cast<size_t>(digits) - hex.size(), '0');
    return "$" + hex;
}

} // namespace

// --- The node's own value ---

std::string TUtf8XmlNode::ValueAsString() const {
    if (FElementType == xeNormal)
        return UnescapeString(Utf8TrimBlanks(FValue));
    return UnescapeString(FValue);
}

void TUtf8XmlNode::SetValueAsString(std::string_view value) { FValue = Utf8EscapeText(value); }

std::u16string TUtf8XmlNode::ValueAsUnicodeString() const { return ToUnicodeString(ValueAsString()); }

void TUtf8XmlNode::SetValueAsUnicodeString(std::u16string_view value) {
    SetValueAsString(FromUnicodeString(value));
}

bool TUtf8XmlNode::ValueAsBool() const { return Utf8ToBool(FValue); }
void TUtf8XmlNode::SetValueAsBool(bool value) { FValue = BoolToUtf8(value); }
int32_t TUtf8XmlNode::ValueAsInteger() const { return Utf8ToInt32(FValue); }
void TUtf8XmlNode::SetValueAsInteger(int32_t value) { FValue = IntToUtf8(value); }
int64_t TUtf8XmlNode::ValueAsInt64() const { return Utf8ToInt64(FValue); }
void TUtf8XmlNode::SetValueAsInt64(int64_t value) { FValue = Int64ToUtf8(value); }
double TUtf8XmlNode::ValueAsFloat() const { return Utf8ToFloat(FValue); }

void TUtf8XmlNode::SetValueAsFloat(double value) {
    FValue = FloatToUtf8Significant(FloatSignificantDigits(), FloatAllowScientific(), value);
}

TDateTime TUtf8XmlNode::ValueAsDateTime() const {
    return IsoDateToDateTime(ValueAsString(), UseLocalBias());
}

void TUtf8XmlNode::SetValueAsDateTime(TDateTime value) {
    SetValueAsString(DateTimeToIsoDate(UseLocalBias(), value));
}

std::string TUtf8XmlNode::BinaryString() {
    TBase64Switch base64(*this);
    std::string bytes(BufferLength(), '\0');
    BufferRead(bytes.data(), bytes.size());
    return bytes;
}

void TUtf8XmlNode::SetBinaryString(std::string_view bytes) {
    TBase64Switch base64(*this);
    if (bytes.empty())
        FValue.clear();
    else
        BufferWrite(bytes.data(), bytes.size());
}

// --- Values with a fallback ---

bool TUtf8XmlNode::ValueAsBoolDef(bool fallback) const {
    if (FValue.empty())
        return fallback;
    switch (AsciiUpper(FValue.View()[0])) {
    case 'T': case 'Y': return true;
    case 'F': case 'N': return false;
    default: return fallback;
    }
}

int32_t TUtf8XmlNode::ValueAsIntegerDef(int32_t fallback) const {
    int32_t value = 0;
    return TryUtf8ToInt32(FValue, value) ? value : fallback;
}

int64_t TUtf8XmlNode::ValueAsInt64Def(int64_t fallback) const {
    int64_t value = 0;
    return TryUtf8ToInt64(FValue, value) ? value : fallback;
}

double TUtf8XmlNode::ValueAsFloatDef(double fallback) const {
    double value = 0;
    return TryUtf8ToFloat(FValue, value) ? value : fallback;
}

TDateTime TUtf8XmlNode::ValueAsDateTimeDef(TDateTime fallback) const {
    return IsoDateToDateTimeDef(ValueAsString(), false, fallback);
}

// --- Named children ---

std::string TUtf8XmlNode::ReadString(std::string_view name, std::string_view fallback) const {
    const TUtf8XmlNode* child = NodeByName(name);
    return child ? child->ValueAsString() : std::string(fallback);
}

std::u16string TUtf8XmlNode::ReadUnicodeString(std::string_view name,
                                               std::u16string_view fallback) const {
    return ToUnicodeString(ReadString(name, FromUnicodeString(fallback)));
}

bool TUtf8XmlNode::ReadBool(std::string_view name, bool fallback) const {
    const TUtf8XmlNode* child = NodeByName(name);
    return child ? child->ValueAsBoolDef(fallback) : fallback;
}

int32_t TUtf8XmlNode::ReadInteger(std::string_view name, int32_t fallback) const {
    const TUtf8XmlNode* child = NodeByName(name);
    return child ? child->ValueAsIntegerDef(fallback) : fallback;
}

int64_t TUtf8XmlNode::ReadInt64(std::string_view name, int64_t fallback) const {
    const TUtf8XmlNode* child = NodeByName(name);
    return child ? child->ValueAsInt64Def(fallback) : fallback;
}

double TUtf8XmlNode::ReadFloat(std::string_view name, double fallback) const {
    const TUtf8XmlNode* child = NodeByName(name);
    return child ? child->ValueAsFloatDef(fallback) : fallback;
}

TDateTime TUtf8XmlNode::ReadDateTime(std::string_view name, TDateTime fallback) const {
    return IsoDateToDateTimeDef(ReadString(name), false, fallback);
}

void TUtf8XmlNode::WriteString(std::string_view name, std::string_view value,
                               std::string_view fallback) {
    if (!WriteOnDefault() && value == fallback)
        return;
    NodeFindOrCreate(name)->SetValueAsString(value);
}

void TUtf8XmlNode::WriteUnicodeString(std::string_view name, std::u16string_view value,
                                      std::u16string_view fallback) {
    WriteString(name, FromUnicodeString(value), FromUnicodeString(fallback));
}

void TUtf8XmlNode::WriteBool(std::string_view name, bool value, bool fallback) {
    if (!WriteOnDefault() && value == fallback)
        return;
    NodeFindOrCreate(name)->SetValueAsString(value ? "True" : "False");
}

void TUtf8XmlNode::WriteInteger(std::string_view name, int32_t value, int32_t fallback) {
    if (!WriteOnDefault() && value == fallback)
        return;
    NodeFindOrCreate(name)->SetValueAsString(IntToUtf8(value));
}

void TUtf8XmlNode::WriteInt64(std::string_view name, int64_t value, int64_t fallback) {
    if (!WriteOnDefault() && value == fallback)
        return;
    NodeFindOrCreate(name)->SetValueAsString(Int64ToUtf8(value));
}

void TUtf8XmlNode::WriteFloat(std::string_view name, double value, double fallback) {
    if (!WriteOnDefault() && value == fallback)
        return;
    // Formatted before the child exists, so a value that cannot be written adds nothing.
    const std::string text =
        FloatToUtf8Significant(FloatSignificantDigits(), FloatAllowScientific(), value);
    NodeFindOrCreate(name)->SetValueAsString(text);
}

void TUtf8XmlNode::WriteDateTime(std::string_view name, TDateTime value, TDateTime fallback) {
    if (!WriteOnDefault() && value == fallback)
        return;
    WriteString(name, DateTimeToIsoDate(UseLocalBias(), value));
}

void TUtf8XmlNode::WriteHex(std::string_view name, int32_t value, int digits, int32_t fallback) {
    if (!WriteOnDefault() && value == fallback)
        return;
    NodeFindOrCreate(name)->SetValueAsString(HexText(value, digits));
}

// --- Attributes ---

std::string TUtf8XmlNode::ReadAttributeString(std::string_view name,
                                              std::string_view fallback) const {
    std::string text = AttributeByName(name);
    return text.empty() ? std::string(fallback) : text;
}

bool TUtf8XmlNode::ReadAttributeBool(std::string_view name, bool fallback) const {
    const std::string text = AttributeByName(name);
    if (text.empty())
        return fallback;
    try {
        return Utf8ToBool(text);
    } catch (const EXmlError&) {
        return fallback;
    }
}

int32_t TUtf8XmlNode::ReadAttributeInteger(std::string_view name, int32_t fallback) const {
    int32_t value = 0;
    return TryUtf8ToInt32(AttributeByName(name), value) ? value : fallback;
}

int64_t TUtf8XmlNode::ReadAttributeInt64(std::string_view name, int64_t fallback) const {
    int64_t value = 0;
    return TryUtf8ToInt64(AttributeByName(name), value) ? value : fallback;
}

double TUtf8XmlNode::ReadAttributeFloat(std::string_view name, double fallback) const {
    double value = 0;
    return TryUtf8ToFloat(AttributeByName(name), value) ? value : fallback;
}

TDateTime TUtf8XmlNode::ReadAttributeDateTime(std::string_view name, TDateTime fallback) const {
    const std::string text = AttributeByName(name);
    return text.empty() ? fallback : IsoDateToDateTimeDef(text, false, fallback);
}

void TUtf8XmlNode::WriteAttributeString(std::string_view name, std::string_view value,
                                        std::string_view fallback) {
    if (!WriteOnDefault() && value == fallback)
        return;
    const int index = AttributeIndexByName(name);
    if (index < 0)
        AttributeAdd(name, value);
    else
        SetAttributeValue(index, value);
}

void TUtf8XmlNode::WriteAttributeBool(std::string_view name, bool value, bool fallback) {
    if (WriteOnDefault() || value != fallback)
        WriteAttributeString(name, BoolToUtf8(value));
}

void TUtf8XmlNode::WriteAttributeInteger(std::string_view name, int32_t value, int32_t fallback) {
    if (WriteOnDefault() || value != fallback)
        WriteAttributeString(name, IntToUtf8(value));
}

void TUtf8XmlNode::WriteAttributeInt64(std::string_view name, int64_t value, int64_t fallback) {
    if (WriteOnDefault() || value != fallback)
        WriteAttributeString(name, Int64ToUtf8(value));
}

void TUtf8XmlNode::WriteAttributeFloat(std::string_view name, double value, double fallback) {
    if (WriteOnDefault() || value != fallback)
        WriteAttributeString(
            name, FloatToUtf8Significant(FloatSignificantDigits(), FloatAllowScientific(), value));
}

void TUtf8XmlNode::WriteAttributeDateTime(std::string_view name, TDateTime value,
                                          TDateTime fallback) {
    if (WriteOnDefault() || value != fallback)
        WriteAttributeString(name, DateTimeToIsoDate(UseLocalBias(), value));
}

// --- Binary content ---

void TUtf8XmlNode::BufferWrite(const char* buffer, size_t count) {
    std::string encoded;
    if (count > 0) {
        const std::string_view bytes(buffer, count);
        encoded = BinaryEncoding() == xbeBinHex ? EncodeBinHex(bytes) : EncodeBase64(bytes);
    }
    FValue = Utf8InsertLineBreaks(encoded, LineFeed() + Indent(), 76);
}

size_t TUtf8XmlNode::BufferLength() const {
    const std::string text = Utf8RemoveBlanks(FValue);
    const size_t length = text.size();
    if (BinaryEncoding() == xbeBinHex) {
        if (length % 2 != 0)
            throw EFilerError(std::string(sxErrorCalcStreamLength));
        return length / 2;
    }
    if (length % 4 != 0)
        throw EFilerError(std::string(sxErrorCalcStreamLength));
    size_t count = length / 4 * 3;
    if (length > 0 && text[length - 1] == '=') {
        --count;
        if (text[length - 2] == '=')
            --count;
    }
    return count;
}

void TUtf8XmlNode::BufferRead(char* buffer, size_t count) const {
    const std::string text = Utf8RemoveBlanks(FValue);
    if (BinaryEncoding() == xbeBinHex)
        DecodeBinHex(text, buffer, count);
    else
        DecodeBase64(text, buffer, count);
}

} // namespace orvex
