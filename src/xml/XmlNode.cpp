#include "xml/XmlNode.h"

#include "base/TextFormat.h"
#include "xml/UTF8StringUtils.h"
#include "xml/XmlErrors.h"
#include "xml/XmlMessages.h"
#include "xml/XmlScanners.h"
#include "xml/XmlValueConversions.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

namespace orvex {

namespace {

// The value part of an item, unquoted and resolved; empty without "=".
std::string ItemValue(std::string_view item) {
    const size_t eq = item.find('=');
    if (eq == std::string_view::npos)
        return {};
    return Utf8ResolveEntities(Utf8UnquoteText(item.substr(eq + 1)));
}

// Child arrays grow by doubling from a handful.
constexpr int32_t kFirstChildCapacity = 4;

} // namespace

TUtf8XmlNode::TUtf8XmlNode(TXmlDocumentHooks* document) : FDocument(document) {}

TUtf8XmlNode::TUtf8XmlNode(TXmlDocumentHooks* document, std::string_view name)
    : FDocument(document) {
    SetName(name);
}

TUtf8XmlNode::TUtf8XmlNode(TXmlDocumentHooks* document, std::string_view name,
                           std::string_view value)
    : FDocument(document) {
    SetName(name);
    SetValueAsString(value);
}

TUtf8XmlNode::TUtf8XmlNode(TXmlDocumentHooks* document, TXmlElementType elementType)
    : FDocument(document), FElementType(elementType) {}

TUtf8XmlNode::~TUtf8XmlNode() {
    TXmlPages::TBatch batch;
    NodesClear();
    ReleaseParts(batch);
}

void TUtf8XmlNode::operator delete(TUtf8XmlNode* node, std::destroying_delete_t) {
    // Freed while its parent still lists it, the parent would free it again. A
    // delete cannot throw, so the misuse stops the program with its reason.
    if (node->FListed) {
        std::fputs("TUtf8XmlNode: a node that is still in its parent's child list was freed; "
                   "take it out with NodeExtract or free it with NodeDelete or NodeRemove\n",
                   stderr);
        std::abort();
    }
    TXmlPages::TBatch batch;
    node->NodesClear();
    Destroy(node, batch);
}

void TUtf8XmlNode::Destroy(TUtf8XmlNode* node, TXmlPages::TBatch& batch) {
    const bool onPage = node->FOnPage;
    node->ReleaseParts(batch);
    node->~TUtf8XmlNode();
    if (onPage)
        batch.Release(node);
    else
        ::operator delete(node);
}

void TUtf8XmlNode::ReleaseParts(TXmlPages::TBatch& batch) {
    FName.ReleaseInto(batch);
    FValue.ReleaseInto(batch);
    FAttributes.ReleaseInto(batch);
    if (FNodes)
        batch.Release(FNodes, FNodesOnPage);
    FNodes = nullptr;
    FNodeCount = FNodeCapacity = 0;
    FNodesOnPage = false;
}

std::unique_ptr<TUtf8XmlNode> TUtf8XmlNode::NewNodeOfClass(TXmlDocumentHooks* document) const {
    return std::make_unique<TUtf8XmlNode>(document);
}

TUtf8XmlNode* TUtf8XmlNode::NewNodeOfClassIn(TXmlPages& pages, TXmlDocumentHooks* document) const {
    return MarkOnPage(::new (pages.Allocate(sizeof(TUtf8XmlNode))) TUtf8XmlNode(document));
}

namespace {

// The bytes that a name may hold: node names take "=", attribute names do not.
// Names are checked on every node and attribute made, so by table.
struct TNameBytes {
    bool Node[256] = {};
    bool Attribute[256] = {};
    constexpr TNameBytes() {
        for (int b = 0x21; b < 0x100; ++b) {
            const char c = static_cast<char>(b);
            Node[b] = b != 0x7F && c != '<' && c != '>' && !IsXmlQuote(c);
            Attribute[b] = Node[b] && c != '=';
        }
    }
};
constexpr TNameBytes kNameBytes;

bool AllOf(const bool (&allowed)[256], std::string_view name) {
    for (char c : name)
        if (!allowed[static_cast<unsigned char>(c)])
            return false;
    return true;
}

} // namespace

bool TUtf8XmlNode::IsValidNodeName(std::string_view name) {
    if (name.empty())
        return true;
    const char first = name.front();
    if (first == '/' || first == '!' || first == '?' || name.back() == '/')
        return false;
    return AllOf(kNameBytes.Node, name);
}

void TUtf8XmlNode::SetName(std::string_view name) {
    if (name == FName.View())
        return;
    if (!IsValidNodeName(name))
        throw EXmlError(FormatTolerant(sxIllegalNodeNameChar, {name}));
    FName.Set(name);
}

void TUtf8XmlNode::SetParent(TUtf8XmlNode* parent) {
    if (parent == FParent)
        return;
    // A loop of parents would never end a walk up the tree.
    if (parent && parent->IsAtOrBelow(this))
        throw EXmlError(FormatTolerant(sxNodeUnderItself, {Name()}));
    if (TUtf8XmlNode* holder = ListingParent())
        holder->NodeExtract(this).release();
    FParent = parent;
}

void TUtf8XmlNode::SetSubtreeDocument(TXmlDocumentHooks* document) {
    FDocument = document;
    for (int i = 0; i < FNodeCount; ++i)
        FNodes[i]->SetSubtreeDocument(document);
}

// --- Children ---

TUtf8XmlNode* TUtf8XmlNode::Nodes(int index) const {
    return index >= 0 && index < FNodeCount ? FNodes[index] : nullptr;
}

bool TUtf8XmlNode::IsAtOrBelow(const TUtf8XmlNode* node) const {
    for (const TUtf8XmlNode* p = this; p; p = p->ListingParent())
        if (p == node)
            return true;
    return false;
}

void TUtf8XmlNode::ReserveChildren(int count, TXmlPages* pages) {
    if (count <= FNodeCapacity)
        return;
    const int32_t capacity = std::max({count, FNodeCapacity * 2, kFirstChildCapacity});
    const size_t bytes = sizeof(TUtf8XmlNode*) * static_cast<size_t>(capacity);
    auto* nodes = static_cast<TUtf8XmlNode**>(pages ? pages->Allocate(bytes) : std::malloc(bytes));
    if (!nodes)
        throw std::bad_alloc();
    if (FNodeCount > 0)
        std::memcpy(nodes, FNodes, sizeof(TUtf8XmlNode*) * static_cast<size_t>(FNodeCount));
    if (FNodes)
        TXmlPages::Release(FNodes, FNodesOnPage);
    FNodes = nodes;
    FNodeCapacity = capacity;
    FNodesOnPage = pages != nullptr;
}

int TUtf8XmlNode::AdoptAt(int index, TUtf8XmlNode* node) {
    // Left in the list that holds it, the node would be freed by both.
    if (TUtf8XmlNode* holder = node->ListingParent()) {
        const int from = holder->NodeIndexOf(node);
        holder->TakeChild(from);
        if (holder == this && from < index)
            --index;
    }
    std::unique_ptr<TUtf8XmlNode> owned(node); // freed should the list not grow
    ReserveChildren(FNodeCount + 1, nullptr);
    owned->FParent = this;
    owned->FListed = true;
    owned->SetSubtreeDocument(FDocument);
    std::memmove(FNodes + index + 1, FNodes + index,
                 sizeof(TUtf8XmlNode*) * static_cast<size_t>(FNodeCount - index));
    FNodes[index] = owned.release();
    ++FNodeCount;
    return index;
}

void TUtf8XmlNode::AppendParsed(TUtf8XmlNode* node, TXmlPages& pages) {
    if (FNodeCount == FNodeCapacity) {
        try {
            ReserveChildren(FNodeCount + 1, &pages);
        } catch (...) {
            delete node;
            throw;
        }
    }
    node->FParent = this;
    node->FListed = true;
    FNodes[FNodeCount++] = node;
}

TUtf8XmlNode* TUtf8XmlNode::TakeChild(int index) {
    TUtf8XmlNode* node = FNodes[index];
    std::memmove(FNodes + index, FNodes + index + 1,
                 sizeof(TUtf8XmlNode*) * static_cast<size_t>(FNodeCount - index - 1));
    --FNodeCount;
    node->FParent = nullptr;
    node->FListed = false;
    return node;
}

std::unique_ptr<TUtf8XmlNode> TUtf8XmlNode::NewChild(std::string_view name) const {
    TXmlPages* pages = FDocument ? FDocument->NodePages() : nullptr;
    std::unique_ptr<TUtf8XmlNode> child(pages ? NewNodeOfClassIn(*pages, FDocument)
                                              : NewNodeOfClass(FDocument).release());
    child->SetName(name);
    return child;
}

TUtf8XmlNode* TUtf8XmlNode::NodeNew(std::string_view name) {
    return Nodes(NodeAdd(NewChild(name)));
}

TUtf8XmlNode* TUtf8XmlNode::NodeNewAtIndex(int index, std::string_view name) {
    if (index < 0 || index > NodeCount())
        return nullptr;
    std::unique_ptr<TUtf8XmlNode> child = NewChild(name);
    TUtf8XmlNode* result = child.get();
    NodeInsert(index, std::move(child));
    return result;
}

TUtf8XmlNode* TUtf8XmlNode::NodeFindOrCreate(std::string_view name) {
    TUtf8XmlNode* node = NodeByName(name);
    return node ? node : NodeNew(name);
}

void TUtf8XmlNode::NodeDelete(int index) {
    // Unlinked before freeing, so the subtree is never reachable half-destroyed.
    if (index >= 0 && index < FNodeCount)
        delete TakeChild(index);
}

int TUtf8XmlNode::NodeRemove(TUtf8XmlNode* node) {
    const int index = NodeIndexOf(node);
    if (index >= 0)
        NodeDelete(index);
    return index;
}

std::unique_ptr<TUtf8XmlNode> TUtf8XmlNode::NodeExtract(TUtf8XmlNode* node) {
    const int index = NodeIndexOf(node);
    if (index < 0)
        return nullptr;
    std::unique_ptr<TUtf8XmlNode> result(TakeChild(index));
    result->FParent = nullptr;
    // The node may outlive its document: it reads the default settings until it
    // joins another.
    result->SetSubtreeDocument(nullptr);
    return result;
}

void TUtf8XmlNode::NodeExchange(int index1, int index2) {
    if (index1 >= 0 && index1 < FNodeCount && index2 >= 0 && index2 < FNodeCount)
        std::swap(FNodes[index1], FNodes[index2]);
}

void TUtf8XmlNode::NodesClear() {
    if (FNodeCount == 0)
        return;
    // Frees the subtree without recursion, so a deep tree cannot exhaust the
    // stack, and page memory a page at a time. The nodes still to free wait on
    // a stack in doomed; when it cannot grow for want of memory, those pushed
    // meanwhile wait above it threaded through their Parent fields, so that
    // freeing never fails.
    TXmlPages::TBatch batch;
    std::vector<TUtf8XmlNode*> doomed;
    TUtf8XmlNode* threaded = nullptr;
    const auto push = [&doomed, &threaded](TUtf8XmlNode* node) noexcept {
        if (!threaded) {
            try {
                doomed.push_back(node);
                return;
            } catch (const std::bad_alloc&) {
            }
        }
        node->FParent = threaded;
        threaded = node;
    };
    try {
        doomed.reserve(static_cast<size_t>(FNodeCount));
    } catch (const std::bad_alloc&) {
    }
    for (int i = 0; i < FNodeCount; ++i)
        push(FNodes[i]);
    FNodeCount = 0;
    while (threaded || !doomed.empty()) {
        TUtf8XmlNode* node = threaded;
        if (node) {
            threaded = node->FParent;
        } else {
            node = doomed.back();
            doomed.pop_back();
        }
        for (int i = node->FNodeCount - 1; i >= 0; --i)
            push(node->FNodes[i]);
        node->FNodeCount = 0;
        Destroy(node, batch);
    }
}

void TUtf8XmlNode::Delete() {
    if (TUtf8XmlNode* holder = ListingParent())
        holder->NodeRemove(this);
}

int TUtf8XmlNode::NodeIndexOf(const TUtf8XmlNode* node) const {
    if (!node)
        return -1;
    for (int i = 0; i < FNodeCount; ++i)
        if (FNodes[i] == node)
            return i;
    return -1;
}

int TUtf8XmlNode::IndexInParent() const {
    const TUtf8XmlNode* holder = ListingParent();
    return holder ? holder->NodeIndexOf(this) : -1;
}

// --- Lookups ---

TUtf8XmlNode* TUtf8XmlNode::NodeByName(std::string_view name) const {
    return Nodes(NodeIndexByName(name));
}

int TUtf8XmlNode::NodeIndexByName(std::string_view name) const {
    return NodeIndexByNameFrom(name, 0);
}

int TUtf8XmlNode::NodeIndexByNameFrom(std::string_view name, int from) const {
    for (int i = std::max(from, 0); i < FNodeCount; ++i)
        if (Utf8CompareText(FNodes[i]->FName, name) == 0)
            return i;
    return -1;
}

void TUtf8XmlNode::NodesByName(std::string_view name, TUtf8XmlNodeList* list) const {
    if (!list)
        return;
    list->Clear();
    for (int i = 0; i < FNodeCount; ++i)
        if (Utf8CompareText(FNodes[i]->FName, name) == 0)
            list->Add(FNodes[i]);
}

TUtf8XmlNode* TUtf8XmlNode::NodeByElementType(TXmlElementType type) const {
    for (int i = 0; i < FNodeCount; ++i)
        if (FNodes[i]->FElementType == type)
            return FNodes[i];
    return nullptr;
}

TUtf8XmlNode* TUtf8XmlNode::NodeByAttributeValue(std::string_view nodeName,
                                                 std::string_view attribName,
                                                 std::string_view attribValue,
                                                 bool recurse) const {
    for (int i = 0; i < FNodeCount; ++i) {
        TUtf8XmlNode* child = FNodes[i];
        if (Utf8CompareText(child->FName, nodeName) == 0 && child->HasAttribute(attribName) &&
            Utf8CompareText(child->AttributeByName(attribName), attribValue) == 0)
            return child;
        if (recurse) {
            if (TUtf8XmlNode* hit =
                    child->NodeByAttributeValue(nodeName, attribName, attribValue, true))
                return hit;
        }
    }
    return nullptr;
}

namespace {

bool MatchesSearch(const TUtf8XmlNode& node, std::string_view name) {
    if (!name.empty() && name.front() == '/')
        return Utf8CompareText(node.FullPath(), name) == 0;
    return Utf8CompareText(node.Name(), name) == 0;
}

} // namespace

TUtf8XmlNode* TUtf8XmlNode::FindNode(std::string_view name) const {
    for (int i = 0; i < FNodeCount; ++i) {
        if (MatchesSearch(*FNodes[i], name))
            return FNodes[i];
        if (TUtf8XmlNode* hit = FNodes[i]->FindNode(name))
            return hit;
    }
    return nullptr;
}

void TUtf8XmlNode::FindNodes(std::string_view name, TUtf8XmlNodeList& list) const {
    list.Clear();
    // Pre-order without recursion, children pushed in reverse.
    std::vector<const TUtf8XmlNode*> stack;
    for (int i = FNodeCount - 1; i >= 0; --i)
        stack.push_back(FNodes[i]);
    while (!stack.empty()) {
        const TUtf8XmlNode* node = stack.back();
        stack.pop_back();
        if (MatchesSearch(*node, name))
            list.Add(const_cast<TUtf8XmlNode*>(node));
        for (int i = node->FNodeCount - 1; i >= 0; --i)
            stack.push_back(node->FNodes[i]);
    }
}

// --- Paths and counts ---

int TUtf8XmlNode::TreeDepth() const {
    int depth = -1;
    for (const TUtf8XmlNode* p = ListingParent(); p; p = p->ListingParent())
        ++depth;
    return depth;
}

int TUtf8XmlNode::TotalNodeCount() const {
    int total = FNodeCount;
    for (int i = 0; i < FNodeCount; ++i)
        total += FNodes[i]->TotalNodeCount();
    return total;
}

std::string TUtf8XmlNode::FullPath() const {
    // This node and its ancestors down to the root level; the container adds nothing.
    std::vector<const TUtf8XmlNode*> chain{this};
    for (const TUtf8XmlNode* p = ListingParent(); p && p->ListingParent(); p = p->ListingParent())
        chain.push_back(p);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        path.push_back('/');
        path.append((*it)->FName.View());
    }
    return path;
}

