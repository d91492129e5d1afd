#pragma once
// Lists of node references (they own nothing), with a lookup by attribute.

#include <string_view>
#include <vector>

namespace orvex {

class TUtf8XmlNode;
class TWideXmlNode;

class TUtf8XmlNodeList {
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    // The node at index, or nullptr out of range.
    TUtf8XmlNode* Items(int index) const {
        return index >= 0 && index < Count() ? FItems[static_cast<size_t>(index)] : nullptr;
    }
    int Add(TUtf8XmlNode* node) {
        FItems.push_back(node);
        return Count() - 1;
    }
    void Insert(int index, TUtf8XmlNode* node);
    void Clear() { FItems.clear(); }

    // The first node whose attribute `name` (as AttributeByName reads it) equals
    // value ignoring case; nullptr when none.
    TUtf8XmlNode* ByAttribute(std::string_view name, std::string_view value) const;

private:
    std::vector<TUtf8XmlNode*> FItems;
};

// The same list seen through the UTF-16 face: items are TWideXmlNode (a node of
// another class reads as nullptr).
class TWideXmlNodeList : public TUtf8XmlNodeList {
public:
    TWideXmlNode* Items(int index) const;
    TWideXmlNode* ByAttribute(std::u16string_view name, std::u16string_view value) const;
};

} // namespace orvex
