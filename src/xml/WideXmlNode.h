#pragma once
// TWideXmlNode: the UTF-16 face of TUtf8XmlNode. Every operation converts its
// texts to UTF-8 (standard, so characters beyond U+FFFF survive), delegates to
// the UTF-8 node and converts the results back; node results are TWideXmlNode.
// Every node of a TWideXmlDocument is a TWideXmlNode, since a node creates its
// children with its own class.

#include "xml/XmlNode.h"

#include <memory>
#include <string>
#include <string_view>

namespace orvex {

using TWideXmlNodeCompareFunction = int (*)(TWideXmlNode* node1, TWideXmlNode* node2, void* info);

class TWideXmlNode : public TUtf8XmlNode {
public:
    explicit TWideXmlNode(TXmlDocumentHooks* document = nullptr) : TUtf8XmlNode(document) {}
    TWideXmlNode(TXmlDocumentHooks* document, std::u16string_view name);
    TWideXmlNode(TXmlDocumentHooks* document, std::u16string_view name, std::u16string_view value);
    TWideXmlNode(TXmlDocumentHooks* document, TXmlElementType elementType)
        : TUtf8XmlNode(document, elementType) {}

    std::unique_ptr<TUtf8XmlNode> NewNodeOfClass(TXmlDocumentHooks* document) const override;
    TUtf8XmlNode* NewNodeOfClassIn(TXmlPages& pages, TXmlDocumentHooks* document) const override;

    // The node as a TWideXmlNode; nullptr stays nullptr, a node of another class
    // raises std::bad_cast.
    static TWideXmlNode* Cast(TUtf8XmlNode* node);

    std::u16string Name() const { return ToUnicodeString(TUtf8XmlNode::Name()); }
    void SetName(std::u16string_view name) { TUtf8XmlNode::SetName(FromUnicodeString(name)); }
    std::u16string ValueAsString() const { return ToUnicodeString(TUtf8XmlNode::ValueAsString()); }
    void SetValueAsString(std::u16string_view value) {
        TUtf8XmlNode::SetValueAsString(FromUnicodeString(value));
    }
    TWideXmlNode* Parent() const { return Cast(TUtf8XmlNode::Parent()); }
    TWideXmlNode* ListingParent() const { return Cast(TUtf8XmlNode::ListingParent()); }
    // The document as a TWideXmlDocument; nullptr without one or for another kind.
    TWideXmlDocument* Document() const;
    std::u16string FullPath() const { return ToUnicodeString(TUtf8XmlNode::FullPath()); }
    std::u16string CascadedName() const { return ToUnicodeString(TUtf8XmlNode::CascadedName()); }
    // The node's XML text (defined with the writer, so inline here).
    std::u16string WriteToString() { return ToUnicodeString(TUtf8XmlNode::WriteToString()); }

    // Attributes.
    std::u16string AttributeByName(std::u16string_view name) const;
    // The same into value, whose memory is reused (for a reader of many elements);
    // false, value empty, when there is no such attribute.
    bool AttributeByName(std::u16string_view name, std::u16string& value) const;
    // The same with the name in UTF-8, as the node keeps it: for names known
    // beforehand.
    bool AttributeByName(std::string_view name, std::u16string& value) const;
    void SetAttributeByName(std::u16string_view name, std::u16string_view value);
    void AttributeAdd(std::u16string_view name, std::u16string_view value);
    void AttributeAdd(std::u16string_view name, int32_t value);
    int AttributeIndexByName(std::u16string_view name) const;
    std::u16string AttributeName(int index) const;
    std::u16string AttributeValue(int index) const;
    void SetAttributeValue(int index, std::u16string_view value);
    bool HasAttribute(std::u16string_view name) const;

    // Children.
    TWideXmlNode* Nodes(int index) const { return Cast(TUtf8XmlNode::Nodes(index)); }
    TWideXmlNode* NodeByName(std::u16string_view name) const;
    TWideXmlNode* NodeByAttributeValue(std::u16string_view nodeName, std::u16string_view attribName,
                                       std::u16string_view attribValue, bool recurse = true) const;
    TWideXmlNode* NodeByElementType(TXmlElementType type) const;
    int NodeIndexByName(std::u16string_view name) const;
    int NodeIndexByNameFrom(std::u16string_view name, int from) const;
    TWideXmlNode* NodeNew(std::u16string_view name);
    TWideXmlNode* NodeNewAtIndex(int index, std::u16string_view name);
    TWideXmlNode* NodeFindOrCreate(std::u16string_view name);
    // Takes the child out without freeing it; nullptr when it is not a child.
    std::unique_ptr<TWideXmlNode> NodeExtract(TUtf8XmlNode* node);
    void NodesByName(std::u16string_view name, TUtf8XmlNodeList* list) const;
    TWideXmlNode* FindNode(std::u16string_view name) const;
    void FindNodes(std::u16string_view name, TUtf8XmlNodeList& list) const;
    void SortChildNodes(TWideXmlNodeCompareFunction compare = nullptr, void* info = nullptr);

    // Typed access with UTF-16 names and texts.
    std::u16string ReadString(std::u16string_view name, std::u16string_view fallback = {}) const;
    std::u16string ReadUnicodeString(std::u16string_view name,
                                     std::u16string_view fallback = {}) const;
    bool ReadBool(std::u16string_view name, bool fallback = false) const;
    int32_t ReadInteger(std::u16string_view name, int32_t fallback = 0) const;
    int64_t ReadInt64(std::u16string_view name, int64_t fallback = 0) const;
    double ReadFloat(std::u16string_view name, double fallback = 0) const;
    TDateTime ReadDateTime(std::u16string_view name, TDateTime fallback = 0) const;
    std::u16string ReadAttributeString(std::u16string_view name,
                                       std::u16string_view fallback = {}) const;
    bool ReadAttributeBool(std::u16string_view name, bool fallback = false) const;
    int32_t ReadAttributeInteger(std::u16string_view name, int32_t fallback = 0) const;
    int64_t ReadAttributeInt64(std::u16string_view name, int64_t fallback = 0) const;
    double ReadAttributeFloat(std::u16string_view name, double fallback = 0) const;
    TDateTime ReadAttributeDateTime(std::u16string_view name, TDateTime fallback = 0) const;

    void WriteString(std::u16string_view name, std::u16string_view value,
                     std::u16string_view fallback = {});
    void WriteUnicodeString(std::u16string_view name, std::u16string_view value,
                            std::u16string_view fallback = {});
    void WriteBool(std::u16string_view name, bool value, bool fallback = false);
    void WriteInteger(std::u16string_view name, int32_t value, int32_t fallback = 0);
    void WriteInt64(std::u16string_view name, int64_t value, int64_t fallback = 0);
    void WriteFloat(std::u16string_view name, double value, double fallback = 0);
    void WriteDateTime(std::u16string_view name, TDateTime value, TDateTime fallback = 0);
    void WriteHex(std::u16string_view name, int32_t value, int digits, int32_t fallback = 0);
    void WriteAttributeString(std::u16string_view name, std::u16string_view value,
                              std::u16string_view fallback = {});
    void WriteAttributeBool(std::u16string_view name, bool value, bool fallback = false);
    void WriteAttributeInteger(std::u16string_view name, int32_t value, int32_t fallback = 0);
    void WriteAttributeInt64(std::u16string_view name, int64_t value, int64_t fallback = 0);
    void WriteAttributeFloat(std::u16string_view name, double value, double fallback = 0);
    void WriteAttributeDateTime(std::u16string_view name, TDateTime value, TDateTime fallback = 0);
};

} // namespace orvex
