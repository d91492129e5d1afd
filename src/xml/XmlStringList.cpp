#include "xml/XmlStringList.h"

#include "xml/UTF8StringUtils.h"

#include <utility>

namespace orvex {

namespace {
const std::string kEmpty;
}

std::string& TxmUTF8StringList::NewSlot() {
    if (FCount >= kInline)
        FMore.emplace_back();
    return At(FCount++);
}

int TxmUTF8StringList::Add(std::string text) {
    NewSlot() = std::move(text);
    return FCount - 1;
}

int TxmUTF8StringList::Add(std::string_view text) {
    NewSlot().assign(text);
    return FCount - 1;
}

void TxmUTF8StringList::Reserve(int count) {
    if (count > kInline)
        FMore.reserve(static_cast<size_t>(count - kInline));
}

void TxmUTF8StringList::Assign(const TxmUTF8StringList& source) {
    if (&source == this)
        return;
    Clear();
    Reserve(source.FCount);
    for (int i = 0; i < source.FCount; ++i)
        Add(std::string_view(source.At(i)));
}

void TxmUTF8StringList::Clear() {
    for (int i = 0; i < FCount && i < kInline; ++i)
        std::string().swap(FInline[static_cast<size_t>(i)]);
    FMore.clear();
    FCount = 0;
}

void TxmUTF8StringList::Delete(int index) {
    if (!InRange(index))
        return;
    for (int i = index; i + 1 < FCount; ++i)
        At(i).swap(At(i + 1));
    if (FCount > kInline)
        FMore.pop_back();
    else
        std::string().swap(At(FCount - 1));
    --FCount;
}

void TxmUTF8StringList::Exchange(int index1, int index2) {
    if (index1 != index2 && InRange(index1) && InRange(index2))
        At(index1).swap(At(index2));
}

const std::string& TxmUTF8StringList::Items(int index) const {
    return InRange(index) ? At(index) : kEmpty;
}

void TxmUTF8StringList::SetItems(int index, std::string text) {
    if (InRange(index))
        At(index) = std::move(text);
}

std::string TxmUTF8StringList::Names(int index) const {
    const std::string& item = Items(index);
    const size_t eq = item.find('=');
    return eq == std::string::npos ? std::string() : item.substr(0, eq);
}

int TxmUTF8StringList::IndexOfName(std::string_view name) const {
    for (int i = 0; i < FCount; ++i) {
        const std::string& item = At(i);
        if (item.size() > name.size() && item[name.size()] == '=' && Utf8MatchAt(name, item, 1))
            return i;
    }
    return -1;
}

std::string TxmUTF8StringList::Values(std::string_view name) const {
    const int index = IndexOfName(name);
    if (index < 0)
        return {};
    return At(index).substr(name.size() + 1);
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
        Add(std::move(item));
    else
        At(index) = std::move(item);
}

std::string TxmUTF8StringList::Text() const {
    std::string out;
    for (int i = 0; i < FCount; ++i) {
        out.append(At(i));
        out.append("\r\n");
    }
    return out;
}

} // namespace orvex
