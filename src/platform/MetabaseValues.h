#pragma once
// Metabase values that travel as objects: the IP security settings ("IPSecurity"),
// the entries of a MIME map and the administration ACL.

#include "platform/OleVariant.h"

#include <string>
#include <vector>

namespace orvex {

// "GrantByDefault" (boolean), "IPDeny", "IPGrant", "DomainDeny", "DomainGrant"
// (arrays of texts). "Get" of "IPSecurity" hands out a copy; changes reach the
// metabase only through "Put" and "SetInfo".
class TIPSecurityObject : public TAutoObject {
public:
    bool GrantByDefault = true;
    std::vector<std::u16string> IPDeny, IPGrant, DomainDeny, DomainGrant;

    TOleVariant GetProperty(std::u16string_view name) override;
    void SetProperty(std::u16string_view name, const TOleVariant& value) override;
    std::shared_ptr<TIPSecurityObject> Clone() const { return std::make_shared<TIPSecurityObject>(*this); }
};

// One MIME map entry: "Extension" and "MimeType".
class TMimeTypeObject : public TAutoObject {
public:
    std::u16string Extension, MimeType;
    TOleVariant GetProperty(std::u16string_view name) override;
    void SetProperty(std::u16string_view name, const TOleVariant& value) override;
};

// The security descriptor of "AdminACL"; answers "Owner" and "Group".
class TAdminAclObject : public TAutoObject {
public:
    std::u16string Owner, Group;
    TOleVariant GetProperty(std::u16string_view name) override;
    void SetProperty(std::u16string_view name, const TOleVariant& value) override;
};

// An array variant whose elements must be texts; an empty value or an empty text
// gives no elements. Anything else raises a type mismatch.
std::vector<std::u16string> TextsOfArray(const TOleVariant& value);

} // namespace orvex