std::string TUtf8XmlNode::CascadedName() const {
    int32_t index = 0;
    if (!TryUtf8ToInt32(AttributeByName("Index"), index))
        index = 0;
    std::string digits = std::to_string(index < 0 ? -int64_t(index) : int64_t(index));
    if (digits.size() < 4)
        digits.insert(0, 4 - digits.size(), '0');
    std::string own = std::string(FName.View()) + (index < 0 ? "-" : "") + digits;
    const TUtf8XmlNode* holder = ListingParent();
    return holder ? holder->CascadedName() + "_" + own : own;
}

// --- Attributes ---

void TUtf8XmlNode::CheckAttributeName(std::string_view name) {
    if (!IsValidAttributeName(name))
        throw EXmlError(FormatTolerant(sxIllegalNodeNameChar, {name}));
}

// Values are escaped, so they never hold a double quote: the item is name="value".
size_t TUtf8XmlNode::AttributeItemLength(std::string_view name, std::string_view value) {
    // An empty name cannot be read back: "=" would join the item before it.
    if (name.empty())
        throw EXmlError(FormatTolerant(sxIllegalNodeNameChar, {name}));
    return name.size() + 3 + Utf8EscapedLength(value);
}

void TUtf8XmlNode::WriteAttributeItem(char* out, std::string_view name, std::string_view value, size_t length) {
    std::memcpy(out, name.data(), name.size());
    out += name.size();
    *out++ = '=';
    *out++ = '"';
    if (length != name.size() + 3 + value.size())
        Utf8EscapeInto(out, value);
    else if (!value.empty())  // nothing to escape; an empty view may have no memory
        std::memcpy(out, value.data(), value.size());
    out[length - name.size() - 3] = '"';
}

