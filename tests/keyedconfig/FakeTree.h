#pragma once
// A bare node tree with the node operations of the path walk, standing for a
// document in the keyed-configuration tests.

#include "base/AsciiText.h"
#include "keyedconfig/XPathText.h"

#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace orvex::fake {

struct TFakeNode {
    std::u16string name;
    std::vector<std::pair<std::u16string, std::u16string>> attributes;
    std::vector<std::unique_ptr<TFakeNode>> children;
    TFakeNode* parent = nullptr;

    TFakeNode* Add(std::u16string childName,
                   std::vector<std::pair<std::u16string, std::u16string>> attrs = {}) {
        auto child = std::make_unique<TFakeNode>();
        child->name = std::move(childName);
        child->attributes = std::move(attrs);
        child->parent = this;
        children.push_back(std::move(child));
        return children.back().get();
    }
    const std::u16string* Find(std::u16string_view attr) const {
        for (const auto& [key, value] : attributes)
            if (SameAsciiText(key, attr))
                return &value;
        return nullptr;
    }
};

struct TFakeOps {
    using TNode = TFakeNode;
    TFakeNode* root = nullptr;
    std::vector<std::pair<TFakeNode*, size_t>> created; // parent, step index

    void ChildrenNamed(TNode* parent, std::u16string_view name, std::vector<TNode*>& list) {
        for (auto& child : parent->children)
            if (SameNameIgnoringCase(child->name, name))
                list.push_back(child.get());
    }
    std::u16string_view Attribute(TNode* node, std::u16string_view name) {
        const std::u16string* value = node->Find(name);
        return value ? std::u16string_view(*value) : std::u16string_view();
    }
    bool HasAttribute(TNode* node, std::u16string_view name) { return node->Find(name); }
    TNode* NewChild(TNode* parent, std::span<const TXPathElement> steps, size_t index) {
        created.emplace_back(parent, index);
        return parent->Add(steps[index].xeTagName);
    }
    void SetAttribute(TNode* node, std::u16string_view name, std::u16string_view value) {
        node->attributes.emplace_back(name, value);
    }
    TNode* Parent(TNode* node) { return node->parent; }
    std::u16string_view Name(TNode* node) { return node->name; }
    int ChildCount(TNode* node) { return static_cast<int>(node->children.size()); }
    TNode* Child(TNode* node, int index) { return node->children[index].get(); }
    TNode* Root() { return root; }
    void MapOntoSummary(TNode*, bool, std::vector<TXPathElement>&) {}
};

} // namespace orvex::fake
