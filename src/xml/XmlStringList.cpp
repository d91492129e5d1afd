#include "xml/XmlStringList.h"

#include "xml/UTF8StringUtils.h"

#include <utility>

namespace orvex {

namespace {
const std::string kEmpty;
}

int TxmUTF8StringList::Add(std::string text) {
    FItems.push_back(std::move(text));
    return Count() - 1;
}

void TxmUTF8StringList::Delete(int index) {
    if (InRange(index))
        FItems.erase(FItems.begin() + index);
}

void TxmUTF8StringList::Exchange(int index1, int index2) {
    if (index1 != index2 && InRange(index1) && InRange(index2))
        std::swap(FItems[static_cast<size_t>(index1)], FItems[static_cast<size_t>(index2)]);
}

const std::string& TxmUTF8StringList::Items(int index) const {
    return InRange(index) ? FItems[static_cast<size_t>(index)] : kEmpty;
}

void TxmUTF8StringList::SetItems(int index, std::string text) {
    if (InRange(index))
        FItems[static_cast<size_t>(index)] = std::move(text);
}

std::string TxmUTF8StringList::Names(int index) const {
    const std::string& item = Items(index);
    const size_t eq = item.find('=');
    return eq == std::string::npos ? std::string() : item.substr(0, eq);
}

int TxmUTF8StringList::IndexOfName(std::string_view name) const {
    for (int i = 0; i < Count(); ++i) {
        const std::string& item = FItems[static_cast<size_t>(i)];
        if (item.size() > name.size() && item[name.size()] == '=' && Utf8MatchAt(name, item, 1))
            return i;
    }
    return -1;
}

std::string TxmUTF8StringList::Values(std::string_view name) const {
    const int index = IndexOfName(name);
    if (index < 0)
        return {};
    return FItems[static_cast<size_t>(index)].substr(name.size() + 1);
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
        FItems[static_cast<size_t>(index)] = std::move(item);
}

std::string TxmUTF8StringList::Text() const {
    std::string out;
    for (const std::string& item : FItems) {
        out.append(item);
        out.append("\r\n");
    }
    return out;
}

} // namespace orvex
