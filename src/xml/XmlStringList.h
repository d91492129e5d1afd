#pragma once
// TxmUTF8StringList: the ordered list of UTF-8 strings that holds a node's
// attributes, one "name=value" item per attribute. The items live in one block:
// their positions, then their bytes. A parse puts the block in its pages
// (xml/XmlPages.h) with the attribute text of the start tag copied once; a change
// builds a new block on the heap, which is cheap for lists this short.

#include "xml/XmlPages.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvex {

class TxmUTF8StringList {
public:
    TxmUTF8StringList() = default;
    ~TxmUTF8StringList() { Clear(); }
    TxmUTF8StringList(const TxmUTF8StringList&) = delete;
    TxmUTF8StringList& operator=(const TxmUTF8StringList&) = delete;
    TxmUTF8StringList(TxmUTF8StringList&& other) noexcept { Swap(other); }

    // Exchanges the items of the two lists; never fails.
    void Swap(TxmUTF8StringList& other) noexcept {
        std::swap(FBlock, other.FBlock);
        std::swap(FCount, other.FCount);
        std::swap(FOnPage, other.FOnPage);
    }

    int Count() const { return FCount; }

    // Appends; returns the new index.
    int Add(std::string_view text);
    // Appends count items of these lengths and returns where their bytes go, one
    // item after another; the caller fills them before the list is used again.
    // The new block is cut from pages when they are given.
    char* AddUnfilled(const uint32_t* lengths, int count, TXmlPages* pages = nullptr);
    void Assign(const TxmUTF8StringList& source);
    // The items become exactly these.
    void Assign(const std::vector<std::string>& items);
    // Count becomes 0.
    void Clear();
    // Ignored unless 0 <= index < Count.
    void Delete(int index);
    // Swaps two items when both indexes are in range.
    void Exchange(int index1, int index2);

    // True when text lies, at least in part, in one of the items.
    bool Holds(std::string_view text) const;
    // The item, or empty out of range.
    std::string_view Items(int index) const;
    // Ignored out of range.
    void SetItems(int index, std::string_view text);
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

    // Where an item lies in a text.
    struct TSpan {
        uint32_t Offset;
        uint32_t Length;
    };
    // For the parser: the items become those at spans of text, kept in pages
    // with one copy of text.
    void AssignIn(TXmlPages& pages, std::string_view text, const TSpan* spans, int count);
    // Gives the block back into a batch (the list is then empty).
    void ReleaseInto(TXmlPages::TBatch& batch);

private:
    const TSpan* Spans() const { return reinterpret_cast<const TSpan*>(FBlock); }
    TSpan* Spans() { return reinterpret_cast<TSpan*>(FBlock); }
    const char* Bytes() const { return FBlock + sizeof(TSpan) * static_cast<size_t>(FCount); }
    bool InRange(int index) const { return index >= 0 && index < FCount; }
    // A new block (on the heap, or in pages) holding these items (which may lie in
    // the old one), then room for unfilledCount more of the lengths given; returns
    // where that room is.
    template <class TItems>
    char* Rebuild(const TItems& items, int count, const uint32_t* unfilled = nullptr, int unfilledCount = 0,
                  TXmlPages* pages = nullptr);
    void FreeBlock();

    char* FBlock = nullptr;
    int32_t FCount = 0;
    uint32_t FOnPage = 0; // FBlock is a page object
};

} // namespace orvex
