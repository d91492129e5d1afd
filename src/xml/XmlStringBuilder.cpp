#include "xml/XmlStringBuilder.h"

namespace orvex {

void TxmStringBuilder::Reserve(size_t needed) {
    size_t capacity = FData.size();
    while (capacity < needed)
        capacity *= 2;
    if (capacity != FData.size())
        FData.resize(capacity);
}

void TxmStringBuilder::AddChar(char ch) {
    Reserve(FCurrentIdx + 1);
    FData[FCurrentIdx++] = ch;
}

void TxmStringBuilder::AddString(std::string_view s) {
    if (s.empty())
        return;
    Reserve(FCurrentIdx + s.size());
    FData.replace(FCurrentIdx, s.size(), s);
    FCurrentIdx += s.size();
}

std::string TxmStringBuilder::StringCopy(size_t first, size_t length) const {
    if (first < 1 || first > FCurrentIdx)
        return {};
    return FData.substr(first - 1, std::min(length, FCurrentIdx - (first - 1)));
}

} // namespace orvex
