#pragma once
// TUtf8XmlNode: one node of the XML object model (declaration, comment, DOCTYPE
// and its declarations, element, character data). A node owns its attributes
// and its ordered children; all its text is UTF-8. Values and attribute texts
// are kept escaped, as written in XML, and resolved only when read.
//
// The document and the node. A node reads settings from its document and asks it
// for a few services through TXmlDocumentHooks, below; TUtf8XmlDocument
// (xml/XmlDocument.h) derives from TXmlDocumentHooks and implements exactly those
// members. A node without a document uses the defaults named there.
//
// TUtf8XmlDocument implements every pure member of TXmlDocumentHooks:
// Utf8Document (return this), RootNodeList, the ten settings getters and
// SetBinaryEncoding, CompareNodes (its OnNodeCompare), ResolveEntity and
// ParseFragment; TWideXmlDocument also overrides WideDocument. The document's
// NodeClass is a virtual factory of its own (TWideXmlDocument makes
// TWideXmlNode); its Assign relinks a copied tree with SetSubtreeDocument.
//
// Parser and writer. ReadFromStream, WriteToStream, ReadFromString and
// WriteToString are members of the node but are defined with the parser
// (XmlParser.cpp) and the writer (XmlWriter.cpp). The parser (a friend) fills
// nodes directly; it sets a tag's name and attributes with ParseTag and adds text
// with AddCharData. TStream is the abstract stream of xml/XmlStreams.h (Read,
// Write, Seek, Position, Size).
//
// Ownership. Children are added only through NodeAdd / NodeInsert
// (std::unique_ptr) and taken out with NodeExtract or SetParent. A listed
// node's Parent is always the node whose list holds it, so a node is never in
// two lists and never freed twice. A node made by a constructor or
// NewNodeOfClass lives on the heap; a node a parse made lives in the parse's
// pages (xml/XmlPages.h), and so does one that NodeNew made in a document with
// pages (NodePages), with the attributes it was first given. A node keeps its
// page alive wherever it goes: both kinds are freed by delete, and freeing a
// tree frees page memory a page at a time.

#include "xml/XmlNodeList.h"
#include "xml/XmlPages.h"
#include "xml/XmlStringList.h"
#include "xml/XmlText.h"
#include "xml/XmlTypes.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace orvex {

class TStream;
class TUtf8XmlDocument;
class TWideXmlDocument;
class TUtf8XmlNode;

// Negative, 0 or positive, like a comparison of the two nodes.
using TXmlNodeCompareFunction = int (*)(TUtf8XmlNode* node1, TUtf8XmlNode* node2, void* info);

// Everything a node needs of its document.
class TXmlDocumentHooks {
public:
    virtual ~TXmlDocumentHooks() = default;

    // The document object itself (the node's Document()).
    virtual TUtf8XmlDocument* Utf8Document() = 0;
    // The same as a TWideXmlDocument; nullptr unless it is one.
    virtual TWideXmlDocument* WideDocument() { return nullptr; }
    // The hidden container whose children are the root-level nodes (Assign).
    virtual TUtf8XmlNode* RootNodeList() = 0;
    // Where NodeNew makes the nodes of this document, with their first
    // attributes; nullptr: on the heap.
    virtual TXmlPages* NodePages() { return nullptr; }

    // Settings. Without a document a node uses: AbortParsing false,
    // WriteOnDefault true, FloatSignificantDigits 6, FloatAllowScientific true,
    // UseFullNodes false, UseLocalBias false, BinaryEncoding xbeBinHex,
    // XmlFormat xfCompact (so no indent and no line ends).
    virtual bool AbortParsing() const = 0;
    virtual bool WriteOnDefault() const = 0;
    virtual int FloatSignificantDigits() const = 0;
    virtual bool FloatAllowScientific() const = 0;
    virtual bool UseFullNodes() const = 0;
    virtual bool UseLocalBias() const = 0;
    virtual TBinaryEncodingType BinaryEncoding() const = 0;
    virtual void SetBinaryEncoding(TBinaryEncodingType encoding) = 0;
    virtual TXmlFormatType XmlFormat() const = 0;
    virtual std::string IndentString() const = 0;

