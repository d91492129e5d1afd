#include "engine/PropertyValues.h"

#include "base/AsciiText.h"
#include "base/CaseFold.h"
#include "base/NumberText.h"
#include "engine/BackupGrammar.h"
#include "engine/PropertyText.h"

namespace orvex {

namespace {

using namespace backupxml;

// The elements of an array value as texts into texts; an empty text stands for no
// elements.
void ElementTexts(const TOleVariant& value, std::vector<std::u16string>& texts) {
    if (value.Kind() == TVariantKind::vkText && value.AsText().empty()) {
        texts.clear();
        return;
    }
    const auto& items = value.AsArray();
    texts.resize(items.size());
    for (size_t i = 0; i < items.size(); ++i) items[i].ToText(texts[i]);
}

std::vector<std::u16string> ElementTexts(const TOleVariant& value) {
    std::vector<std::u16string> texts;
    ElementTexts(value, texts);
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
    PropertyValueToText(type, value, text);
    return text;
}

void PropertyValueToText(std::u16string_view type, const TOleVariant& value, TPropertyText& text) {
    bool known = type == TypeString || type == TypeExpandSz || type == TypeBinary || type == TypeInteger ||
                 type == TypeBoolean || type == TypeList || type == TypeIPSec;
    text.Type = known ? type : TypeUnsupported;
    text.Value.clear();
    text.Items.clear();
    if (!known || value.IsEmpty()) return;
    if (type == TypeString) value.ToText(text.Value);
    else if (type == TypeExpandSz) text.Value = FilterExpandSzText(value.ToText());
    else if (type == TypeBinary) text.Value = BinaryToText(ElementTexts(value));
    else if (type == TypeInteger) text.Value = IntegerText(value);
    else if (type == TypeBoolean) text.Value = BoolToText(BooleanOf(value));
    else if (type == TypeList) ElementTexts(value, text.Items);
    else text.Value = IPSecurityText(value);
}

TWideXmlNode& WritePropertyNode(TWideXmlNode& parent, std::u16string_view id, std::u16string_view type,
                                const TOleVariant& value, bool isInherit) {
    return WritePropertyElement(parent, id, PropertyValueToText(type, value), isInherit);
}

TWideXmlNode& WritePropertyNode(TPropertyIndex& index, std::u16string_view id, std::u16string_view type,
                                const TOleVariant& value, bool isInherit) {
    TPropertyText& text = index.Scratch();
    PropertyValueToText(type, value, text);
    return WritePropertyElement(index, id, text, isInherit);
}

TWideXmlNode& AppendPropertyNode(TPropertyIndex& index, std::u16string_view id, std::u16string_view type,
                                 const TOleVariant& value, bool isInherit) {
    TPropertyText& text = index.Scratch();
    PropertyValueToText(type, value, text);
    return AppendPropertyElement(index, id, text, isInherit);
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
