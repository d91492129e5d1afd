#include "platform/Metabase.h"

#include "platform/MetabaseSchema.h"
#include "platform/MetabaseValues.h"
#include "platform/base/CaseFold.h"

#include <algorithm>

namespace orvex {

bool SameMetabaseName(std::u16string_view a, std::u16string_view b) { return SameTextIgnoreCase(a, b); }

const TOleVariant* TMetaObject::FindValue(std::u16string_view id) const {
    for (const auto& [name, value] : FProperties)
        if (SameName(name, id))
            return &value;
    return nullptr;
}

void TMetaObject::SetValue(std::u16string_view id, TOleVariant value) {
    for (auto& [name, stored] : FProperties)
        if (SameName(name, id)) {
            stored = std::move(value);
            return;
        }
    FProperties.emplace_back(std::u16string(id), std::move(value));
}

void TMetaObject::RemoveValue(std::u16string_view id) {
    std::erase_if(FProperties, [&](const auto& entry) { return SameName(entry.first, id); });
}

const TOleVariant* TMetaObject::EffectiveValue(const TPropertyDef& def) const {
    if (const TOleVariant* own = FindValue(def.Name))
        return own;
    if (!def.Inherit)
        return nullptr;
    for (const TMetaObject* up = FParent; up; up = up->FParent)
        if (const TOleVariant* value = up->FindValue(def.Name))
            return value;
    return nullptr;
}

TMetaObject* TMetaObject::FindChild(std::u16string_view name) const {
    for (const auto& child : FChildren)
        if (SameMetabaseName(child->FName, name))
            return child.get();
    return nullptr;
}

TMetaObject& TMetaObject::AddChild(std::u16string name, std::u16string className) {
    auto child = std::make_unique<TMetaObject>(std::move(name), std::move(className));
    child->FParent = this;
    FChildren.push_back(std::move(child));
    return *FChildren.back();
}

void TMetaObject::RemoveChild(const TMetaObject& child) {
    std::erase_if(FChildren, [&](const auto& c) { return c.get() == &child; });
}

std::u16string TMetaObject::Path() const {
    if (!FParent)
        return {};
    std::u16string above = FParent->Path();
    return above.empty() ? FName : above + u"/" + FName;
}

size_t TMetaObject::CountKeys() const {
    size_t count = 1;
    for (const auto& child : FChildren)
        count += child->CountKeys();
    return count;
}

std::unique_ptr<TMetaObject> TMetaObject::Clone() const {
    auto copy = std::make_unique<TMetaObject>(FName, FClassName);
    for (const auto& [name, value] : FProperties) {
        TOleVariant v = value;
        if (value.IsObject())
            if (auto* ipsec = dynamic_cast<TIPSecurityObject*>(value.AsObject().get()))
                v = TAutoObjectPtr(ipsec->Clone());
        copy->FProperties.emplace_back(name, std::move(v));
    }
    for (const auto& child : FChildren) {
        auto c = child->Clone();
        c->FParent = copy.get();
        copy->FChildren.push_back(std::move(c));
    }
    return copy;
}

TMetaObject* TMetabase::Find(std::u16string_view path) const {
    TMetaObject* current = FRoot.get();
    if (path.empty())
        return current;
    size_t start = 0;
    while (true) {
        const size_t slash = path.find(u'/', start);
        const std::u16string_view step = path.substr(start, slash == std::u16string_view::npos ? std::u16string_view::npos : slash - start);
        if (step.empty())
            return nullptr;
        current = current->FindChild(step);
        if (!current || slash == std::u16string_view::npos)
            return current;
        start = slash + 1;
    }
}

std::unique_ptr<TMetabase> TMetabase::Clone() const {
    auto copy = std::make_unique<TMetabase>();
    copy->FRoot = FRoot->Clone();
    return copy;
}

} // namespace orvex
