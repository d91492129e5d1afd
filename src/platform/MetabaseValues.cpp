#include "platform/MetabaseValues.h"

#include "base/AsciiText.h"

namespace orvex {

std::vector<std::u16string> TextsOfArray(const TOleVariant& value) {
    if (value.IsEmpty() || (value.Kind() == TVariantKind::vkText && value.AsText().empty()))
        return {};
    std::vector<std::u16string> texts;
    for (const TOleVariant& item : value.AsArray())
        texts.push_back(item.AsText());
    return texts;
}

TOleVariant TIPSecurityObject::GetProperty(std::u16string_view name) {
    if (SameAsciiText(name, u"GrantByDefault"))
        return GrantByDefault;
    if (SameAsciiText(name, u"IPDeny"))
        return TextArray(IPDeny);
    if (SameAsciiText(name, u"IPGrant"))
        return TextArray(IPGrant);
    if (SameAsciiText(name, u"DomainDeny"))
        return TextArray(DomainDeny);
    if (SameAsciiText(name, u"DomainGrant"))
        return TextArray(DomainGrant);
    return TAutoObject::GetProperty(name);
}

void TIPSecurityObject::SetProperty(std::u16string_view name, const TOleVariant& value) {
    if (SameAsciiText(name, u"GrantByDefault"))
        GrantByDefault = value.AsBoolean();
    else if (SameAsciiText(name, u"IPDeny"))
        IPDeny = TextsOfArray(value);
    else if (SameAsciiText(name, u"IPGrant"))
        IPGrant = TextsOfArray(value);
    else if (SameAsciiText(name, u"DomainDeny"))
        DomainDeny = TextsOfArray(value);
    else if (SameAsciiText(name, u"DomainGrant"))
        DomainGrant = TextsOfArray(value);
    else
        TAutoObject::SetProperty(name, value);
}

TOleVariant TMimeTypeObject::GetProperty(std::u16string_view name) {
    if (SameAsciiText(name, u"Extension"))
        return Extension;
    if (SameAsciiText(name, u"MimeType"))
        return MimeType;
    return TAutoObject::GetProperty(name);
}

void TMimeTypeObject::SetProperty(std::u16string_view name, const TOleVariant& value) {
    if (SameAsciiText(name, u"Extension"))
        Extension = value.AsText();
    else if (SameAsciiText(name, u"MimeType"))
        MimeType = value.AsText();
    else
        TAutoObject::SetProperty(name, value);
}

TOleVariant TAdminAclObject::GetProperty(std::u16string_view name) {
    if (SameAsciiText(name, u"Owner"))
        return Owner;
    if (SameAsciiText(name, u"Group"))
        return Group;
    return TAutoObject::GetProperty(name);
}

void TAdminAclObject::SetProperty(std::u16string_view name, const TOleVariant& value) {
    if (SameAsciiText(name, u"Owner"))
        Owner = value.AsText();
    else if (SameAsciiText(name, u"Group"))
        Group = value.AsText();
    else
        TAutoObject::SetProperty(name, value);
}

} // namespace orvex
