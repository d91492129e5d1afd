#pragma once
// The path walk's node operations over TWideXmlNode, for the keyed document.

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "keyedconfig/XPathText.h"
#include "xml/WideXmlNode.h"

namespace orvex {

class TWideXmlNodeOps {
public:
    using TNode = TWideXmlNode;

    // Where a node a lookup creates goes among its parent's children; -1 appends.
    using TInsertionIndex =
        std::function<int(TWideXmlNode* parent, std::span<const TXPathElement> steps, size_t step)>;
    // Ties parsed steps to a summary schema (start node, absolute path, steps).
    using TMapSteps =
        std::function<void(TWideXmlNode* start, bool absolute, std::vector<TXPathElement>& steps)>;

    explicit TWideXmlNodeOps(TWideXmlNode* root, TInsertionIndex insertionIndex = {},
                             TMapSteps mapSteps = {})
        : FRoot(root), FInsertionIndex(std::move(insertionIndex)), FMapSteps(std::move(mapSteps)) {}

    // Element children of that name (case ignored), in document order.
    void ChildrenNamed(TNode* parent, std::u16string_view name, std::vector<TNode*>& list);
    std::u16string Attribute(TNode* node, std::u16string_view name) { return node->AttributeByName(name); }
    bool HasAttribute(TNode* node, std::u16string_view name) { return node->HasAttribute(name); }
    TNode* NewChild(TNode* parent, std::span<const TXPathElement> steps, size_t step);
    void SetAttribute(TNode* node, std::u16string_view name, std::u16string_view value) {
        node->SetAttributeByName(name, value);
    }
    // The parent element; nullptr for the root element (whose parent is the
    // document's nameless container) and for a node outside any child list.
    TNode* Parent(TNode* node);
    std::u16string Name(TNode* node) { return node->Name(); }
    int ChildCount(TNode* node) { return node->NodeCount(); }
    TNode* Child(TNode* node, int index) { return node->Nodes(index); }
    TNode* Root() { return FRoot; }
    void MapOntoSummary(TNode* start, bool absolute, std::vector<TXPathElement>& steps) {
        if (FMapSteps)
            FMapSteps(start, absolute, steps);
    }

private:
    TWideXmlNode* FRoot;
    TInsertionIndex FInsertionIndex;
    TMapSteps FMapSteps;
};

} // namespace orvex