std::string TUtf8XmlNode::AttributeItem(std::string_view name, std::string_view value) {
    std::string item(AttributeItemLength(name, value), '\0');
    WriteAttributeItem(item.data(), name, value, item.size());
    return item;
}

bool TUtf8XmlNode::IsValidAttributeName(std::string_view name) {
    return !name.empty() && AllOf(kNameBytes.Attribute, name);
}

void TUtf8XmlNode::AttributeAdd(std::string_view name, std::string_view value) { AttributesAdd({{name, value}}); }

void TUtf8XmlNode::AttributesAdd(std::initializer_list<TAttributeText> attributes) {
    for (const TAttributeText& attribute : attributes)
        CheckAttributeName(attribute.Name);
    // A text from this node's own items would go with the old list when the new
    // one is made: copies of them all are added instead.
    for (const TAttributeText& attribute : attributes) {
        if (FAttributes.Holds(attribute.Name) || FAttributes.Holds(attribute.Value)) {
            std::vector<std::string> texts;
            for (const TAttributeText& each : attributes) {
                texts.emplace_back(each.Name);
                texts.emplace_back(each.Value);
            }
            for (size_t i = 0; i < texts.size(); i += 2)
                AttributesAdd({{texts[i], texts[i + 1]}});
            return;
        }
    }
    constexpr size_t kMost = 8;
    if (attributes.size() > kMost) {
        for (const TAttributeText& attribute : attributes)
            AttributesAdd({attribute});
        return;
    }
    uint32_t lengths[kMost] = {};
    int count = 0;
    for (const TAttributeText& attribute : attributes) {
        const size_t length = AttributeItemLength(attribute.Name, attribute.Value);
        if (length > std::numeric_limits<uint32_t>::max())
            throw EXmlError("Attributes too long");
        lengths[count++] = static_cast<uint32_t>(length);
    }
    // A node in pages gets its first attributes there too: nodes are mostly built
    // with all of them at once. Later changes go to the heap.
    TXmlPages* pages = FOnPage && AttributeCount() == 0 && FDocument ? FDocument->NodePages() : nullptr;
    char* out = FAttributes.AddUnfilled(lengths, count, pages);
    count = 0;
    for (const TAttributeText& attribute : attributes) {
        WriteAttributeItem(out, attribute.Name, attribute.Value, lengths[count]);
        out += lengths[count++];
    }
}

