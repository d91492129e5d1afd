#pragma once
// TxmUTF8StringList: the ordered list of UTF-8 strings that holds a node's
// attributes, one "name=value" item per attribute.

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

class TxmUTF8StringList {
public:
    int Count() const { return FCount; }

    // Appends; returns the new index.
    int Add(std::string text);
    int Add(std::string_view text);
    int Add(const char* text) { return Add(std::string_view(text)); }
    // Makes room for count items in all, so that adding them allocates no more
    // than the items' own text.
    void Reserve(int count);
    void Assign(const TxmUTF8StringList& source);
    // Count becomes 0.
    void Clear();
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
    // Most elements carry a few attributes: those live in the node itself, and
    // only longer lists take a block of their own.
    static constexpr int kInline = 4;

    bool InRange(int index) const { return index >= 0 && index < FCount; }
    std::string& At(int index) {
        return index < kInline ? FInline[static_cast<size_t>(index)]
                               : FMore[static_cast<size_t>(index - kInline)];
    }
    const std::string& At(int index) const {
        return index < kInline ? FInline[static_cast<size_t>(index)]
                               : FMore[static_cast<size_t>(index - kInline)];
    }
    // The slot for a new last item.
    std::string& NewSlot();

    std::array<std::string, kInline> FInline;
    std::vector<std::string> FMore;
    int FCount = 0;
};

} // namespace orvex