    // OnNodeCompare: true with its result in `result` when the event is assigned.
    virtual bool CompareNodes(TUtf8XmlNode* node1, TUtf8XmlNode* node2, void* info,
                              int& result) = 0;
    // The replacement text of an entity declared in the DOCTYPE; empty when none.
    virtual std::string ResolveEntity(std::string_view name) = 0;
    // Parses text into a sequence of nodes: while data remain, a node of model's
    // class (model.NewNodeOfClass()) reads itself (ReadFromStream) from a string
    // stream over text. Every node read is returned, also an empty one.
    virtual std::vector<std::unique_ptr<TUtf8XmlNode>> ParseFragment(const TUtf8XmlNode& model,
                                                                     std::string_view text) = 0;
};

enum TXmlCompareOption : uint16_t {
    xcNodeName = 1 << 0,
    xcNodeType = 1 << 1,
    xcNodeValue = 1 << 2,
    xcAttribCount = 1 << 3,
    xcAttribNames = 1 << 4,
    xcAttribValues = 1 << 5,
    xcChildCount = 1 << 6,
    xcChildNames = 1 << 7,
    xcChildValues = 1 << 8,
    xcRecursive = 1 << 9,
};
// A set of TXmlCompareOption bits.
using TXmlCompareOptions = uint16_t;

class TUtf8XmlNode {
public:
    // Create: an empty xeNormal node of the document (which may be nullptr).
    explicit TUtf8XmlNode(TXmlDocumentHooks* document = nullptr);
    // CreateName: the name goes through SetName, so an illegal name raises.
    TUtf8XmlNode(TXmlDocumentHooks* document, std::string_view name);
    // CreateNameValue: the value is stored escaped (SetValueAsString).
    TUtf8XmlNode(TXmlDocumentHooks* document, std::string_view name, std::string_view value);
    // CreateType.
    TUtf8XmlNode(TXmlDocumentHooks* document, TXmlElementType elementType);
    virtual ~TUtf8XmlNode();
    TUtf8XmlNode(const TUtf8XmlNode&) = delete;
    TUtf8XmlNode& operator=(const TUtf8XmlNode&) = delete;

    // delete frees a node wherever it lives (heap or pages), with its subtree.
    // A node that its parent still lists must not be freed so (the parent would
    // free it again): that stops the program with a message on stderr.
    static void* operator new(size_t size) { return ::operator new(size); }
    static void operator delete(void* memory) { ::operator delete(memory); }
    static void operator delete(TUtf8XmlNode* node, std::destroying_delete_t);

    // NodeClass: a new, unlinked node of this node's own class. Every child a
    // node creates comes from here, so a TWideXmlNode tree stays one.
    virtual std::unique_ptr<TUtf8XmlNode> NewNodeOfClass(TXmlDocumentHooks* document) const;
    // The same in pages, for the parser; the node is released by delete as any.
    virtual TUtf8XmlNode* NewNodeOfClassIn(TXmlPages& pages, TXmlDocumentHooks* document) const;

    // --- Plain properties ---
    std::string_view Name() const { return FName; }
    // A name that IsValidNodeName refuses raises EXmlError "Illegal character in
    // node name "%s"" and the old name stays.
    void SetName(std::string_view name);
    // The stored value, escaped as in XML.
    std::string_view ValueDirect() const { return FValue; }
    void SetValueDirect(std::string_view value) { FValue.Set(value); }
    TXmlElementType ElementType() const { return FElementType; }
    void SetElementType(TXmlElementType type) { FElementType = type; }
    int32_t Tag() const { return FTag; }
    void SetTag(int32_t tag) { FTag = tag; }
    TUtf8XmlNode* Parent() const { return FParent; }
    // The node whose child list holds this one; nullptr outside any list,
    // whatever Parent says. Every walk up the tree goes this way: a Parent that
    // SetParent gave is only a reference, which may be gone or lead back here.
    TUtf8XmlNode* ListingParent() const { return FListed ? FParent : nullptr; }
    // Only the reference: the node joins no child list. One that its parent
    // still lists is first taken out as by NodeExtract, and the caller owns it.
    // For this node or one below it in the lists, EXmlError "Cannot add node
    // "%s" under itself or its own descendant", and nothing changes.
    void SetParent(TUtf8XmlNode* parent);
    TUtf8XmlDocument* Document() const { return FDocument ? FDocument->Utf8Document() : nullptr; }
    TXmlDocumentHooks* DocumentHooks() const { return FDocument; }
    // Only this node; SetSubtreeDocument relinks the node and all below it.
    void SetDocument(TXmlDocumentHooks* document) { FDocument = document; }
    void SetSubtreeDocument(TXmlDocumentHooks* document);