void TUtf8XmlNode::AttributeAdd(std::string_view name, int32_t value) {
    AttributeAdd(name, IntToUtf8(value));
}

std::string TUtf8XmlNode::AttributeByName(std::string_view name) const {
    const int index = FAttributes.IndexOfName(name);
    if (index < 0)
        return {};
    return Utf8ResolveEntities(Utf8UnquoteText(FAttributes.Items(index).substr(name.size() + 1)));
}

void TUtf8XmlNode::SetAttributeByName(std::string_view name, std::string_view value) {
    CheckAttributeName(name);
    const int index = FAttributes.IndexOfName(name);
    if (index < 0)
        FAttributes.Add(AttributeItem(name, value));
    else
        FAttributes.SetItems(index, AttributeItem(name, value));
}

std::string TUtf8XmlNode::AttributeName(int index) const { return FAttributes.Names(index); }

std::string TUtf8XmlNode::AttributePair(int index) const { return std::string(FAttributes.Items(index)); }

std::string TUtf8XmlNode::AttributeValue(int index) const {
    return ItemValue(FAttributes.Items(index));
}

void TUtf8XmlNode::SetAttributeValue(int index, std::string_view value) {
    if (index >= 0 && index < AttributeCount())
        FAttributes.SetItems(index, AttributeItem(FAttributes.Names(index), value));
}

