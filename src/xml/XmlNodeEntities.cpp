// Resolution of references to entities declared in the document's DOCTYPE.
#include "base/TextFormat.h"
#include "xml/UTF8StringUtils.h"
#include "xml/XmlErrors.h"
#include "xml/XmlMessages.h"
#include "xml/XmlNode.h"
#include "xml/XmlParser.h"

#include <algorithm>
#include <utility>

namespace orvex {

namespace {

// Entities are rare in our files, so a hundred thousand added nodes is far
// beyond any honest use.
constexpr size_t kMaxEntityNodes = 100000;

// Nodes and depth of a parsed fragment node, without recursion.
void Measure(const TUtf8XmlNode& top, size_t& nodes, int& depth) {
    std::vector<std::pair<const TUtf8XmlNode*, int>> stack{{&top, 1}};
    while (!stack.empty()) {
        const auto [node, level] = stack.back();
        stack.pop_back();
        ++nodes;
        depth = std::max(depth, level);
        for (int i = 0; i < node->NodeCount(); ++i)
            stack.emplace_back(node->Nodes(i), level + 1);
    }
}

} // namespace

// The entities the nodes in hand lie inside, innermost first. Nodes that come
// out of an entity are resolved at once inside it, so an entity met again in
// its own expansion is caught instead of expanding forever.
struct TUtf8XmlNode::TEntityChain {
    std::string name;
    TEntityChainPtr outer;

    static bool Holds(const TEntityChain* chain, const std::string& name) {
        for (; chain; chain = chain->outer.get())
            if (chain->name == name)
                return true;
        return false;
    }
};

struct TUtf8XmlNode::TEntityContext {
    // Nodes added by expansions so far; nested entities could otherwise
    // multiply a small document into an enormous one.
    size_t added = 0;
    // What resolution changed, so that a refusal can put it all back: the nodes
    // it inserted, in order, and the values and attribute items it replaced.
    // Nothing is freed before the end: character data left empty waits in
    // emptied until all has resolved.
    std::vector<TUtf8XmlNode*> inserted;
    std::vector<std::pair<TUtf8XmlNode*, std::string>> oldValues;
    std::vector<std::pair<TUtf8XmlNode*, std::vector<std::string>>> oldAttributes;
    std::vector<TUtf8XmlNode*> emptied;

