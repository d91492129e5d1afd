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
    void RemoveValue(std::u16string_view id);

    // The value for "Get": this key's own, else (for an inheritable property) the
    // nearest ancestor's, else nullptr.
    const TOleVariant* EffectiveValue(const TPropertyDef& def) const;

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
    std::u16string FName;
    std::u16string FClassName;
    TMetaObject* FParent = nullptr;
    std::vector<std::pair<std::u16string, TOleVariant>> FProperties;
    std::vector<std::unique_ptr<TMetaObject>> FChildren;
    // Children by case-folded name: a web service may hold thousands of sites.
    std::unordered_map<std::u32string, TMetaObject*> FChildIndex;
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

private:
    std::unique_ptr<TMetaObject> FRoot;
};

// Case-insensitive comparison of metabase key names (Unicode simple case folding).
bool SameMetabaseName(std::u16string_view a, std::u16string_view b);

} // namespace orvex