    // True for a name that reads back as written: no blank or other control
    // character, no quote, "<" or ">", and no "/", "!" or "?" at the start or "/"
    // at the end. The empty name is valid (an unnamed root).
    static bool IsValidNodeName(std::string_view name);

    // --- Children ---
    int NodeCount() const { return FNodeCount; }
    // The child, or nullptr out of range.
    TUtf8XmlNode* Nodes(int index) const;
    // Appends node and links it and its subtree to this document; returns the
    // index. -1, leaving node with the caller, for nullptr or for this node or one
    // of its ancestors (a node cannot hold itself). A node that another list, or
    // this one, still holds moves out of it.
    template <typename TNode>
    int NodeAdd(std::unique_ptr<TNode>&& node) {
        static_assert(std::is_base_of_v<TUtf8XmlNode, TNode>);
        if (!node || IsAtOrBelow(node.get()))
            return -1;
        return AdoptAt(NodeCount(), node.release());
    }
    // Inserts at 0..NodeCount and relinks the subtree's document; false, leaving
    // node with the caller, when refused as for NodeAdd or out of range. A node
    // this list holds moves before the child that index names.
    template <typename TNode>
    bool NodeInsert(int index, std::unique_ptr<TNode>&& node) {
        static_assert(std::is_base_of_v<TUtf8XmlNode, TNode>);
        if (!node || index < 0 || index > NodeCount() || IsAtOrBelow(node.get()))
            return false;
        AdoptAt(index, node.release());
        return true;
    }
    // A new child of this class and document, appended / inserted (nullptr for an
    // index outside 0..NodeCount). An illegal name raises and adds nothing.
    TUtf8XmlNode* NodeNew(std::string_view name);
    TUtf8XmlNode* NodeNewAtIndex(int index, std::string_view name);
    // NodeByName, or NodeNew when there is no such child.
    TUtf8XmlNode* NodeFindOrCreate(std::string_view name);
    // Frees the child at index with its subtree; nothing out of range.
    void NodeDelete(int index);
    // Frees the child node; its former index, or -1 when it is not a child.
    int NodeRemove(TUtf8XmlNode* node);
    // Takes the child out without freeing it; its Parent and the Document of its
    // subtree become nullptr.
    std::unique_ptr<TUtf8XmlNode> NodeExtract(TUtf8XmlNode* node);
    void NodeExchange(int index1, int index2);
    void NodesClear();
    // Removes and frees this node from its parent (nothing without a parent).
    // The node is gone afterwards: do not touch it again.
    void Delete();
    int NodeIndexOf(const TUtf8XmlNode* node) const;
    int IndexInParent() const;

    // --- Lookups among the direct children (names compared ignoring case) ---
    TUtf8XmlNode* NodeByName(std::string_view name) const;
    int NodeIndexByName(std::string_view name) const;
    int NodeIndexByNameFrom(std::string_view name, int from) const;
    // Clears list and adds every child of that name; nothing for a null list.
    void NodesByName(std::string_view name, TUtf8XmlNodeList* list) const;
    TUtf8XmlNode* NodeByElementType(TXmlElementType type) const;
    // First child named nodeName whose attribute equals value (resolved, case
    // ignored); with recurse the search is depth-first pre-order.
    TUtf8XmlNode* NodeByAttributeValue(std::string_view nodeName, std::string_view attribName,
                                       std::string_view attribValue, bool recurse = true) const;
    // Descendants in pre-order (this node not included). A name beginning with
    // "/" is matched against FullPath, any other against the name.
    TUtf8XmlNode* FindNode(std::string_view name) const;
    void FindNodes(std::string_view name, TUtf8XmlNodeList& list) const;

    // --- Paths and counts ---
    int TreeDepth() const;
    int TotalNodeCount() const;
    // "/Root/Machines".
    std::string FullPath() const;
    // Name plus the "Index" attribute in at least four digits, after the parent's
    // cascaded name and "_": "0000_Root0000".
    std::string CascadedName() const;

