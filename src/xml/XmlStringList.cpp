#include "xml/XmlStringList.h"

#include "xml/UTF8StringUtils.h"
#include "xml/XmlErrors.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <utility>

namespace orvex {

void TxmUTF8StringList::FreeBlock() {
    if (FBlock)
        TXmlPages::Release(FBlock, FOnPage);
    FBlock = nullptr;
    FCount = 0;
    FOnPage = 0;
}

template <class TItems>
char* TxmUTF8StringList::Rebuild(const TItems& item, int count, const uint32_t* unfilled, int unfilledCount,
                                 TXmlPages* pages) {
    size_t bytes = 0;
    for (int i = 0; i < count; ++i)
        bytes += item(i).size();
    for (int i = 0; i < unfilledCount; ++i)
        bytes += unfilled[i];
    if (bytes > std::numeric_limits<uint32_t>::max())
        throw EXmlError("Attributes too long");
    const int total = count + unfilledCount;
    char* block = nullptr;
    char* room = nullptr;
    if (total > 0) {
        const size_t spans = sizeof(TSpan) * static_cast<size_t>(total);
        block = static_cast<char*>(pages ? pages->Allocate(spans + bytes) : std::malloc(spans + bytes));
        if (!block)
            throw std::bad_alloc();
        auto* span = reinterpret_cast<TSpan*>(block);
        uint32_t offset = 0;
        for (int i = 0; i < count; ++i) {
            const std::string_view text = item(i);
            std::memcpy(block + spans + offset, text.data(), text.size());
            span[i] = {offset, static_cast<uint32_t>(text.size())};
            offset += static_cast<uint32_t>(text.size());
        }
        room = block + spans + offset;
        for (int i = 0; i < unfilledCount; ++i) {
            span[count + i] = {offset, unfilled[i]};
            offset += unfilled[i];
        }
    }
    // The items may have lain in the old block: it goes only now.
    FreeBlock();
    FBlock = block;
    FCount = total;
    FOnPage = block && pages ? 1 : 0;
    return room;
}

int TxmUTF8StringList::Add(std::string_view text) {
    Rebuild([&](int i) { return i < FCount ? Items(i) : text; }, FCount + 1);
    return FCount - 1;
}

char* TxmUTF8StringList::AddUnfilled(const uint32_t* lengths, int count, TXmlPages* pages) {
    return Rebuild([&](int i) { return Items(i); }, FCount, lengths, count, pages);
}

void TxmUTF8StringList::Assign(const TxmUTF8StringList& source) {
    if (&source != this)
        Rebuild([&](int i) { return source.Items(i); }, source.FCount);
}

void TxmUTF8StringList::Assign(const std::vector<std::string>& items) {
    Rebuild([&](int i) { return std::string_view(items[static_cast<size_t>(i)]); },
            static_cast<int>(items.size()));
}

void TxmUTF8StringList::AssignIn(TXmlPages& pages, std::string_view text, const TSpan* spans, int count) {
    FreeBlock();
    if (count == 0)
        return;
    const size_t spanBytes = sizeof(TSpan) * static_cast<size_t>(count);
    FBlock = static_cast<char*>(pages.Allocate(spanBytes + text.size()));
    FOnPage = 1;
    FCount = count;
    std::memcpy(FBlock, spans, spanBytes);
    std::memcpy(FBlock + spanBytes, text.data(), text.size());
}

void TxmUTF8StringList::Clear() { FreeBlock(); }

void TxmUTF8StringList::ReleaseInto(TXmlPages::TBatch& batch) {
    if (FBlock)
        batch.Release(FBlock, FOnPage);
    FBlock = nullptr;
    FreeBlock();
}

void TxmUTF8StringList::Delete(int index) {
    if (!InRange(index))
        return;
    Rebuild([&](int i) { return Items(i < index ? i : i + 1); }, FCount - 1);
}

void TxmUTF8StringList::Exchange(int index1, int index2) {
    if (index1 != index2 && InRange(index1) && InRange(index2))
        std::swap(Spans()[index1], Spans()[index2]);
}

std::string_view TxmUTF8StringList::Items(int index) const {
    if (!InRange(index))
        return {};
    const TSpan span = Spans()[index];
    return std::string_view(Bytes() + span.Offset, span.Length);
}

bool TxmUTF8StringList::Holds(std::string_view text) const {
    const std::less<const char*> before;
    for (int i = 0; i < FCount; ++i) {
        const std::string_view item = Items(i);
        if (before(text.data(), item.data() + item.size()) && before(item.data(), text.data() + text.size()))
            return true;
    }
    return false;
}

void TxmUTF8StringList::SetItems(int index, std::string_view text) {
    if (InRange(index))
        Rebuild([&](int i) { return i == index ? text : Items(i); }, FCount);
}

std::string TxmUTF8StringList::Names(int index) const {
    const std::string_view item = Items(index);
    const size_t eq = item.find('=');
    return eq == std::string_view::npos ? std::string() : std::string(item.substr(0, eq));
}

int TxmUTF8StringList::IndexOfName(std::string_view name) const {
    for (int i = 0; i < FCount; ++i) {
        const std::string_view item = Items(i);
        if (item.size() > name.size() && item[name.size()] == '=' && Utf8MatchAt(name, item, 1))
            return i;
    }
    return -1;
}

std::string TxmUTF8StringList::Values(std::string_view name) const {
    const int index = IndexOfName(name);
    if (index < 0)
        return {};
    return std::string(Items(index).substr(name.size() + 1));
}

void TxmUTF8StringList::SetValues(std::string_view name, std::string_view value) {
    const int index = IndexOfName(name);
    if (value.empty()) {
        Delete(index);
        return;
    }
    std::string item(name);
    item.push_back('=');
    item.append(value);
    if (index < 0)
        Add(item);
    else
        SetItems(index, item);
}

std::string TxmUTF8StringList::Text() const {
    std::string out;
    for (int i = 0; i < FCount; ++i) {
        out.append(Items(i));
        out.append("\r\n");
    }
    return out;
}

} // namespace orvex
