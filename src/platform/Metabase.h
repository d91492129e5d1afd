#pragma once
// The metabase of one emulated machine: a tree of keys, each with a class, a
// relative name, its own property values and ordered children.

#include "platform/OleVariant.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace orvex {

struct TPropertyDef;

// Hash and equality of names ignoring case: Unicode simple case folding for key
// names (as SameMetabaseName), ASCII only for property ids (as SameName).
struct TFoldedNameHash {
    using is_transparent = void;
    size_t operator()(std::u16string_view name) const;
};
struct TFoldedNameEqual {
    using is_transparent = void;
    bool operator()(std::u16string_view a, std::u16string_view b) const;
};
// A name with its TAsciiNameHash, for looking the same name up in many maps.
struct TAsciiHashedName {
    std::u16string_view Name;
    size_t Hash;
};
struct TAsciiNameHash {
    using is_transparent = void;
    size_t operator()(std::u16string_view name) const;
    size_t operator()(const TAsciiHashedName& name) const { return name.Hash; }
};
struct TAsciiNameEqual {
    using is_transparent = void;
    bool operator()(std::u16string_view a, std::u16string_view b) const;
    bool operator()(const TAsciiHashedName& a, std::u16string_view b) const { return (*this)(a.Name, b); }
    bool operator()(std::u16string_view a, const TAsciiHashedName& b) const { return (*this)(a, b.Name); }
};

class TMetaObject {
public:
    TMetaObject(std::u16string name, std::u16string className) : FName(std::move(name)), FClassName(std::move(className)) {}
    TMetaObject(const TMetaObject&) = delete;
    TMetaObject& operator=(const TMetaObject&) = delete;

    const std::u16string& Name() const { return FName; }
    const std::u16string& ClassName() const { return FClassName; }
    TMetaObject* Parent() const { return FParent; }

    // Values set on this key, in the order they were first set. Values are kept in
    // the stored form of their syntax (see NormalisePropertyValue).
    const std::vector<std::pair<std::u16string, TOleVariant>>& Properties() const { return FProperties; }
    const TOleVariant* FindValue(std::u16string_view id) const;
    void SetValue(std::u16string_view id, TOleVariant value);
    // The same for a schema property, whose id is hashed once for the run.
    void SetValue(const TPropertyDef& def, TOleVariant value);
    void RemoveValue(std::u16string_view id);

    // The value for "Get": this key's own, else (for an inheritable property) the
    // nearest ancestor's, else nullptr.
    const TOleVariant* EffectiveValue(const TPropertyDef& def) const;
    // True when the key has no value of its own for an inheritable property and an
    // ancestor has one.
    bool InheritsValue(const TPropertyDef& def) const;

    const std::vector<std::unique_ptr<TMetaObject>>& Children() const { return FChildren; }
    TMetaObject* FindChild(std::u16string_view name) const;  // ignoring case
    // Appends a child; nothing checks for a duplicate name (callers do).
    TMetaObject& AddChild(std::u16string name, std::u16string className);
    void RemoveChild(const TMetaObject& child);

    // The "/"-separated path below the root ("W3SVC/1/ROOT"); empty for the root.
    std::u16string Path() const;

    // Number of keys in this subtree, this one included.
    size_t CountKeys() const;

    std::unique_ptr<TMetaObject> Clone() const;

private:
    friend class TMetabase;

    std::u16string FName;
    std::u16string FClassName;
    TMetaObject* FParent = nullptr;
    void IndexProperties();
    void AddToIndex(size_t hash, size_t position);
    static constexpr size_t kNone = size_t(-1);
    // The position of id in FProperties, or kNone.
    size_t PositionOf(const TAsciiHashedName& id) const;
    const TOleVariant* FindValue(const TAsciiHashedName& id) const;
    const TOleVariant* AncestorValue(const TAsciiHashedName& id) const;
    void SetValue(const TAsciiHashedName& id, TOleVariant value);
    // One of 64 bits for the hash of an id.
    static uint64_t IdBit(size_t hash) { return uint64_t(1) << (hash >> (8 * sizeof(size_t) - 6)); }

    std::vector<std::pair<std::u16string, TOleVariant>> FProperties;
    // The positions in FProperties by the TAsciiNameHash of their ids, in the order
    // of the hashes: a backup reads every property of a key, a restore writes them.
    struct TIndexEntry {
        size_t Hash;
        size_t Position;
    };
    std::vector<TIndexEntry> FIndex;
    // The IdBit of every id held: a quick no for most ids the key does not hold, as
    // an inherited value is looked for on every level above.
    uint64_t FIdBits = 0;
    std::vector<std::unique_ptr<TMetaObject>> FChildren;
    // Children by name ignoring case: a web service may hold thousands of sites.
    // The views point into the children's own names, which never move.
    std::unordered_map<std::u16string_view, TMetaObject*, TFoldedNameHash, TFoldedNameEqual> FChildIndex;
    // Keys removed anywhere below the root (counted on the root only).
    uint64_t FRemovals = 0;
};

// The whole metabase: its root is the machine key (class "IIsComputer").
class TMetabase {
public:
    TMetabase() : FRoot(std::make_unique<TMetaObject>(u"", u"IIsComputer")) {}

    TMetaObject& Root() const { return *FRoot; }
    // The key at a "/"-separated path, names compared ignoring case; "" is the root.
    // nullptr when a step is missing or the path is malformed ("a//b", "/a").
    TMetaObject* Find(std::u16string_view path) const;

    std::unique_ptr<TMetabase> Clone() const;

    // Changes whenever a key is removed: a pointer to a key found before stays
    // valid while this stays the same.
    uint64_t Removals() const { return FRoot->FRemovals; }

private:
    std::unique_ptr<TMetaObject> FRoot;
};

// Case-insensitive comparison of metabase key names (Unicode simple case folding).
bool SameMetabaseName(std::u16string_view a, std::u16string_view b);

} // namespace orvex
