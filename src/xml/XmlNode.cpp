#include "xml/XmlNode.h"

#include "platform/base/TextFormat.h"
#include "xml/UTF8StringUtils.h"
#include "xml/XmlErrors.h"
#include "xml/XmlMessages.h"
#include "xml/XmlScanners.h"
#include "xml/XmlValueConversions.h"

#include <algorithm>
#include <utility>

namespace orvex {

namespace {

std::string QuotedAttribute(std::string_view name, std::string_view value) {
    std::string item(name);
    item.push_back('=');
    item.append(Utf8QuoteText(Utf8EscapeText(value)));
    return item;
}

// The value part of an item, unquoted and resolved; empty without "=".
std::string ItemValue(const std::string& item) {
    const size_t eq = item.find('=');
    if (eq == std::string::npos)
        return {};
    return Utf8ResolveEntities(Utf8UnquoteText(std::string_view(item).substr(eq + 1)));
}

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

TUtf8XmlNode::~TUtf8XmlNode() { NodesClear(); }

std::unique_ptr<TUtf8XmlNode> TUtf8XmlNode::NewNodeOfClass(TXmlDocumentHooks* document) const {
    return std::make_unique<TUtf8XmlNode>(document);
}

bool TUtf8XmlNode::IsValidNodeName(std::string_view name) {
    if (name.empty())
        return true;
    const char first = name.front();
    if (first == '/' || first == '!' || first == '?' || name.back() == '/')
        return false;
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b == 0x7F || c == '<' || c == '>' || IsXmlQuote(c))
            return false;
    }
    return true;
}

void TUtf8XmlNode::SetName(std::string_view name) {
    if (name == FName)
        return;
    if (!IsValidNodeName(name))
        throw EXmlError(FormatTolerant(sxIllegalNodeNameChar, {name}));
    FName = name;
}

void TUtf8XmlNode::SetSubtreeDocument(TXmlDocumentHooks* document) {
    FDocument = document;
    for (auto& child : FNodes)
        child->SetSubtreeDocument(document);
}

// --- Children ---

TUtf8XmlNode* TUtf8XmlNode::Nodes(int index) const {
    return index >= 0 && index < NodeCount() ? FNodes[static_cast<size_t>(index)].get() : nullptr;
}

bool TUtf8XmlNode::CanHold(const TUtf8XmlNode* node) const {
    // A childless node is nobody's ancestor: the parser's case, kept O(1).
    if (node->FNodes.empty())
        return node != this;
    for (const TUtf8XmlNode* p = this; p; p = p->FParent)
        if (p == node)
            return false;
    return true;
}

int TUtf8XmlNode::AdoptAt(int index, TUtf8XmlNode* node) {
    std::unique_ptr<TUtf8XmlNode> owned(node);
    owned->FParent = this;
    owned->SetSubtreeDocument(FDocument);
    FNodes.insert(FNodes.begin() + index, std::move(owned));
    return index;
}

TUtf8XmlNode* TUtf8XmlNode::NodeNew(std::string_view name) {
    std::unique_ptr<TUtf8XmlNode> child = NewNodeOfClass(FDocument);
    child->SetName(name);
    return Nodes(NodeAdd(std::move(child)));
}

TUtf8XmlNode* TUtf8XmlNode::NodeNewAtIndex(int index, std::string_view name) {
    if (index < 0 || index > NodeCount())
        return nullptr;
    std::unique_ptr<TUtf8XmlNode> child = NewNodeOfClass(FDocument);
    child->SetName(name);
    TUtf8XmlNode* result = child.get();
    NodeInsert(index, std::move(child));
    return result;
}

TUtf8XmlNode* TUtf8XmlNode::NodeFindOrCreate(std::string_view name) {
    TUtf8XmlNode* node = NodeByName(name);
    return node ? node : NodeNew(name);
}

void TUtf8XmlNode::NodeDelete(int index) {
    if (index >= 0 && index < NodeCount()) {
        // Unlink before freeing, so the subtree is never reachable half-destroyed.
        std::unique_ptr<TUtf8XmlNode> doomed = std::move(FNodes[static_cast<size_t>(index)]);
        FNodes.erase(FNodes.begin() + index);
    }
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
    std::unique_ptr<TUtf8XmlNode> result = std::move(FNodes[static_cast<size_t>(index)]);
    FNodes.erase(FNodes.begin() + index);
    result->FParent = nullptr;
    return result;
}

