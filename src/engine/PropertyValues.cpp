#include "engine/PropertyValues.h"

#include "engine/BackupGrammar.h"
#include "engine/PropertyText.h"
#include "platform/base/AsciiText.h"
#include "platform/base/CaseFold.h"
#include "platform/base/NumberText.h"

namespace orvex {

namespace {

using namespace backupxml;

// The elements of an array value as texts; an empty text stands for no elements.
std::vector<std::u16string> ElementTexts(const TOleVariant& value) {
    std::vector<std::u16string> texts;
    if (value.Kind() == TVariantKind::vkText && value.AsText().empty()) return texts;
    const auto& items = value.AsArray();
    texts.reserve(items.size());
    for (const auto& item : items) texts.push_back(item.ToText());
    return texts;
}

std::u16string IntegerText(const TOleVariant& value) {
    switch (value.Kind()) {
    case TVariantKind::vkText:
        return IntToText(TextToInteger(value.AsText()));
    case TVariantKind::vkBoolean: return value.AsBoolean() ? u"-1" : u"0";
    default:
        return IntToText(value.AsInteger());
    }
}

bool BooleanOf(const TOleVariant& value) {
    switch (value.Kind()) {
    case TVariantKind::vkInteger: return value.AsInteger() != 0;
    case TVariantKind::vkText:
        if (IsTrueText(value.AsText())) return true;
        if (SameAsciiText(value.AsText(), u"False")) return false;
        throw EOleSysError(hr::TypeMismatch);
    default: return value.AsBoolean();
    }
}

std::u16string IPSecurityText(const TOleVariant& value) {
    TIPSecurityText ipsec;
    ipsec.GrantByDefault = BooleanOf(value.Property(u"GrantByDefault"));
    ipsec.Entries = ElementTexts(value.Property(ipsec.GrantByDefault ? u"IPDeny" : u"IPGrant"));
    return IPSecurityToText(ipsec);
}

} // namespace

TPropertyText PropertyValueToText(std::u16string_view type, const TOleVariant& value) {
    TPropertyText text;
    bool known = type == TypeString || type == TypeExpandSz || type == TypeBinary || type == TypeInteger ||
                 type == TypeBoolean || type == TypeList || type == TypeIPSec;
    text.Type = known ? type : TypeUnsupported;
    if (!known || value.IsEmpty()) return text;
    if (type == TypeString) text.Value = value.ToText();
    else if (type == TypeExpandSz) text.Value = FilterExpandSzText(value.ToText());
    else if (type == TypeBinary) text.Value = BinaryToText(ElementTexts(value));
    else if (type == TypeInteger) text.Value = IntegerText(value);
    else if (type == TypeBoolean) text.Value = BoolToText(BooleanOf(value));
    else if (type == TypeList) text.Items = ElementTexts(value);
    else text.Value = IPSecurityText(value);
    return text;
}

TWideXmlNode& WritePropertyNode(TWideXmlNode& parent, std::u16string_view id, std::u16string_view type,
                                const TOleVariant& value, bool isInherit) {
    return WritePropertyElement(parent, id, PropertyValueToText(type, value), isInherit);
}

TWideXmlNode& WritePropertyNode(TPropertyIndex& index, std::u16string_view id, std::u16string_view type,
                                const TOleVariant& value, bool isInherit) {
    return WritePropertyElement(index, id, PropertyValueToText(type, value), isInherit);
}

TOleVariant TextToBinaryValue(std::u16string_view text) { return TextArray(TextToBinary(text)); }

TOleVariant ReadListItems(const TWideXmlNode* propertyNode) {
    if (!propertyNode) return TOleVariant(u"");
    std::vector<std::u16string> items;
    items.reserve(static_cast<size_t>(propertyNode->NodeCount()));
    for (int i = 0; i < propertyNode->NodeCount(); ++i) items.push_back(propertyNode->Nodes(i)->AttributeByName(AttrValue));
    return TextArray(items);
}

TOleVariant TextToPropertyValue(std::u16string_view type, std::u16string_view valueText,
                                const TWideXmlNode* propertyNode) {
    if (type == TypeString || type == TypeExpandSz) return TOleVariant(valueText);
    if (type == TypeBinary) return TextToBinaryValue(valueText);
    if (type == TypeInteger) return TOleVariant(TextToInteger(valueText));
    if (type == TypeBoolean) return TOleVariant(IsTrueText(valueText));
    if (type == TypeList) return ReadListItems(propertyNode);
    return TOleVariant(u"");
}

void WriteIPSecurityToObject(const TOleVariant& object, const TWideXmlNode& propertyNode) {
    TIPSecurityText text = TextToIPSecurity(propertyNode.AttributeByName(AttrValue));
    TOleVariant ipsec = object.Call(u"Get", TOleVariant(u"IPSecurity"));
    ipsec.SetProperty(u"GrantByDefault", TOleVariant(text.GrantByDefault));
    bool granted = ipsec.Property(u"GrantByDefault").AsBoolean();
    ipsec.SetProperty(granted ? u"IPDeny" : u"IPGrant", TextArray(text.Entries));
    object.Call(u"Put", TOleVariant(u"IPSecurity"), ipsec);
    object.Call(u"SetInfo");
}

} // namespace orvex
