#include "platform/Metabase.h"

#include "platform/MetabaseSchema.h"
#include "platform/MetabaseValues.h"
#include "platform/base/AsciiText.h"
#include "platform/base/CaseFold.h"

#include <algorithm>

namespace orvex {

bool SameMetabaseName(std::u16string_view a, std::u16string_view b) { return SameTextIgnoreCase(a, b); }

namespace {

// The name's code points, case-folded as SameTextIgnoreCase folds them.
std::u32string FoldedKey(std::u16string_view name) {
    std::u32string key;
    key.reserve(name.size());
    for (size_t i = 0; i < name.size(); ++i) {
        char32_t c = name[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (name[++i] - 0xDC00);
        key.push_back(FoldCase(c));
    }
    return key;
}

} // namespace

const TOleVariant* TMetaObject::FindValue(std::u16string_view id) const {
    for (const auto& [name, value] : FProperties)
        if (SameAsciiText(name, id))
            return &value;
    return nullptr;
}

void TMetaObject::SetValue(std::u16string_view id, TOleVariant value) {
    for (auto& [name, stored] : FProperties)
        if (SameAsciiText(name, id)) {
            stored = std::move(value);
            return;
        }
    FProperties.emplace_back(std::u16string(id), std::move(value));
}

void TMetaObject::RemoveValue(std::u16string_view id) {
    std::erase_if(FProperties, [&](const auto& entry) { return SameAsciiText(entry.first, id); });
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
    const auto it = FChildIndex.find(FoldedKey(name));
    return it == FChildIndex.end() ? nullptr : it->second;
}

TMetaObject& TMetaObject::AddChild(std::u16string name, std::u16string className) {
    auto child = std::make_unique<TMetaObject>(std::move(name), std::move(className));
    child->FParent = this;
    FChildIndex.emplace(FoldedKey(child->FName), child.get());  // the first of a name wins, as a scan would
    FChildren.push_back(std::move(child));
    return *FChildren.back();
}

void TMetaObject::RemoveChild(const TMetaObject& child) {
    const auto it = FChildIndex.find(FoldedKey(child.FName));
    if (it != FChildIndex.end() && it->second == &child)
        FChildIndex.erase(it);
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
        copy->FChildIndex.emplace(FoldedKey(c->FName), c.get());
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
