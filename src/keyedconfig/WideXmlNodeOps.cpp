#include "keyedconfig/WideXmlNodeOps.h"

#include "keyedconfig/XPathWalk.h"

namespace orvex {

static_assert(CXPathNodeOps<TWideXmlNodeOps>);

void TWideXmlNodeOps::ChildrenNamed(TNode* parent, std::u16string_view name,
                                    std::vector<TNode*>& list) {
    TUtf8XmlNodeList found;
    parent->NodesByName(name, &found);
    for (int i = 0; i < found.Count(); ++i) {
        TUtf8XmlNode* node = found.Items(i);
        if (node->ElementType() == xeNormal)
            list.push_back(TWideXmlNode::Cast(node));
    }
}

TWideXmlNodeOps::TNode* TWideXmlNodeOps::NewChild(TNode* parent, std::span<const TXPathElement> steps,
                                                  size_t step) {
    const int index = FInsertionIndex ? FInsertionIndex(parent, steps, step) : -1;
    if (index < 0)
        return parent->NodeNew(steps[step].xeTagName);
    return parent->NodeNewAtIndex(index, steps[step].xeTagName);
}

TWideXmlNodeOps::TNode* TWideXmlNodeOps::Parent(TNode* node) {
    TWideXmlNode* parent = node->ListingParent();
    if (!parent || (!parent->ListingParent() && parent->TUtf8XmlNode::Name().empty()))
        return nullptr;
    return parent;
}

} // namespace orvex
