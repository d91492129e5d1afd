#include "platform/Metabase.h"

#include "base/AsciiText.h"
#include "base/CaseFold.h"
#include "platform/MachineMemos.h"
#include "platform/MetabaseSchema.h"
#include "platform/MetabaseValues.h"

#include <algorithm>

namespace orvex {

bool SameMetabaseName(std::u16string_view a, std::u16string_view b) { return SameTextIgnoreCase(a, b); }

namespace {

// FNV-1a over the folded code points (the same folding as SameTextIgnoreCase).
size_t HashFolded(std::u16string_view name) {
    uint64_t hash = 14695981039346656037ull;
    // Names are mostly ASCII: that run first, without the checks below.
    size_t i = 0;
    for (; i < name.size() && name[i] < 0x80; ++i)
        hash = (hash ^ AsciiLower(name[i])) * 1099511628211ull;
    for (; i < name.size(); ++i) {
        char32_t c = name[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF)
            c = FoldCase(0x10000 + ((c - 0xD800) << 10) + (name[++i] - 0xDC00));
        else if (c < 0x80)
            c = AsciiLower(c);
        else if (c < 0xD800 || c > 0xDFFF)
            c = FoldCase(c);  // a lone surrogate compares as it is
        hash = (hash ^ c) * 1099511628211ull;
    }
    return static_cast<size_t>(hash);
}

} // namespace

size_t TFoldedNameHash::operator()(std::u16string_view name) const { return HashFolded(name); }

// Names are mostly asked as they are written: an exact match first.
bool TFoldedNameEqual::operator()(std::u16string_view a, std::u16string_view b) const {
    return EqualText(a, b) || SameTextIgnoreCase(a, b);
}

// FNV-1a over the whole id, ASCII letters in upper case: the schema holds ids of
// one length that share their first and last characters.
size_t TAsciiNameHash::operator()(std::u16string_view name) const {
    uint64_t hash = 14695981039346656037ull;
    for (char16_t c : name)
        hash = (hash ^ AsciiUpper(c)) * 1099511628211ull;
    return static_cast<size_t>(hash);
}

// Ids are mostly asked as the schema spells them: an exact match first.
bool TAsciiNameEqual::operator()(std::u16string_view a, std::u16string_view b) const { return EqualText(a, b) || SameAsciiText(a, b); }

namespace {

// The first entry of this hash or the one after where it would be.
template <class TEntries>
auto FirstOfHash(TEntries& entries, size_t hash) {
    return std::lower_bound(entries.begin(), entries.end(), hash,
                            [](const auto& entry, size_t value) { return entry.Hash < value; });
}

} // namespace

const TOleVariant* TMetaObject::FindValue(std::u16string_view id) const {
    return FindValue(TAsciiHashedName{id, TAsciiNameHash()(id)});
}

size_t TMetaObject::PositionOf(const TAsciiHashedName& id) const {
    if (MachineMemosBypassed()) {
        for (size_t i = 0; i < FProperties.size(); ++i)
            if (SameAsciiText(FProperties[i].first, id.Name))
                return i;
        return kNone;
    }
    if (!(FIdBits & IdBit(id.Hash)))
        return kNone;
    for (auto it = FirstOfHash(FIndex, id.Hash); it != FIndex.end() && it->Hash == id.Hash; ++it)
        if (TAsciiNameEqual()(FProperties[it->Position].first, id.Name))
            return it->Position;
    return kNone;
}

const TOleVariant* TMetaObject::FindValue(const TAsciiHashedName& id) const {
    const size_t position = PositionOf(id);
    return position == kNone ? nullptr : &FProperties[position].second;
}

const TOleVariant* TMetaObject::AncestorValue(const TAsciiHashedName& id) const {
    for (const TMetaObject* up = FParent; up; up = up->FParent)
        if (const TOleVariant* value = up->FindValue(id))
            return value;
    return nullptr;
}

namespace {

// The name of a schema property with its hash, worked out once for the run: its
// value is looked for on every level above a key.
TAsciiHashedName HashedName(const TPropertyDef& def) {
    static const std::vector<size_t> hashes = [] {
        std::vector<size_t> all;
        for (const TPropertyDef& each : AllPropertyDefs())
            all.push_back(TAsciiNameHash()(each.Name));
        return all;
    }();
    if (MachineMemosBypassed())
        return {def.Name, TAsciiNameHash()(def.Name)};
    return {def.Name, hashes[static_cast<size_t>(&def - AllPropertyDefs().data())]};
}

} // namespace

void TMetaObject::SetValue(std::u16string_view id, TOleVariant value) {
    SetValue(TAsciiHashedName{id, TAsciiNameHash()(id)}, std::move(value));
}

void TMetaObject::SetValue(const TPropertyDef& def, TOleVariant value) { SetValue(HashedName(def), std::move(value)); }

void TMetaObject::SetValue(const TAsciiHashedName& id, TOleVariant value) {
    if (const size_t position = PositionOf(id); position != kNone) {
        FProperties[position].second = std::move(value);
        return;
    }
    AddToIndex(id.Hash, FProperties.size());
    FProperties.emplace_back(std::u16string(id.Name), std::move(value));
}

void TMetaObject::AddToIndex(size_t hash, size_t position) {
    FIdBits |= IdBit(hash);
    // After the others of its hash, so that the first of an id stays the one found.
    auto at = FirstOfHash(FIndex, hash);
    while (at != FIndex.end() && at->Hash == hash)
        ++at;
    FIndex.insert(at, {hash, position});
}

void TMetaObject::RemoveValue(std::u16string_view id) {
    if (std::erase_if(FProperties, [&](const auto& entry) { return SameAsciiText(entry.first, id); }) != 0)
        IndexProperties();
}

void TMetaObject::IndexProperties() {
    FIndex.clear();
    FIdBits = 0;
    for (size_t i = 0; i < FProperties.size(); ++i)
        AddToIndex(TAsciiNameHash()(FProperties[i].first), i);
}

const TOleVariant* TMetaObject::EffectiveValue(const TPropertyDef& def) const {
    const TAsciiHashedName id = HashedName(def);
    if (const TOleVariant* own = FindValue(id))
        return own;
    return def.Inherit ? AncestorValue(id) : nullptr;
}

bool TMetaObject::InheritsValue(const TPropertyDef& def) const {
    const TAsciiHashedName id = HashedName(def);
    return def.Inherit && !FindValue(id) && AncestorValue(id);
}

TMetaObject* TMetaObject::FindChild(std::u16string_view name) const {
    const auto it = FChildIndex.find(name);
    return it == FChildIndex.end() ? nullptr : it->second;
}

TMetaObject& TMetaObject::AddChild(std::u16string name, std::u16string className) {
    auto child = std::make_unique<TMetaObject>(std::move(name), std::move(className));
    child->FParent = this;
    FChildIndex.emplace(child->FName, child.get());  // the first of a name wins, as a scan would
    FChildren.push_back(std::move(child));
    return *FChildren.back();
}

void TMetaObject::RemoveChild(const TMetaObject& child) {
    const auto it = FChildIndex.find(child.FName);
    if (it != FChildIndex.end() && it->second == &child)
        FChildIndex.erase(it);
    TMetaObject* root = this;
    while (root->FParent)
        root = root->FParent;
    ++root->FRemovals;
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
    copy->IndexProperties();
    for (const auto& child : FChildren) {
        auto c = child->Clone();
        c->FParent = copy.get();
        copy->FChildIndex.emplace(c->FName, c.get());
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