int TUtf8XmlNode::AttributeIndexByName(std::string_view name) const {
    return FAttributes.IndexOfName(name);
}

void TUtf8XmlNode::DeleteEmptyAttributes() {
    for (int i = AttributeCount() - 1; i >= 0; --i)
        if (AttributeValue(i).empty())
            FAttributes.Delete(i);
}

// --- Emptiness and copying ---

bool TUtf8XmlNode::IsEmpty() const {
    return FValue.empty() && FNodeCount == 0 && FAttributes.Count() == 0;
}

void TUtf8XmlNode::Clear() {
    FName.clear();
    FValue.clear();
    AttributesClear();
    NodesClear();
}

void TUtf8XmlNode::DeleteEmptyNodes() {
    for (int i = FNodeCount - 1; i >= 0; --i) {
        TUtf8XmlNode& child = *FNodes[i];
        child.DeleteEmptyNodes();
        if (child.IsEmpty())
            NodeDelete(i);
    }
}

void TUtf8XmlNode::Assign(const TUtf8XmlNode& source) {
    if (&source == this)
        return;
    // Copy everything first: source may lie inside this node's own subtree.
    std::vector<std::unique_ptr<TUtf8XmlNode>> copies;
    copies.reserve(static_cast<size_t>(source.FNodeCount));
    for (int i = 0; i < source.FNodeCount; ++i) {
        std::unique_ptr<TUtf8XmlNode> copy = NewNodeOfClass(FDocument);
        copy->Assign(*source.FNodes[i]);
        copies.push_back(std::move(copy));
    }
    TxmUTF8StringList attributes;
    attributes.Assign(source.FAttributes);
    const TXmlElementType type = source.FElementType;
    TXmlText name;
    name.Set(source.FName);
    TXmlText value;
    value.Set(source.FValue);
    const int32_t tag = source.FTag;

    Clear();
    FElementType = type;
    FName = std::move(name);
    FValue = std::move(value);
    FTag = tag;
    FAttributes.Assign(attributes);
    ReserveChildren(static_cast<int>(copies.size()), nullptr);
    // Fresh copies of this document: no ownership check or relinking needed.
    for (auto& copy : copies) {
        copy->FParent = this;
        copy->FListed = true;
        FNodes[FNodeCount++] = copy.release();
    }
}

