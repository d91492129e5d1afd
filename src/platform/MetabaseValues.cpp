#include "platform/MetabaseValues.h"

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
    if (SameName(name, u"GrantByDefault"))
        return GrantByDefault;
    if (SameName(name, u"IPDeny"))
        return TextArray(IPDeny);
    if (SameName(name, u"IPGrant"))
        return TextArray(IPGrant);
    if (SameName(name, u"DomainDeny"))
        return TextArray(DomainDeny);
    if (SameName(name, u"DomainGrant"))
        return TextArray(DomainGrant);
    return TAutoObject::GetProperty(name);
}

void TIPSecurityObject::SetProperty(std::u16string_view name, const TOleVariant& value) {
    if (SameName(name, u"GrantByDefault"))
        GrantByDefault = value.AsBoolean();
    else if (SameName(name, u"IPDeny"))
        IPDeny = TextsOfArray(value);
    else if (SameName(name, u"IPGrant"))
        IPGrant = TextsOfArray(value);
    else if (SameName(name, u"DomainDeny"))
        DomainDeny = TextsOfArray(value);
    else if (SameName(name, u"DomainGrant"))
        DomainGrant = TextsOfArray(value);
    else
        TAutoObject::SetProperty(name, value);
}

TOleVariant TMimeTypeObject::GetProperty(std::u16string_view name) {
    if (SameName(name, u"Extension"))
        return Extension;
    if (SameName(name, u"MimeType"))
        return MimeType;
    return TAutoObject::GetProperty(name);
}

void TMimeTypeObject::SetProperty(std::u16string_view name, const TOleVariant& value) {
    if (SameName(name, u"Extension"))
        Extension = value.AsText();
    else if (SameName(name, u"MimeType"))
        MimeType = value.AsText();
    else
        TAutoObject::SetProperty(name, value);
}

TOleVariant TAdminAclObject::GetProperty(std::u16string_view name) {
    if (SameName(name, u"Owner"))
        return Owner;
    if (SameName(name, u"Group"))
        return Group;
    return TAutoObject::GetProperty(name);
}

void TAdminAclObject::SetProperty(std::u16string_view name, const TOleVariant& value) {
    if (SameName(name, u"Owner"))
        Owner = value.AsText();
    else if (SameName(name, u"Group"))
        Group = value.AsText();
    else
        TAutoObject::SetProperty(name, value);
}

} // namespace orvex
