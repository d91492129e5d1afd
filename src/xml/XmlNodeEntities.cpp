// Resolution of references to entities declared in the document's DOCTYPE.
#include "xml/XmlNode.h"

#include "xml/UTF8StringUtils.h"
#include "xml/XmlErrors.h"
#include "xml/XmlMessages.h"

#include <algorithm>
#include <unordered_map>

namespace orvex {

// Nodes that came out of an entity remember the entities they lie inside, so an
// entity met again inside its own expansion is caught instead of expanding forever.
struct TUtf8XmlNode::TEntityContext {
    std::unordered_map<const TUtf8XmlNode*, std::vector<std::string>> inside;

    const std::vector<std::string>& ChainOf(const TUtf8XmlNode* node,
                                            const std::vector<std::string>& fallback) const {
        const auto it = inside.find(node);
        return it == inside.end() ? fallback : it->second;
    }
};

void TUtf8XmlNode::ResolveEntityReferences() {
    TEntityContext context;
    ResolveEntities(context, {});
}

bool TUtf8XmlNode::ExpandValueEntity(TEntityContext& context,
                                     const std::vector<std::string>& chain) {
    const size_t amp = FValue.find('&');
    if (amp == std::string::npos || !FDocument)
        return false;
    const size_t semi = FValue.find(';', amp + 1);
    if (semi == std::string::npos)
        return false;
    const std::string name = FValue.substr(amp + 1, semi - amp - 1);
    const std::string entity = FDocument->ResolveEntity(name);
    if (entity.empty() || entity.find('<') == std::string::npos)
        return false;
    if (std::find(chain.begin(), chain.end(), name) != chain.end())
        throw EFilerError(FormatXmlMessage(sxRecursiveEntity, name));

    TUtf8XmlNode* target = this;
    int index = 0;
    if (FElementType == xeCharData) {
        if (!FParent)
            return false;
        target = FParent;
        index = FParent->NodeIndexOf(this) + 1;
    } else if (FElementType != xeNormal) {
        return false;
    }

    std::vector<std::string> innerChain = chain;
    innerChain.push_back(name);
    bool inserted = false;
    for (auto& node : FDocument->ParseFragment(*this, entity)) {
        if (node->IsEmpty())
            continue;
        context.inside[node.get()] = innerChain;
        if (target->NodeInsert(index, std::move(node))) {
            ++index;
            inserted = true;
        }
    }
    if (!inserted)
        return false;

    const std::string before = FValue.substr(0, amp);
    const std::string rest = FValue.substr(semi + 1);
    FValue = (FElementType == xeCharData && UTF8Trim(before).empty()) ? std::string() : before;
    // An element keeps a blank rest out; character data hands on any rest.
    const bool keepRest = FElementType == xeCharData ? !rest.empty() : !UTF8Trim(rest).empty();
    if (keepRest) {
        std::unique_ptr<TUtf8XmlNode> tail = NewNodeOfClass(FDocument);
        tail->FElementType = xeCharData;
        tail->FValue = rest;
        context.inside[tail.get()] = chain;
        target->NodeInsert(index, std::move(tail));
    }
    return true;
}

void TUtf8XmlNode::ResolveEntities(TEntityContext& context, const std::vector<std::string>& chain) {
    // 1. The first reference of the value, when its entity holds markup.
    if (!FValue.empty())
        ExpandValueEntity(context, chain);

    // 2. Every reference in the attribute values.
    for (int i = 0; i < AttributeCount(); ++i) {
        const std::string value = AttributeValue(i);
        std::string resolved;
        size_t from = 0;
        while (true) {
            const size_t amp = value.find('&', from);
            const size_t semi = amp == std::string::npos ? amp : value.find(';', amp + 1);
            if (semi == std::string::npos) {
                resolved.append(value, from);
                break;
            }
            resolved.append(value, from, amp - from);
            const std::string name = value.substr(amp + 1, semi - amp - 1);
            const std::string entity = FDocument ? FDocument->ResolveEntity(name) : std::string();
            if (entity.empty())
                resolved.append(value, amp, semi - amp + 1);
            else
                resolved.append(entity);
            from = semi + 1;
        }
        SetAttributeValue(i, resolved);
    }

    // 3. The children, including those step 1 of a child adds after it.
    for (int i = 0; i < NodeCount(); ++i) {
        TUtf8XmlNode* child = FNodes[static_cast<size_t>(i)].get();
        child->ResolveEntities(context, context.ChainOf(child, chain));
    }

    // 4. Character data left empty goes.
    for (int i = NodeCount() - 1; i >= 0; --i) {
        const TUtf8XmlNode& child = *FNodes[static_cast<size_t>(i)];
        if (child.FElementType == xeCharData && child.FValue.empty())
            NodeDelete(i);
    }
}

} // namespace orvex