    // --- Attributes; items are name="escaped value" ---
    // True for a name that reads back in a start tag: not empty, and no blank or
    // other control character, quote, "=", "<" or ">". Adding or setting an
    // attribute by another name raises EXmlError "Illegal character in node name
    // "%s"" and changes nothing.
    static bool IsValidAttributeName(std::string_view name);
    int AttributeCount() const { return FAttributes.Count(); }
    const TxmUTF8StringList& Attributes() const { return FAttributes; }
    // Appends without looking for an existing attribute of that name.
    void AttributeAdd(std::string_view name, std::string_view value);
    // A name and its (unescaped) value, for AttributesAdd.
    struct TAttributeText {
        std::string_view Name;
        std::string_view Value;
    };
    // Appends these attributes in this order, as AttributeAdd one by one would,
    // building the list once; an illegal name raises before any is added.
    void AttributesAdd(std::initializer_list<TAttributeText> attributes);
    void AttributeAdd(std::string_view name, int32_t value);
    // The first attribute of that name (ASCII case ignored), unquoted and
    // resolved; empty when absent.
    std::string AttributeByName(std::string_view name) const;
    // Replaces the first attribute of that name or appends one.
    void SetAttributeByName(std::string_view name, std::string_view value);
    std::string AttributeName(int index) const;
    std::string AttributePair(int index) const;
    std::string AttributeValue(int index) const;
    // Raises as above when the item at index has no name (it holds no "=").
    void SetAttributeValue(int index, std::string_view value);
    int AttributeIndexByName(std::string_view name) const;
    bool HasAttribute(std::string_view name) const { return AttributeIndexByName(name) >= 0; }
    void AttributeDelete(int index) { FAttributes.Delete(index); }
    void AttributeExchange(int index1, int index2) { FAttributes.Exchange(index1, index2); }
    void AttributesClear() { FAttributes.Clear(); }
    // Removes the attributes whose value is empty.
    void DeleteEmptyAttributes();

    // --- Emptiness, copying, comparison, sorting ---
    // No value, no children, no attributes.
    bool IsEmpty() const;
    // IsEmpty and no name.
    bool IsClear() const { return FName.empty() && IsEmpty(); }
    // Empties name, value, attributes and children; kind and tag stay.
    void Clear();
    // Removes, bottom-up, every descendant left empty.
    void DeleteEmptyNodes();
    // A deep copy of source (kind, name, tag, stored value, attributes, children);
    // the copies are of this node's class and document.
    void Assign(const TUtf8XmlNode& source);
    // This node receives copies of the document's root-level nodes.
    void Assign(TXmlDocumentHooks& document);
    // Compares by the options; nodes found unequal are added to mismatches.
    bool IsEqualTo(const TUtf8XmlNode* other, TXmlCompareOptions options,
                   TUtf8XmlNodeList* mismatches = nullptr) const;
    // Sorts the children (not stably) by compare, else by the document's
    // OnNodeCompare, else by name ignoring case.
    void SortChildNodes(TXmlNodeCompareFunction compare = nullptr, void* info = nullptr);

    // --- Layout facts for the writer ---
    std::string Indent() const;
    std::string LineFeed() const;
    bool IsShortForm() const;
    // " name=value" per attribute, then "/" in short form.
    std::string WriteInnerTag() const;

    // --- Settings read from the document (defaults without one) ---
    bool AbortParsing() const;
    bool WriteOnDefault() const;
    int FloatSignificantDigits() const;
    bool FloatAllowScientific() const;
    bool UseFullNodes() const;
    bool UseLocalBias() const;
    TBinaryEncodingType BinaryEncoding() const;
    // Sets the document's encoding; nothing without a document.
    void SetBinaryEncoding(TBinaryEncodingType encoding);

    // --- Parser support ---
    // Splits a tag's text (between "<" and ">", without a trailing "/") into name
    // (its first word, as it stands) and attribute items (Utf8ParseAttributes).
    // EFilerError "Missing element name" for an element without one.
    void ParseTag(std::string_view tagText);
    // Adds pending text as an xeCharData child unless it is empty (or, without
    // keepBlanks, blank only); the parser passes its pages.
    void AddCharData(std::string_view pending, bool keepBlanks, TXmlPages* pages = nullptr);

    // --- Conversions ---
    static std::string FromAnsiString(std::string_view text);
    static std::string FromUnicodeString(std::u16string_view text);
    static std::u16string ToUnicodeString(std::string_view text);
    static std::string UnescapeString(std::string_view text);

