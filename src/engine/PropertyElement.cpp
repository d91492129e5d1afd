#include "engine/PropertyElement.h"

#include "engine/BackupGrammar.h"
#include "engine/PropertyText.h"
#include "platform/base/CaseFold.h"

namespace orvex {

namespace {

bool IsPropertyElement(const TWideXmlNode& node) {
    return node.ElementType() == xeNormal && SameTextIgnoreCase(node.Name(), backupxml::ElemProperty);
}

TWideXmlNode* FindPropertyChild(const TWideXmlNode& parent, std::u16string_view id) {
    for (int i = 0; i < parent.NodeCount(); ++i) {
        TWideXmlNode* child = parent.Nodes(i);
        if (IsPropertyElement(*child) && SameTextIgnoreCase(child->AttributeByName(backupxml::AttrId), id))
            return child;
    }
    return nullptr;
}

TWideXmlNode& NewPropertyChild(TWideXmlNode& parent, std::u16string_view id) {
    TWideXmlNode* element = parent.NodeNew(backupxml::ElemProperty);
    element->AttributeAdd(backupxml::AttrId, id);
    return *element;
}

void FillPropertyElement(TWideXmlNode& element, const TPropertyText& text, bool isInherit) {
    element.SetAttributeByName(backupxml::AttrType, text.Type);
    element.SetAttributeByName(backupxml::AttrValue, text.Value);
    element.NodesClear();
    for (const auto& item : text.Items) element.NodeNew(backupxml::ElemItem)->AttributeAdd(backupxml::AttrValue, item);
    element.SetAttributeByName(backupxml::AttrInherit, BoolToText(isInherit));
}

} // namespace

void TPropertyIndex::Build() {
    FBuilt = true;
    for (int i = 0; i < FParent.NodeCount(); ++i) {
        TWideXmlNode* child = FParent.Nodes(i);
        if (IsPropertyElement(*child)) FById.emplace(CaseFoldedKey(child->AttributeByName(backupxml::AttrId)), child);
    }
}

TWideXmlNode* TPropertyIndex::Find(std::u16string_view id) {
    if (!FBuilt) Build();
    auto it = FById.find(CaseFoldedKey(id));
    return it == FById.end() ? nullptr : it->second;
}

void TPropertyIndex::Add(std::u16string_view id, TWideXmlNode& element) {
    if (!FBuilt) Build();
    FById.emplace(CaseFoldedKey(id), &element);
}

TWideXmlNode& WritePropertyElement(TWideXmlNode& parent, std::u16string_view id, const TPropertyText& text,
                                   bool isInherit) {
    TWideXmlNode* element = FindPropertyChild(parent, id);
    if (!element) element = &NewPropertyChild(parent, id);
    FillPropertyElement(*element, text, isInherit);
    return *element;
}

TWideXmlNode& WritePropertyElement(TPropertyIndex& index, std::u16string_view id, const TPropertyText& text,
                                   bool isInherit) {
    TWideXmlNode* element = index.Find(id);
    if (!element) {
        element = &NewPropertyChild(index.Parent(), id);
        index.Add(id, *element);
    }
    FillPropertyElement(*element, text, isInherit);
    return *element;
}

} // namespace orvex
