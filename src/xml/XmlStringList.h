#pragma once
// TxmUTF8StringList: the ordered list of UTF-8 strings that holds a node's
// attributes, one "name=value" item per attribute.

#include <string>
#include <string_view>
#include <vector>

namespace orvex {

class TxmUTF8StringList {
public:
    int Count() const { return static_cast<int>(FItems.size()); }

    // Appends; returns the new index.
    int Add(std::string text);
    void Assign(const TxmUTF8StringList& source) { FItems = source.FItems; }
    // Count becomes 0; the storage is kept for reuse.
    void Clear() { FItems.clear(); }
    // Ignored unless 0 <= index < Count.
    void Delete(int index);
    // Swaps two items when both indexes are in range.
    void Exchange(int index1, int index2);

    // The item, or empty out of range.
    const std::string& Items(int index) const;
    // Ignored out of range.
    void SetItems(int index, std::string text);
    // The part of the item before its first "=", or empty without "=".
    std::string Names(int index) const;

    // The part after "name=" of the item found by IndexOfName; empty when absent.
    std::string Values(std::string_view name) const;
    // A non-empty value replaces the found item with "name=value" or appends one;
    // an empty value deletes the found item.
    void SetValues(std::string_view name, std::string_view value);

    // First item that starts with name followed by "=", ASCII letters compared
    // without case, other bytes exact; -1 when none.
    int IndexOfName(std::string_view name) const;

    // All items, each followed by CR LF.
    std::string Text() const;

private:
    bool InRange(int index) const { return index >= 0 && index < Count(); }

    std::vector<std::string> FItems;
};

} // namespace orvex
