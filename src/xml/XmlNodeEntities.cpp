// Resolution of references to entities declared in the document's DOCTYPE.
#include "base/TextFormat.h"
#include "xml/UTF8StringUtils.h"
#include "xml/XmlErrors.h"
#include "xml/XmlMessages.h"
#include "xml/XmlNode.h"
#include "xml/XmlParser.h"

#include <algorithm>
#include <string>
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

// The entities the nodes in hand lie inside, innermost first, on the stack of
// the calls that resolve them. Nodes that come out of an entity are resolved at
// once inside it, so an entity met again in its own expansion is caught instead
// of expanding forever.
struct TEntityChain {
    std::string_view name;
    const TEntityChain* outer;

    static bool Holds(const TEntityChain* chain, std::string_view name) {
        for (; chain; chain = chain->outer)
            if (chain->name == name)
                return true;
        return false;
    }
};

} // namespace

// Resolution reads the tree and leaves it alone: what it would change is kept
// here, the new nodes included, and Apply puts it all in at the end in steps
// that cannot fail. A refusal for any reason just lets this go.
struct TUtf8XmlNode::TEntityContext {
    explicit TEntityContext(size_t textBound) : maxTextBytes(textBound) {}

    const size_t maxTextBytes;
    // Nodes and bytes of text added by expansions so far; nested entities could
    // otherwise multiply a small document into an enormous one.
    size_t added = 0;
    size_t textBytes = 0;
    // The nodes made: those of the entities and the character data between them.
    std::vector<std::unique_ptr<TUtf8XmlNode>> made;
    // What changes: values, attribute items, child lists (whose nodes already
    // have room for them), and the character data of the tree that goes.
    std::vector<std::pair<TUtf8XmlNode*, TXmlText>> values;
    std::vector<std::pair<TUtf8XmlNode*, TxmUTF8StringList>> attributes;
    std::vector<std::pair<TUtf8XmlNode*, std::vector<TUtf8XmlNode*>>> lists;
    std::vector<TUtf8XmlNode*> dropped;

    // Resolves node, which lies depth deep in the whole tree (TreeDepth). What
    // the references of character data bring in follows it in siblings, the
    // list its holder gets. False for character data left empty, which goes.
    bool Resolve(TUtf8XmlNode& node, const TEntityChain* chain, int depth,
                 std::vector<TUtf8XmlNode*>* siblings) {
        std::vector<TUtf8XmlNode*> children;
        bool emptyValue = node.FValue.empty();
        if (!emptyValue && node.FDocument) {
            if (node.FElementType == xeNormal)
                emptyValue = ExpandValue(node, chain, depth, children);
            else if (node.FElementType == xeCharData && siblings)
                emptyValue = ExpandValue(node, chain, depth - 1, *siblings);
        }
        ResolveAttributes(node);

        children.reserve(children.size() + static_cast<size_t>(node.FNodeCount));
        for (int i = 0; i < node.FNodeCount; ++i) {
            TUtf8XmlNode* const child = node.FNodes[i];
            if (!Place(child, chain, depth + 1, children))
                dropped.push_back(child);
        }
        if (std::erase(children, nullptr) > 0 ||
            children.size() != static_cast<size_t>(node.FNodeCount))
            StageList(node, std::move(children));
        return node.FElementType != xeCharData || !emptyValue;
    }

    // Appends node to list and resolves it there; character data left empty is
    // struck off again (its place holds nullptr) and false returned.
    bool Place(TUtf8XmlNode* node, const TEntityChain* chain, int depth,
               std::vector<TUtf8XmlNode*>& list) {
        const size_t slot = list.size();
        list.push_back(node);
        if (Resolve(*node, chain, depth, &list))
            return true;
        list[slot] = nullptr;
        return false;
    }

    void StageList(TUtf8XmlNode& node, std::vector<TUtf8XmlNode*>&& children) {
        node.ReserveChildren(static_cast<int>(children.size()), nullptr);
        lists.emplace_back(&node, std::move(children));
    }