    void Undo() {
        for (auto it = oldValues.rbegin(); it != oldValues.rend(); ++it)
            it->first->FValue = it->second;
        for (auto it = oldAttributes.rbegin(); it != oldAttributes.rend(); ++it)
            it->first->FAttributes.Assign(it->second);
        // The latest first, so no node is freed before those inserted into it.
        for (auto it = inserted.rbegin(); it != inserted.rend(); ++it)
            (*it)->Delete();
    }
};

void TUtf8XmlNode::ResolveEntityReferences() {
    TEntityContext context;
    try {
        ResolveEntities(context, nullptr);
    } catch (...) {
        context.Undo();
        throw;
    }
    for (TUtf8XmlNode* node : context.emptied)
        node->Delete();
}

int TUtf8XmlNode::ExpandValueEntity(TEntityContext& context, const TEntityChainPtr& chain,
                                    int& childrenDone) {
    const std::string_view value = FValue;
    const size_t amp = value.find('&');
    if (amp == std::string::npos || !FDocument)
        return 0;
    const size_t semi = value.find(';', amp + 1);
    if (semi == std::string::npos)
        return 0;
    const std::string name(value.substr(amp + 1, semi - amp - 1));
    const std::string entity = FDocument->ResolveEntity(name);
    if (entity.empty() || entity.find('<') == std::string::npos)
        return 0;

    // An element takes the nodes as its first children; character data hands
    // them to its parent, right after itself.
    TUtf8XmlNode* target = this;
    int first = 0;
    TUtf8XmlNode* holder = ListingParent();
    if (FElementType == xeCharData && holder) {
        target = holder;
        first = holder->NodeIndexOf(this) + 1;
    } else if (FElementType != xeNormal) {
        return 0;
    }
    if (TEntityChain::Holds(chain.get(), name))
        throw EFilerError(FormatTolerant(sxRecursiveEntity, {name}));

    // An expansion that is no XML by itself (a reference to "<" written as
    // "&#60;", say) leaves the reference as written.
    std::vector<std::unique_ptr<TUtf8XmlNode>> fragment;
    try {
        fragment = FDocument->ParseFragment(*this, entity);
    } catch (const EXmlError&) {
        return 0;
    }
    size_t nodes = 0;
    int depth = 0;
    for (const auto& node : fragment)
        Measure(*node, nodes, depth);
    context.added += nodes;
    // The whole tree must read back, and the parser reads a node as deep as its
    // TreeDepth: the fragment's top nodes come one below target.
    if (context.added > kMaxEntityNodes || target->TreeDepth() + depth > TXmlParser::kMaxDepth)
        throw EFilerError(FormatTolerant(sxEntityTooLarge, {name}));

    int end = first;
    for (auto& node : fragment) {
        TUtf8XmlNode* const added = node.get();
        if (!node->IsEmpty() && target->NodeInsert(end, std::move(node))) {
            context.inserted.push_back(added);
            ++end;
        }
    }
    if (end == first)
        return 0;

    // The new nodes are resolved inside the entity.
    const auto inner = std::make_shared<const TEntityChain>(TEntityChain{name, chain});
    for (int i = first; i < end;) {
        const int extra = target->Nodes(i)->ResolveEntities(context, inner);
        end += extra;
        i += 1 + extra;
    }

    const std::string before(FValue.View().substr(0, amp));
    const std::string rest(FValue.View().substr(semi + 1));
    const bool isCharData = FElementType == xeCharData;
    // Blank text around the new nodes goes, as a parser drops it beside a child;
    // any other rest becomes character data, resolved later in its own scope.
    context.oldValues.emplace_back(this, std::string(FValue.View()));
    FValue = UTF8Trim(before).empty() ? std::string() : before;
    if (!UTF8Trim(rest).empty()) {
        std::unique_ptr<TUtf8XmlNode> tail = NewNodeOfClass(FDocument);
        tail->FElementType = xeCharData;
        tail->FValue = rest;
        TUtf8XmlNode* const added = tail.get();
        if (target->NodeInsert(end, std::move(tail)))
            context.inserted.push_back(added);
    }
    if (isCharData)
        return end - first;
    childrenDone = end;
    return 0;
}

int TUtf8XmlNode::ResolveEntities(TEntityContext& context, const TEntityChainPtr& chain) {
    // 1. The first reference of the value, when its entity holds markup.
    int childrenDone = 0;
    const int siblingsDone = FValue.empty() ? 0 : ExpandValueEntity(context, chain, childrenDone);

    // 2. Every reference in the attribute values, all written back at once. An
    // attribute without a value (or a name) has nothing to resolve and stays as
    // written.
    std::vector<std::string> items, written;
    items.reserve(static_cast<size_t>(AttributeCount()));
    for (int i = 0; i < AttributeCount(); ++i) {
        written.emplace_back(FAttributes.Items(i));
        const std::string name = AttributeName(i);
        if (!IsValidAttributeName(name)) {
            items.emplace_back(FAttributes.Items(i));
            continue;
        }
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
            const std::string entity =
                FDocument ? FDocument->ResolveEntity(std::string_view(value).substr(amp + 1, semi - amp - 1))
                          : std::string();
            if (entity.empty())
                resolved.append(value, amp, semi - amp + 1);
            else
                resolved.append(entity);
            from = semi + 1;
        }
        items.push_back(AttributeItem(name, resolved));
    }
    if (items != written) {
        context.oldAttributes.emplace_back(this, std::move(written));
        FAttributes.Assign(items);
    }

    // 3. The children, including those that character data among them adds.
    for (int i = childrenDone; i < NodeCount();)
        i += 1 + FNodes[static_cast<size_t>(i)]->ResolveEntities(context, chain);

    // 4. Character data left empty goes, once all has resolved.
    for (int i = 0; i < NodeCount(); ++i) {
        TUtf8XmlNode* const child = FNodes[static_cast<size_t>(i)];
        if (child->FElementType == xeCharData && child->FValue.empty())
            context.emptied.push_back(child);
    }
    return siblingsDone;
}

} // namespace orvex
