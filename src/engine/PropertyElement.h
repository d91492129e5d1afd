#pragma once
// Writing one `Property` element of the backup file from its finished text form.
// The conversion from a metabase value happens before (PropertyValues.h), so a
// failed conversion never leaves a half-written element.

#include "base/Utf.h"
#include "engine/BackupGrammar.h"
#include "engine/PropertyText.h"
#include "platform/Metabase.h"
#include "xml/WideXmlNode.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace orvex {

// The names of `Property` elements and their attributes in UTF-8, converted once:
// for the writers and readers of many elements, through the UTF-8 face of the node.
struct TPropertyUtf8Names {
    std::string Property = Utf16ToUtf8(backupxml::ElemProperty);
    std::string Item = Utf16ToUtf8(backupxml::ElemItem);
    std::string Id = Utf16ToUtf8(backupxml::AttrId);
    std::string Type = Utf16ToUtf8(backupxml::AttrType);
    std::string Value = Utf16ToUtf8(backupxml::AttrValue);
    std::string Inherit = Utf16ToUtf8(backupxml::AttrInherit);
    std::string True = Utf16ToUtf8(BoolToText(true));
    std::string False = Utf16ToUtf8(BoolToText(false));
};
const TPropertyUtf8Names& PropertyUtf8Names();

// A property value as the file holds it: `type`, `value` and, for "LIST", the
// `value` of each `Item`.
struct TPropertyText {
    std::u16string Type;
    std::u16string Value;
    std::vector<std::u16string> Items;
};

// The `Property` children of one element by id (ignoring case), so that an object
// with many properties is written in linear time. Built from the element's
// existing children on first use. It also keeps the texts of the element being
// written, whose memory the next write reuses.
class TPropertyIndex {
public:
    explicit TPropertyIndex(TWideXmlNode& parent) : FParent(parent) {}
    TWideXmlNode& Parent() const { return FParent; }
    TWideXmlNode* Find(std::u16string_view id);
    void Add(std::u16string_view id, TWideXmlNode& element);
    // The entry for id, made empty (nullptr) when there is none.
    TWideXmlNode*& Slot(std::u16string_view id);

    // A value's text before it is written (WritePropertyNode).
    TPropertyText& Scratch() { return FText; }
    // The UTF-8 form of text in one of the buffers kept here.
    enum TBuffer { bfId, bfType, bfValue, bfCount };
    std::string_view Utf8(TBuffer buffer, std::u16string_view text);

private:
    void Build();
    // The entry of id, or end().
    std::unordered_multimap<size_t, TWideXmlNode*>::iterator Lookup(std::u16string_view id, size_t hash);
    TWideXmlNode& FParent;
    bool FBuilt = false;
    // The elements by the hash of their folded id (TFoldedNameHash); ids of one
    // hash are told apart by the element's own id, so no id is copied.
    std::unordered_multimap<size_t, TWideXmlNode*> FByHash;
    TPropertyText FText;
    std::string FUtf8[bfCount];
};

// The `Property` child of parent with this id (ignoring case), or a new one
// appended (attributes id, type, value, Inherit in this order). Its type and value
// are set, a LIST element's `Item` children replaced by the new items, and Inherit
// set to "True" or "False". Returns the element. A text that the file cannot hold
// (XmlTextProblem) raises EPropertyValueError and writes nothing.
TWideXmlNode& WritePropertyElement(TWideXmlNode& parent, std::u16string_view id, const TPropertyText& text,
                                   bool isInherit);
// The same through an index of parent's properties.
TWideXmlNode& WritePropertyElement(TPropertyIndex& index, std::u16string_view id, const TPropertyText& text,
                                   bool isInherit);
// A new element appended to index's parent without looking for one of its id (see
// AppendPropertyNode), checked as above.
TWideXmlNode& AppendPropertyElement(TPropertyIndex& index, std::u16string_view id, const TPropertyText& text,
                                    bool isInherit);

} // namespace orvex