void TUtf8XmlNode::Assign(TXmlDocumentHooks& document) {
    if (TUtf8XmlNode* container = document.RootNodeList())
        Assign(*container);
}

// --- Layout and settings ---

std::string TUtf8XmlNode::Indent() const {
    std::string indent;
    if (FDocument && FDocument->XmlFormat() == xfReadable) {
        const std::string unit = FDocument->IndentString();
        for (int i = TreeDepth(); i > 0; --i)
            indent.append(unit);
    }
    return indent;
}

std::string TUtf8XmlNode::LineFeed() const {
    return FDocument && FDocument->XmlFormat() == xfReadable ? "\r\n" : "";
}

bool TUtf8XmlNode::IsShortForm() const {
    return FElementType == xeNormal && FValue.empty() && FNodeCount == 0 && !UseFullNodes() &&
           TreeDepth() > 0;
}

std::string TUtf8XmlNode::WriteInnerTag() const {
    std::string text;
    for (int i = 0; i < AttributeCount(); ++i) {
        text.push_back(' ');
        text.append(FAttributes.Items(i));
    }
    if (IsShortForm())
        text.push_back('/');
    return text;
}

bool TUtf8XmlNode::AbortParsing() const { return FDocument && FDocument->AbortParsing(); }
bool TUtf8XmlNode::WriteOnDefault() const { return !FDocument || FDocument->WriteOnDefault(); }
int TUtf8XmlNode::FloatSignificantDigits() const {
    return FDocument ? FDocument->FloatSignificantDigits() : 6;
}
bool TUtf8XmlNode::FloatAllowScientific() const {
    return !FDocument || FDocument->FloatAllowScientific();
}
bool TUtf8XmlNode::UseFullNodes() const { return FDocument && FDocument->UseFullNodes(); }
bool TUtf8XmlNode::UseLocalBias() const { return FDocument && FDocument->UseLocalBias(); }
TBinaryEncodingType TUtf8XmlNode::BinaryEncoding() const {
    return FDocument ? FDocument->BinaryEncoding() : xbeBinHex;
}
void TUtf8XmlNode::SetBinaryEncoding(TBinaryEncodingType encoding) {
    if (FDocument)
        FDocument->SetBinaryEncoding(encoding);
}

