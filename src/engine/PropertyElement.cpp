#include "engine/PropertyElement.h"

#include "base/CaseFold.h"
#include "base/Utf.h"
#include "engine/BackupDocument.h"
#include "engine/BackupGrammar.h"
#include "engine/PropertyText.h"

namespace orvex {

namespace {

TWideXmlNode* FindPropertyChild(const TWideXmlNode& parent, std::u16string_view id) {
    for (int i = 0; i < parent.NodeCount(); ++i) {
        TWideXmlNode* child = parent.Nodes(i);
        if (IsBackupElement(*child, backupxml::ElemProperty) && SameTextIgnoreCase(child->AttributeByName(backupxml::AttrId), id))
            return child;
    }
    return nullptr;
}

TWideXmlNode& NewPropertyChild(TWideXmlNode& parent, std::u16string_view id) {
    TWideXmlNode* element = parent.NodeNew(backupxml::ElemProperty);
    element->AttributeAdd(backupxml::AttrId, id);
    return *element;
}

// Refuses, before anything is written, a text that would make the file unreadable.
void CheckWritable(std::u16string_view id, const TPropertyText& text) {
    auto check = [&](std::u16string_view what) {
        if (IsPlainXmlText(what)) return;
        std::u16string problem = XmlTextProblem(what, TLineControls::lcAllowed);
        if (!problem.empty())
            throw EPropertyValueError(Utf16ToUtf8(u"The value of " + std::u16string(id) + u" holds " + problem));
    };
    check(id);
    check(text.Type);
    check(text.Value);
    for (const auto& item : text.Items) check(item);
}

void FillPropertyElement(TWideXmlNode& element, const TPropertyText& text, bool isInherit) {
    element.SetAttributeByName(backupxml::AttrType, text.Type);
    element.SetAttributeByName(backupxml::AttrValue, text.Value);
    element.NodesClear();
    for (const auto& item : text.Items) element.NodeNew(backupxml::ElemItem)->AttributeAdd(backupxml::AttrValue, item);
    element.SetAttributeByName(backupxml::AttrInherit, BoolToText(isInherit));
}

// A new `Property` element, its attributes in the order FillPropertyElement gives
// an element that had none.
TWideXmlNode& AppendCheckedElement(TPropertyIndex& index, std::u16string_view id, const TPropertyText& text,
                                   bool isInherit) {
    const TPropertyUtf8Names& names = PropertyUtf8Names();
    TWideXmlNode& element = *TWideXmlNode::Cast(index.Parent().TUtf8XmlNode::NodeNew(names.Property));
    element.TUtf8XmlNode::AttributesAdd({{names.Id, index.Utf8(TPropertyIndex::bfId, id)},
                                         {names.Type, index.Utf8(TPropertyIndex::bfType, text.Type)},
                                         {names.Value, index.Utf8(TPropertyIndex::bfValue, text.Value)},
                                         {names.Inherit, isInherit ? names.True : names.False}});
    for (const auto& item : text.Items)
        element.TUtf8XmlNode::NodeNew(names.Item)->AttributeAdd(names.Value,
                                                                index.Utf8(TPropertyIndex::bfValue, item));
    return element;
}

} // namespace

std::unordered_multimap<size_t, TWideXmlNode*>::iterator TPropertyIndex::Lookup(std::u16string_view id, size_t hash) {
    if (!FBuilt) Build();
    auto [it, end] = FByHash.equal_range(hash);
    for (; it != end; ++it)
        if (it->second && SameTextIgnoreCase(it->second->AttributeByName(backupxml::AttrId), id)) return it;
    return FByHash.end();
}

const TPropertyUtf8Names& PropertyUtf8Names() {
    static const TPropertyUtf8Names names;
    return names;
}

TWideXmlNode*& TPropertyIndex::Slot(std::u16string_view id) {
    const size_t hash = TFoldedNameHash()(id);
    auto it = Lookup(id, hash);
    return (it != FByHash.end() ? it : FByHash.emplace(hash, nullptr))->second;
}

std::string_view TPropertyIndex::Utf8(TBuffer buffer, std::u16string_view text) {
    Utf16ToUtf8(text, FUtf8[buffer]);
    return FUtf8[buffer];
}

void TPropertyIndex::Build() {
    FBuilt = true;
    for (int i = 0; i < FParent.NodeCount(); ++i) {
        TWideXmlNode* child = FParent.Nodes(i);
        if (IsBackupElement(*child, backupxml::ElemProperty)) Add(child->AttributeByName(backupxml::AttrId), *child);
    }
}

TWideXmlNode* TPropertyIndex::Find(std::u16string_view id) {
    auto it = Lookup(id, TFoldedNameHash()(id));
    return it == FByHash.end() ? nullptr : it->second;
}

void TPropertyIndex::Add(std::u16string_view id, TWideXmlNode& element) {
    // The first element of an id stays the one found, as a scan would find it.
    TWideXmlNode*& slot = Slot(id);
    if (!slot) slot = &element;
}

TWideXmlNode& WritePropertyElement(TWideXmlNode& parent, std::u16string_view id, const TPropertyText& text,
                                   bool isInherit) {
    CheckWritable(id, text);
    TWideXmlNode* element = FindPropertyChild(parent, id);
    if (!element) element = &NewPropertyChild(parent, id);
    FillPropertyElement(*element, text, isInherit);
    return *element;
}

TWideXmlNode& WritePropertyElement(TPropertyIndex& index, std::u16string_view id, const TPropertyText& text,
                                   bool isInherit) {
    CheckWritable(id, text);
    TWideXmlNode*& slot = index.Slot(id);
    if (!slot) {
        slot = &AppendCheckedElement(index, id, text, isInherit);
        return *slot;
    }
    FillPropertyElement(*slot, text, isInherit);
    return *slot;
}

TWideXmlNode& AppendPropertyElement(TPropertyIndex& index, std::u16string_view id, const TPropertyText& text,
                                    bool isInherit) {
    CheckWritable(id, text);
    return AppendCheckedElement(index, id, text, isInherit);
}

} // namespace orvex
