#include "xml/XmlNodeList.h"

#include "xml/UTF8StringUtils.h"
#include "xml/WideXmlNode.h"

namespace orvex {

void TUtf8XmlNodeList::Insert(int index, TUtf8XmlNode* node) {
    if (index >= 0 && index <= Count())
        FItems.insert(FItems.begin() + index, node);
}

TUtf8XmlNode* TUtf8XmlNodeList::ByAttribute(std::string_view name, std::string_view value) const {
    for (TUtf8XmlNode* node : FItems)
        if (node && Utf8CompareText(node->AttributeByName(name), value) == 0)
            return node;
    return nullptr;
}

TWideXmlNode* TWideXmlNodeList::Items(int index) const {
    return TWideXmlNode::Cast(TUtf8XmlNodeList::Items(index));
}

TWideXmlNode* TWideXmlNodeList::ByAttribute(std::u16string_view name,
                                            std::u16string_view value) const {
    return TWideXmlNode::Cast(
        TUtf8XmlNodeList::ByAttribute(UnicodeToUtf8(name), UnicodeToUtf8(value)));
}

} // namespace orvex