// --- Parser support ---

void TUtf8XmlNode::ParseTag(std::string_view tagText) {
    if (FElementType == xeDeclaration || FElementType == xeStylesheet) {
        if (FElementType == xeDeclaration) {
            FName.Set("xml");
        } else {
            FName.Set("xml-stylesheet");
            FValue.Set(UTF8Trim(tagText));
        }
        AddParsedAttributes(tagText);
        return;
    }
    // The name is the first word as it stands: it never joins what follows, so
    // any attribute text after it reads back the same under any name.
    std::string_view rest;
    const std::string_view name = SplitTagName(tagText, rest);
    if (name.empty())
        throw EFilerError(std::string(sxMissingElementName));
    FName.Set(name);
    AddParsedAttributes(rest);
}

void TUtf8XmlNode::AddParsedAttributes(std::string_view text) {
    if (FAttributes.Count() == 0) {
        Utf8ParseAttributes(text, FAttributes);
        return;
    }
    TxmUTF8StringList items;
    Utf8ParseAttributes(text, items);
    std::vector<std::string> all;
    for (int i = 0; i < FAttributes.Count(); ++i)
        all.emplace_back(FAttributes.Items(i));
    for (int i = 0; i < items.Count(); ++i)
        all.emplace_back(items.Items(i));
    FAttributes.Assign(all);
}

void TUtf8XmlNode::AddCharData(std::string_view pending, bool keepBlanks, TXmlPages* pages) {
    if (keepBlanks ? pending.empty() : UTF8Trim(pending).empty())
        return;
    if (!pages) {
        std::unique_ptr<TUtf8XmlNode> node = NewNodeOfClass(FDocument);
        node->FElementType = xeCharData;
        node->FValue.Set(pending);
        NodeAdd(std::move(node));
        return;
    }
    TUtf8XmlNode* node = NewNodeOfClassIn(*pages, FDocument);
    node->FElementType = xeCharData;
    node->FValue.SetIn(*pages, pending);
    AppendParsed(node, *pages);
}

// --- Conversions ---

std::string TUtf8XmlNode::FromAnsiString(std::string_view text) { return AnsiToUtf8(text); }
std::string TUtf8XmlNode::FromUnicodeString(std::u16string_view text) { return UnicodeToUtf8(text); }
std::u16string TUtf8XmlNode::ToUnicodeString(std::string_view text) { return Utf8ToUnicode(text); }
std::string TUtf8XmlNode::UnescapeString(std::string_view text) { return Utf8ResolveEntities(text); }

} // namespace orvex
