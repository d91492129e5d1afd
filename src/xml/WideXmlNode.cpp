#include "xml/WideXmlNode.h"

#include "base/Utf.h"
#include "xml/UTF8StringUtils.h"

#include <typeinfo>

namespace orvex {

namespace {

std::string U8(std::u16string_view text) { return TUtf8XmlNode::FromUnicodeString(text); }
std::u16string U16(std::string_view text) { return TUtf8XmlNode::ToUnicodeString(text); }

// Carries a UTF-16 compare function through the UTF-8 sort.
struct TWideCompare {
    TWideXmlNodeCompareFunction compare;
    void* info;
};

int CompareThroughWide(TUtf8XmlNode* node1, TUtf8XmlNode* node2, void* info) {
    const auto* wide = static_cast<const TWideCompare*>(info);
    return wide->compare(TWideXmlNode::Cast(node1), TWideXmlNode::Cast(node2), wide->info);
}

} // namespace

TWideXmlNode::TWideXmlNode(TXmlDocumentHooks* document, std::u16string_view name)
    : TUtf8XmlNode(document, U8(name)) {}

TWideXmlNode::TWideXmlNode(TXmlDocumentHooks* document, std::u16string_view name,
                           std::u16string_view value)
    : TUtf8XmlNode(document, U8(name), U8(value)) {}

std::unique_ptr<TUtf8XmlNode> TWideXmlNode::NewNodeOfClass(TXmlDocumentHooks* document) const {
    return std::make_unique<TWideXmlNode>(document);
}

TUtf8XmlNode* TWideXmlNode::NewNodeOfClassIn(TXmlPages& pages, TXmlDocumentHooks* document) const {
    return MarkOnPage(::new (pages.Allocate(sizeof(TWideXmlNode))) TWideXmlNode(document));
}

TWideXmlNode* TWideXmlNode::Cast(TUtf8XmlNode* node) {
    if (!node)
        return nullptr;
    // Nodes are nearly always of this very class: no search of the class tree.
    if (typeid(*node) == typeid(TWideXmlNode))
        return static_cast<TWideXmlNode*>(node);
    return &dynamic_cast<TWideXmlNode&>(*node);
}

TWideXmlDocument* TWideXmlNode::Document() const {
    return DocumentHooks() ? DocumentHooks()->WideDocument() : nullptr;
}

// --- Attributes ---

std::u16string TWideXmlNode::AttributeByName(std::u16string_view name) const {
    return U16(TUtf8XmlNode::AttributeByName(U8(name)));
}
bool TWideXmlNode::AttributeByName(std::u16string_view name, std::u16string& value) const {
    return AttributeByName(U8(name), value);
}
bool TWideXmlNode::AttributeByName(std::string_view name, std::u16string& value) const {
    const int index = Attributes().IndexOfName(name);
    if (index < 0) {
        value.clear();
        return false;
    }
    const std::string_view stored = Attributes().Items(index).substr(name.size() + 1);
    std::string_view plain;
    if (Utf8PlainQuotedText(stored, plain))
        Utf8ToUtf16(plain, value);
    else
        Utf8ToUtf16(TUtf8XmlNode::AttributeByName(name), value);
    return true;
}
void TWideXmlNode::SetAttributeByName(std::u16string_view name, std::u16string_view value) {
    TUtf8XmlNode::SetAttributeByName(U8(name), U8(value));
}
void TWideXmlNode::AttributeAdd(std::u16string_view name, std::u16string_view value) {
    TUtf8XmlNode::AttributeAdd(U8(name), U8(value));
}
void TWideXmlNode::AttributeAdd(std::u16string_view name, int32_t value) {
    TUtf8XmlNode::AttributeAdd(U8(name), value);
}
int TWideXmlNode::AttributeIndexByName(std::u16string_view name) const {
    return TUtf8XmlNode::AttributeIndexByName(U8(name));
}
std::u16string TWideXmlNode::AttributeName(int index) const {
    return U16(TUtf8XmlNode::AttributeName(index));
}
std::u16string TWideXmlNode::AttributeValue(int index) const {
    return U16(TUtf8XmlNode::AttributeValue(index));
}
void TWideXmlNode::SetAttributeValue(int index, std::u16string_view value) {
    TUtf8XmlNode::SetAttributeValue(index, U8(value));
}
bool TWideXmlNode::HasAttribute(std::u16string_view name) const {
    return TUtf8XmlNode::HasAttribute(U8(name));
}

// --- Children ---

TWideXmlNode* TWideXmlNode::NodeByName(std::u16string_view name) const {
    return Cast(TUtf8XmlNode::NodeByName(U8(name)));
}
TWideXmlNode* TWideXmlNode::NodeByAttributeValue(std::u16string_view nodeName,
                                                 std::u16string_view attribName,
                                                 std::u16string_view attribValue,
                                                 bool recurse) const {
    return Cast(
        TUtf8XmlNode::NodeByAttributeValue(U8(nodeName), U8(attribName), U8(attribValue), recurse));
}
TWideXmlNode* TWideXmlNode::NodeByElementType(TXmlElementType type) const {
    return Cast(TUtf8XmlNode::NodeByElementType(type));
}
int TWideXmlNode::NodeIndexByName(std::u16string_view name) const {
    return TUtf8XmlNode::NodeIndexByName(U8(name));
}
int TWideXmlNode::NodeIndexByNameFrom(std::u16string_view name, int from) const {
    return TUtf8XmlNode::NodeIndexByNameFrom(U8(name), from);
}
TWideXmlNode* TWideXmlNode::NodeNew(std::u16string_view name) {
    return Cast(TUtf8XmlNode::NodeNew(U8(name)));
}
TWideXmlNode* TWideXmlNode::NodeNewAtIndex(int index, std::u16string_view name) {
    return Cast(TUtf8XmlNode::NodeNewAtIndex(index, U8(name)));
}
TWideXmlNode* TWideXmlNode::NodeFindOrCreate(std::u16string_view name) {
    return Cast(TUtf8XmlNode::NodeFindOrCreate(U8(name)));
}

std::unique_ptr<TWideXmlNode> TWideXmlNode::NodeExtract(TUtf8XmlNode* node) {
    if (NodeIndexOf(node) < 0)
        return nullptr;
    TWideXmlNode* wide = Cast(node); // raises before anything moves
    TUtf8XmlNode::NodeExtract(node).release();
    return std::unique_ptr<TWideXmlNode>(wide);
}

void TWideXmlNode::NodesByName(std::u16string_view name, TUtf8XmlNodeList* list) const {
    TUtf8XmlNode::NodesByName(U8(name), list);
}
TWideXmlNode* TWideXmlNode::FindNode(std::u16string_view name) const {
    return Cast(TUtf8XmlNode::FindNode(U8(name)));
}
void TWideXmlNode::FindNodes(std::u16string_view name, TUtf8XmlNodeList& list) const {
    TUtf8XmlNode::FindNodes(U8(name), list);
}

void TWideXmlNode::SortChildNodes(TWideXmlNodeCompareFunction compare, void* info) {
    if (!compare) {
        TUtf8XmlNode::SortChildNodes(nullptr, info);
        return;
    }
    TWideCompare wide{compare, info};
    TUtf8XmlNode::SortChildNodes(&CompareThroughWide, &wide);
}

// --- Typed access ---

std::u16string TWideXmlNode::ReadString(std::u16string_view name,
                                        std::u16string_view fallback) const {
    return U16(TUtf8XmlNode::ReadString(U8(name), U8(fallback)));
}
std::u16string TWideXmlNode::ReadUnicodeString(std::u16string_view name,
                                               std::u16string_view fallback) const {
    return TUtf8XmlNode::ReadUnicodeString(U8(name), fallback);
}
bool TWideXmlNode::ReadBool(std::u16string_view name, bool fallback) const {
    return TUtf8XmlNode::ReadBool(U8(name), fallback);
}
int32_t TWideXmlNode::ReadInteger(std::u16string_view name, int32_t fallback) const {
    return TUtf8XmlNode::ReadInteger(U8(name), fallback);
}
int64_t TWideXmlNode::ReadInt64(std::u16string_view name, int64_t fallback) const {
    return TUtf8XmlNode::ReadInt64(U8(name), fallback);
}
double TWideXmlNode::ReadFloat(std::u16string_view name, double fallback) const {
    return TUtf8XmlNode::ReadFloat(U8(name), fallback);
}
TDateTime TWideXmlNode::ReadDateTime(std::u16string_view name, TDateTime fallback) const {
    return TUtf8XmlNode::ReadDateTime(U8(name), fallback);
}
std::u16string TWideXmlNode::ReadAttributeString(std::u16string_view name,
                                                 std::u16string_view fallback) const {
    return U16(TUtf8XmlNode::ReadAttributeString(U8(name), U8(fallback)));
}
bool TWideXmlNode::ReadAttributeBool(std::u16string_view name, bool fallback) const {
    return TUtf8XmlNode::ReadAttributeBool(U8(name), fallback);
}
int32_t TWideXmlNode::ReadAttributeInteger(std::u16string_view name, int32_t fallback) const {
    return TUtf8XmlNode::ReadAttributeInteger(U8(name), fallback);
}
int64_t TWideXmlNode::ReadAttributeInt64(std::u16string_view name, int64_t fallback) const {
    return TUtf8XmlNode::ReadAttributeInt64(U8(name), fallback);
}
double TWideXmlNode::ReadAttributeFloat(std::u16string_view name, double fallback) const {
    return TUtf8XmlNode::ReadAttributeFloat(U8(name), fallback);
}
TDateTime TWideXmlNode::ReadAttributeDateTime(std::u16string_view name, TDateTime fallback) const {
    return TUtf8XmlNode::ReadAttributeDateTime(U8(name), fallback);
}

void TWideXmlNode::WriteString(std::u16string_view name, std::u16string_view value,
                               std::u16string_view fallback) {
    TUtf8XmlNode::WriteString(U8(name), U8(value), U8(fallback));
}
void TWideXmlNode::WriteUnicodeString(std::u16string_view name, std::u16string_view value,
                                      std::u16string_view fallback) {
    TUtf8XmlNode::WriteUnicodeString(U8(name), value, fallback);
}
void TWideXmlNode::WriteBool(std::u16string_view name, bool value, bool fallback) {
    TUtf8XmlNode::WriteBool(U8(name), value, fallback);
}
void TWideXmlNode::WriteInteger(std::u16string_view name, int32_t value, int32_t fallback) {
    TUtf8XmlNode::WriteInteger(U8(name), value, fallback);
}
void TWideXmlNode::WriteInt64(std::u16string_view name, int64_t value, int64_t fallback) {
    TUtf8XmlNode::WriteInt64(U8(name), value, fallback);
}
void TWideXmlNode::WriteFloat(std::u16string_view name, double value, double fallback) {
    TUtf8XmlNode::WriteFloat(U8(name), value, fallback);
}
void TWideXmlNode::WriteDateTime(std::u16string_view name, TDateTime value, TDateTime fallback) {
    TUtf8XmlNode::WriteDateTime(U8(name), value, fallback);
}
void TWideXmlNode::WriteHex(std::u16string_view name, int32_t value, int digits, int32_t fallback) {
    TUtf8XmlNode::WriteHex(U8(name), value, digits, fallback);
}
void TWideXmlNode::WriteAttributeString(std::u16string_view name, std::u16string_view value,
                                        std::u16string_view fallback) {
    TUtf8XmlNode::WriteAttributeString(U8(name), U8(value), U8(fallback));
}
void TWideXmlNode::WriteAttributeBool(std::u16string_view name, bool value, bool fallback) {
    TUtf8XmlNode::WriteAttributeBool(U8(name), value, fallback);
}
void TWideXmlNode::WriteAttributeInteger(std::u16string_view name, int32_t value,
                                         int32_t fallback) {
    TUtf8XmlNode::WriteAttributeInteger(U8(name), value, fallback);
}
void TWideXmlNode::WriteAttributeInt64(std::u16string_view name, int64_t value, int64_t fallback) {
    TUtf8XmlNode::WriteAttributeInt64(U8(name), value, fallback);
}
void TWideXmlNode::WriteAttributeFloat(std::u16string_view name, double value, double fallback) {
    TUtf8XmlNode::WriteAttributeFloat(U8(name), value, fallback);
}
void TWideXmlNode::WriteAttributeDateTime(std::u16string_view name, TDateTime value,
                                          TDateTime fallback) {
    TUtf8XmlNode::WriteAttributeDateTime(U8(name), value, fallback);
}

} // namespace orvex