    // --- Typed values (the stored value is escaped text) ---
    // Resolved; for an element the stored value is first trimmed of blanks.
    std::string ValueAsString() const;
    void SetValueAsString(std::string_view value);
    std::u16string ValueAsUnicodeString() const;
    void SetValueAsUnicodeString(std::u16string_view value);
    bool ValueAsBool() const;
    void SetValueAsBool(bool value);
    int32_t ValueAsInteger() const;
    void SetValueAsInteger(int32_t value);
    int64_t ValueAsInt64() const;
    void SetValueAsInt64(int64_t value);
    double ValueAsFloat() const;
    void SetValueAsFloat(double value);
    TDateTime ValueAsDateTime() const;
    void SetValueAsDateTime(TDateTime value);
    // The binary content as bytes, always in base64.
    std::string BinaryString();
    void SetBinaryString(std::string_view bytes);

    // The value, or fallback when it does not convert (ValueAsBoolDef knows only
    // T, Y, F, N).
    bool ValueAsBoolDef(bool fallback) const;
    int32_t ValueAsIntegerDef(int32_t fallback) const;
    int64_t ValueAsInt64Def(int64_t fallback) const;
    double ValueAsFloatDef(double fallback) const;
    TDateTime ValueAsDateTimeDef(TDateTime fallback) const;

    // The value of the first child of that name, or fallback without one.
    std::string ReadString(std::string_view name, std::string_view fallback = {}) const;
    std::u16string ReadUnicodeString(std::string_view name, std::u16string_view fallback = {}) const;
    bool ReadBool(std::string_view name, bool fallback = false) const;
    int32_t ReadInteger(std::string_view name, int32_t fallback = 0) const;
    int64_t ReadInt64(std::string_view name, int64_t fallback = 0) const;
    double ReadFloat(std::string_view name, double fallback = 0) const;
    TDateTime ReadDateTime(std::string_view name, TDateTime fallback = 0) const;

    // The attribute's value, or fallback when it is empty or does not convert.
    std::string ReadAttributeString(std::string_view name, std::string_view fallback = {}) const;
    bool ReadAttributeBool(std::string_view name, bool fallback = false) const;
    int32_t ReadAttributeInteger(std::string_view name, int32_t fallback = 0) const;
    int64_t ReadAttributeInt64(std::string_view name, int64_t fallback = 0) const;
    double ReadAttributeFloat(std::string_view name, double fallback = 0) const;
    TDateTime ReadAttributeDateTime(std::string_view name, TDateTime fallback = 0) const;

    // Child writers: nothing when WriteOnDefault is off and value equals fallback;
    // otherwise the child is found or created and its value set.
    void WriteString(std::string_view name, std::string_view value, std::string_view fallback = {});
    void WriteUnicodeString(std::string_view name, std::u16string_view value,
                            std::u16string_view fallback = {});
    // "True" / "False".
    void WriteBool(std::string_view name, bool value, bool fallback = false);
    void WriteInteger(std::string_view name, int32_t value, int32_t fallback = 0);
    void WriteInt64(std::string_view name, int64_t value, int64_t fallback = 0);
    void WriteFloat(std::string_view name, double value, double fallback = 0);
    void WriteDateTime(std::string_view name, TDateTime value, TDateTime fallback = 0);
    // "$" and upper-case hexadecimal, at least `digits` digits.
    void WriteHex(std::string_view name, int32_t value, int digits, int32_t fallback = 0);

    // Attribute writers, with the same rule; an existing attribute keeps its place.
    void WriteAttributeString(std::string_view name, std::string_view value,
                              std::string_view fallback = {});
    void WriteAttributeBool(std::string_view name, bool value, bool fallback = false);
    void WriteAttributeInteger(std::string_view name, int32_t value, int32_t fallback = 0);
    void WriteAttributeInt64(std::string_view name, int64_t value, int64_t fallback = 0);
    void WriteAttributeFloat(std::string_view name, double value, double fallback = 0);
    void WriteAttributeDateTime(std::string_view name, TDateTime value, TDateTime fallback = 0);

    // Binary content in the document's BinaryEncoding, in lines of 76 characters
    // in the readable layout.
    void BufferWrite(const char* buffer, size_t count);
    // Bytes that BufferRead delivers. EFilerError "Error while calculating
    // streamlength" for a value of the wrong length.
    size_t BufferLength() const;
    void BufferRead(char* buffer, size_t count) const;