void TUtf8XmlNode::NodeExchange(int index1, int index2) {
    if (index1 >= 0 && index1 < NodeCount() && index2 >= 0 && index2 < NodeCount())
        std::swap(FNodes[static_cast<size_t>(index1)], FNodes[static_cast<size_t>(index2)]);
}

void TUtf8XmlNode::NodesClear() {
    // Frees the subtree level by level, so a deep tree cannot exhaust the stack.
    std::vector<std::unique_ptr<TUtf8XmlNode>> doomed;
    doomed.swap(FNodes);
    while (!doomed.empty()) {
        std::unique_ptr<TUtf8XmlNode> node = std::move(doomed.back());
        doomed.pop_back();
        for (auto& child : node->FNodes)
            doomed.push_back(std::move(child));
        node->FNodes.clear();
    }
}

void TUtf8XmlNode::Delete() {
    if (FParent)
        FParent->NodeRemove(this);
}

int TUtf8XmlNode::NodeIndexOf(const TUtf8XmlNode* node) const {
    if (!node)
        return -1;
    for (size_t i = 0; i < FNodes.size(); ++i)
        if (FNodes[i].get() == node)
            return static_cast<int>(i);
    return -1;
}

int TUtf8XmlNode::IndexInParent() const { return FParent ? FParent->NodeIndexOf(this) : -1; }

// --- Lookups ---

TUtf8XmlNode* TUtf8XmlNode::NodeByName(std::string_view name) const {
    return Nodes(NodeIndexByName(name));
}

int TUtf8XmlNode::NodeIndexByName(std::string_view name) const {
    return NodeIndexByNameFrom(name, 0);
}

int TUtf8XmlNode::NodeIndexByNameFrom(std::string_view name, int from) const {
    for (int i = std::max(from, 0); i < NodeCount(); ++i)
        if (Utf8CompareText(FNodes[static_cast<size_t>(i)]->FName, name) == 0)
            return i;
    return -1;
}

void TUtf8XmlNode::NodesByName(std::string_view name, TUtf8XmlNodeList* list) const {
    if (!list)
        return;
    list->Clear();
    for (const auto& child : FNodes)
        if (Utf8CompareText(child->FName, name) == 0)
            list->Add(child.get());
}

TUtf8XmlNode* TUtf8XmlNode::NodeByElementType(TXmlElementType type) const {
    for (const auto& child : FNodes)
        if (child->FElementType == type)
            return child.get();
    return nullptr;
}