    // Expands the references of node's value, from the first on for as long as
    // each names an entity holding markup, into list, whose holder lies
    // targetDepth deep: each entity's nodes, resolved inside it, with the text
    // between references as character data. Blank text goes, as a parser drops
    // it beside a child; the value keeps what came before the first reference.
    // Returns whether that leaves the value empty.
    bool ExpandValue(TUtf8XmlNode& node, const TEntityChain* chain, int targetDepth,
                     std::vector<TUtf8XmlNode*>& list) {
        const std::string_view value = node.FValue;
        size_t from = 0;
        size_t firstReference = std::string_view::npos;
        while (true) {
            const size_t amp = value.find('&', from);
            if (amp == std::string_view::npos)
                break;
            const size_t semi = value.find(';', amp + 1);
            if (semi == std::string_view::npos)
                break;
            const std::string name(value.substr(amp + 1, semi - amp - 1));
            const std::string entity = node.FDocument->ResolveEntity(name);
            if (entity.empty() || entity.find('<') == std::string::npos)
                break;
            if (TEntityChain::Holds(chain, name))
                throw EFilerError(FormatTolerant(sxRecursiveEntity, {name}));

            // An expansion that is no XML by itself (a reference to "<" written as
            // "&#60;", say) leaves the reference as written.
            std::vector<std::unique_ptr<TUtf8XmlNode>> fragment;
            try {
                fragment = node.FDocument->ParseFragment(node, entity);
            } catch (const EXmlError&) {
                break;
            }
            size_t nodes = 0;
            int depth = 0;
            for (const auto& part : fragment)
                Measure(*part, nodes, depth);
            added += nodes;
            // The whole tree must read back, and the parser reads a node as deep
            // as its TreeDepth: the fragment's top nodes come one below the holder.
            if (added > kMaxEntityNodes || targetDepth + depth > TXmlParser::kMaxDepth)
                throw EFilerError(FormatTolerant(sxEntityTooLarge, {name}));
            CountText(name, entity.size());
            if (std::all_of(fragment.begin(), fragment.end(),
                            [](const auto& part) { return part->IsEmpty(); }))
                break;

            if (firstReference == std::string_view::npos)
                firstReference = amp;
            else
                AddCharData(node, value.substr(from, amp - from), list);
            const TEntityChain inner{name, chain};
            for (auto& part : fragment) {
                if (part->IsEmpty())
                    continue;
                made.push_back(std::move(part));
                Place(made.back().get(), &inner, targetDepth + 1, list);
            }
            from = semi + 1;
        }
        if (firstReference == std::string_view::npos)
            return false;
        // The rest, from a reference that did not expand on, stays as written.
        AddCharData(node, value.substr(from), list);
        const std::string_view before = value.substr(0, firstReference);
        TXmlText kept;
        if (!UTF8Trim(before).empty())
            kept.Set(before);
        const bool empty = kept.empty();
        values.emplace_back(&node, std::move(kept));
        return empty;
    }

    // Text of node's value that is not blank, as character data of the list.
    void AddCharData(const TUtf8XmlNode& node, std::string_view text,
                     std::vector<TUtf8XmlNode*>& list) {
        if (UTF8Trim(text).empty())
            return;
        std::unique_ptr<TUtf8XmlNode> charData = node.NewNodeOfClass(node.FDocument);
        charData->FElementType = xeCharData;
        charData->FValue.Set(text);
        made.push_back(std::move(charData));
        list.push_back(made.back().get());
    }

    // Every reference in the attribute values, all written back at once. An
    // attribute without a value (or a name) has nothing to resolve and stays as
    // written.
    void ResolveAttributes(TUtf8XmlNode& node) {
        std::vector<std::string> items;
        bool changed = false;
        for (int i = 0; i < node.AttributeCount(); ++i) {
            const std::string_view written = node.FAttributes.Items(i);
            const std::string name = node.AttributeName(i);
            if (!IsValidAttributeName(name)) {
                items.emplace_back(written);
                continue;
            }
            const std::string value = node.AttributeValue(i);
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
                const std::string_view reference =
                    std::string_view(value).substr(amp + 1, semi - amp - 1);
                const std::string entity =
                    node.FDocument ? node.FDocument->ResolveEntity(reference) : std::string();
                if (entity.empty()) {
                    resolved.append(value, amp, semi - amp + 1);
                } else {
                    CountText(reference, Utf8EscapedLength(entity));
                    resolved.append(entity);
                }
                from = semi + 1;
            }
            items.push_back(AttributeItem(name, resolved));
            changed = changed || items.back() != written;
        }
        if (!changed)
            return;
        TxmUTF8StringList list;
        list.Assign(items);
        attributes.emplace_back(&node, std::move(list));
    }

    // Counts text that an expansion of the entity named adds.
    void CountText(std::string_view name, size_t bytes) {
        textBytes += bytes;
        if (textBytes > maxTextBytes)
            throw EFilerError(
                FormatTolerant(sxEntityTooLong, {name, std::to_string(maxTextBytes)}));
    }

    void Apply() noexcept {
        for (auto& [node, value] : values)
            node->FValue = std::move(value);
        for (auto& [node, items] : attributes)
            node->FAttributes.Swap(items);
        for (auto& [node, children] : lists) {
            node->FNodeCount = static_cast<int32_t>(children.size());
            for (size_t i = 0; i < children.size(); ++i) {
                node->FNodes[i] = children[i];
                children[i]->FParent = node;
                children[i]->FListed = true;
            }
        }
        // A made node in a list is the list's now; the others go with made.
        for (auto& node : made)
            if (node->FListed)
                (void)node.release();
        for (TUtf8XmlNode* node : dropped) {
            node->FListed = false;
            node->FParent = nullptr;
            delete node;
        }
    }
};

void TUtf8XmlNode::ResolveEntityReferences(size_t maxTextBytes) {
    TEntityContext context(maxTextBytes);
    TUtf8XmlNode* const holder = ListingParent();
    if (FElementType == xeCharData && holder) {
        // What this character data brings in follows it in its holder's list.
        const int index = holder->NodeIndexOf(this);
        std::vector<TUtf8XmlNode*> siblings(holder->FNodes, holder->FNodes + index + 1);
        context.Resolve(*this, nullptr, TreeDepth(), &siblings);
        if (siblings.size() > static_cast<size_t>(index) + 1) {
            siblings.insert(siblings.end(), holder->FNodes + index + 1,
                            holder->FNodes + holder->FNodeCount);
            context.StageList(*holder, std::move(siblings));
        }
    } else {
        context.Resolve(*this, nullptr, TreeDepth(), nullptr);
    }
    context.Apply();
}

} // namespace orvex