    // Resolves the references to DOCTYPE entities in the values and attributes of
    // this subtree. EFilerError when an entity expands into itself, or when the
    // expansions would add over 100000 nodes, nest deeper in the whole tree than
    // the parser reads (TXmlParser::kMaxDepth) or add over maxTextBytes of text,
    // counting each entity text put in place of a reference (in an attribute as
    // stored, escaped). That bound is a fixed 256 MiB unless given: entities in
    // backup files are few and short. The tree changes only once all has
    // resolved, so after any failure, std::bad_alloc included, it is as it was;
    // the memory used on the way is in proportion to the result.
    static constexpr size_t kMaxEntityTextBytes = size_t(256) << 20;
    void ResolveEntityReferences(size_t maxTextBytes = kMaxEntityTextBytes);

    // --- Parser and writer (defined in XmlParser.cpp / XmlWriter.cpp) ---
    // One node from the stream's position: from a codec stream (xml/XmlCodecStream.h)
    // as it decodes the input, from any other as UTF-8 text. The stream is left
    // after the node.
    void ReadFromStream(TStream& stream);
    void WriteToStream(TStream& stream);
    // No encoding detection: the text is UTF-8.
    void ReadFromString(std::string_view text);
    std::string WriteToString();

protected:
    // For NewNodeOfClassIn: the node was made in pages.
    static TUtf8XmlNode* MarkOnPage(TUtf8XmlNode* node) {
        node->FOnPage = true;
        return node;
    }

private:
    friend class TXmlParser;
    // Entity resolution's work in progress (XmlNodeEntities.cpp).
    struct TEntityContext;
    // This node is node or lies below it in the lists that hold them: adding node
    // here would make a loop of parents.
    bool IsAtOrBelow(const TUtf8XmlNode* node) const;
    static void CheckAttributeName(std::string_view name);
    // The stored item of an attribute: name, "=" and the escaped, quoted value.
    static std::string AttributeItem(std::string_view name, std::string_view value);
    static size_t AttributeItemLength(std::string_view name, std::string_view value);
    // Writes the item, length bytes (AttributeItemLength), at out.
    static void WriteAttributeItem(char* out, std::string_view name, std::string_view value, size_t length);
    // Appends the attribute items of a tag's text.
    void AddParsedAttributes(std::string_view text);
    // Takes ownership of a checked node, out of the list that holds it, and
    // inserts it at index (counted before it left this list); returns its index.
    int AdoptAt(int index, TUtf8XmlNode* node);
    // A new unlinked node of this class and document, in the document's pages
    // when it has them, named name (an illegal name raises).
    std::unique_ptr<TUtf8XmlNode> NewChild(std::string_view name) const;
    // The parser's append of a new, childless node of this document; the child
    // list grows in pages.
    void AppendParsed(TUtf8XmlNode* node, TXmlPages& pages);
    // Room for count children (in pages when given).
    void ReserveChildren(int count, TXmlPages* pages);
    // Takes the child at index out of the list.
    TUtf8XmlNode* TakeChild(int index);
    // Frees this node's texts and lists into batch; its children must be gone.
    void ReleaseParts(TXmlPages::TBatch& batch);
    // Frees a node whose children are gone, wherever it lives.
    static void Destroy(TUtf8XmlNode* node, TXmlPages::TBatch& batch);
    int CompareChildren(int i, int j, TXmlNodeCompareFunction compare, void* info);
    void QuickSort(int left, int right, TXmlNodeCompareFunction compare, void* info);

    TXmlText FName;
    TXmlText FValue;
    TxmUTF8StringList FAttributes;
    // The children, owned; the array is on the heap or in pages.
    TUtf8XmlNode** FNodes = nullptr;
    int32_t FNodeCount = 0;
    int32_t FNodeCapacity = 0;
    TUtf8XmlNode* FParent = nullptr;
    TXmlDocumentHooks* FDocument = nullptr;
    int32_t FTag = 0;
    TXmlElementType FElementType = xeNormal;
    bool FNodesOnPage = false; // FNodes is a page object
    bool FOnPage = false;      // this node is a page object
    bool FListed = false;      // FParent's child list holds this node
};

} // namespace orvex