TUtf8XmlNode* TUtf8XmlNode::NodeByAttributeValue(std::string_view nodeName,
                                                 std::string_view attribName,
                                                 std::string_view attribValue,
                                                 bool recurse) const {
    for (const auto& child : FNodes) {
        if (Utf8CompareText(child->FName, nodeName) == 0 && child->HasAttribute(attribName) &&
            Utf8CompareText(child->AttributeByName(attribName), attribValue) == 0)
            return child.get();
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
    for (const auto& child : FNodes) {
        if (MatchesSearch(*child, name))
            return child.get();
        if (TUtf8XmlNode* hit = child->FindNode(name))
            return hit;
    }
    return nullptr;
}

void TUtf8XmlNode::FindNodes(std::string_view name, TUtf8XmlNodeList& list) const {
    list.Clear();
    // Pre-order without recursion, children pushed in reverse.
    std::vector<const TUtf8XmlNode*> stack;
    for (auto it = FNodes.rbegin(); it != FNodes.rend(); ++it)
        stack.push_back(it->get());
    while (!stack.empty()) {
        const TUtf8XmlNode* node = stack.back();
        stack.pop_back();
        if (MatchesSearch(*node, name))
            list.Add(const_cast<TUtf8XmlNode*>(node));
        for (auto it = node->FNodes.rbegin(); it != node->FNodes.rend(); ++it)
            stack.push_back(it->get());
    }
}

// --- Paths and counts ---

int TUtf8XmlNode::TreeDepth() const {
    int depth = -1;
    for (const TUtf8XmlNode* p = FParent; p; p = p->FParent)
        ++depth;
    return depth;
}

int TUtf8XmlNode::TotalNodeCount() const {
    int total = NodeCount();
    for (const auto& child : FNodes)
        total += child->TotalNodeCount();
    return total;
}

std::string TUtf8XmlNode::FullPath() const {
    // This node and its ancestors down to the root level; the container adds nothing.
    std::vector<const TUtf8XmlNode*> chain{this};
    for (const TUtf8XmlNode* p = this; p->FParent && p->FParent->FParent; p = p->FParent)
        chain.push_back(p->FParent);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        path.push_back('/');
        path.append((*it)->FName);
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
    std::string own = FName + (index < 0 ? "-" : "") + digits;
    return FParent ? FParent->CascadedName() + "_" + own : own;
}

// --- Attributes ---

void TUtf8XmlNode::AttributeAdd(std::string_view name, std::string_view value) {
    FAttributes.Add(QuotedAttribute(name, value));
}

void TUtf8XmlNode::AttributeAdd(std::string_view name, int32_t value) {
    AttributeAdd(name, IntToUtf8(value));
}

std::string TUtf8XmlNode::AttributeByName(std::string_view name) const {
    const int index = FAttributes.IndexOfName(name);
    if (index < 0)
        return {};
    const std::string_view item = FAttributes.Items(index);
    return Utf8ResolveEntities(Utf8UnquoteText(item.substr(name.size() + 1)));
}

void TUtf8XmlNode::SetAttributeByName(std::string_view name, std::string_view value) {
    const int index = FAttributes.IndexOfName(name);
    if (index < 0)
        FAttributes.Add(QuotedAttribute(name, value));
    else
        FAttributes.SetItems(index, QuotedAttribute(name, value));
}

std::string TUtf8XmlNode::AttributeName(int index) const { return FAttributes.Names(index); }

std::string TUtf8XmlNode::AttributePair(int index) const { return FAttributes.Items(index); }

std::string TUtf8XmlNode::AttributeValue(int index) const {
    return ItemValue(FAttributes.Items(index));
}

void TUtf8XmlNode::SetAttributeValue(int index, std::string_view value) {
    if (index >= 0 && index < AttributeCount())
        FAttributes.SetItems(index, QuotedAttribute(FAttributes.Names(index), value));
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
    return FValue.empty() && FNodes.empty() && FAttributes.Count() == 0;
}

void TUtf8XmlNode::Clear() {
    FName.clear();
    FValue.clear();
    AttributesClear();
    NodesClear();
}

void TUtf8XmlNode::DeleteEmptyNodes() {
    for (int i = NodeCount() - 1; i >= 0; --i) {
        TUtf8XmlNode& child = *FNodes[static_cast<size_t>(i)];
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
    copies.reserve(source.FNodes.size());
    for (const auto& child : source.FNodes) {
        std::unique_ptr<TUtf8XmlNode> copy = NewNodeOfClass(FDocument);
        copy->Assign(*child);
        copies.push_back(std::move(copy));
    }
    TxmUTF8StringList attributes;
    attributes.Assign(source.FAttributes);
    const TXmlElementType type = source.FElementType;
    std::string name = source.FName;
    std::string value = source.FValue;
    const int32_t tag = source.FTag;

    Clear();
    FElementType = type;
    FName = std::move(name);
    FValue = std::move(value);
    FTag = tag;
    FAttributes.Assign(attributes);
    // Fresh copies of this document: no ownership check or relinking needed.
    for (auto& copy : copies) {
        copy->FParent = this;
        FNodes.push_back(std::move(copy));
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
    return FElementType == xeNormal && FValue.empty() && FNodes.empty() && !UseFullNodes() &&
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
    TxmUTF8StringList items;
    Utf8ParseAttributes(tagText, items);
    int first = 0;
    if (FElementType == xeDeclaration) {
        FName = "xml";
    } else if (FElementType == xeStylesheet) {
        FName = "xml-stylesheet";
        FValue = UTF8Trim(tagText);
    } else {
        if (items.Count() == 0)
            throw EFilerError(std::string(sxMissingElementName));
        FName = items.Items(0);
        first = 1;
    }
    for (int i = first; i < items.Count(); ++i)
        FAttributes.Add(items.Items(i));
}

void TUtf8XmlNode::AddCharData(std::string_view pending, bool keepBlanks) {
    if (keepBlanks ? pending.empty() : UTF8Trim(pending).empty())
        return;
    std::unique_ptr<TUtf8XmlNode> node = NewNodeOfClass(FDocument);
    node->FElementType = xeCharData;
    node->FValue = pending;
    NodeAdd(std::move(node));
}

// --- Conversions ---

std::string TUtf8XmlNode::FromAnsiString(std::string_view text) { return AnsiToUtf8(text); }
std::string TUtf8XmlNode::FromUnicodeString(std::u16string_view text) { return UnicodeToUtf8(text); }
std::u16string TUtf8XmlNode::ToUnicodeString(std::string_view text) { return Utf8ToUnicode(text); }
std::string TUtf8XmlNode::UnescapeString(std::string_view text) { return Utf8ResolveEntities(text); }

} // namespace orvex
