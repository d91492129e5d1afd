#include "xml/XmlScanners.h"

#include "xml/UTF8StringUtils.h"

#include <string>
#include <vector>

namespace orvex {

int MatchTagType(std::string_view tag) {
    int result = static_cast<int>(XmlTagTable.size()) - 1;
    size_t longest = 0;
    for (size_t row = 0; row < XmlTagTable.size(); ++row) {
        const std::string_view opening = XmlTagTable[row].Opening;
        if (opening.size() > longest && tag.substr(0, opening.size()) == opening) {
            result = static_cast<int>(row);
            longest = opening.size();
        }
    }
    return result;
}

size_t FindClosingText(std::string_view text, size_t from, std::string_view closing,
                       bool honourQuotes) {
    if (closing.empty())
        return std::string_view::npos;
    char quote = 0;
    for (size_t i = from; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0;
            continue;
        }
        if (honourQuotes && IsXmlQuote(c)) {
            quote = c;
            continue;
        }
        if (i + 1 - from >= closing.size() &&
            text.compare(i + 1 - closing.size(), closing.size(), closing) == 0)
            return i + 1 - closing.size();
    }
    return std::string_view::npos;
}

bool Utf8TrimPos(std::string_view text, int& start, int& close) {
    if (start < 1)
        start = 1;
    const int limit = static_cast<int>(text.size()) + 1;
    if (close > limit)
        close = limit;
    // Blanks are single bytes; the characters before them count one byte each.
    const char* begin = text.data();
    const char* end = begin + text.size();
    auto byteOf = [&](int position) {
        const char* p = UTF8SkipChars(begin, end - begin, position - 1);
        return p ? p : end;
    };
    const char* first = byteOf(start);
    const char* last = byteOf(close);
    while (start < close && first < end && IsXmlBlank(*first)) {
        ++first;
        ++start;
    }
    while (start < close && last > first && IsXmlBlank(last[-1])) {
        --last;
        --close;
    }
    return start < close;
}

void Utf8ParseAttributes(std::string_view text, TxmUTF8StringList& list) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsXmlBlank(text[first]))
        ++first;
    while (last > first && IsXmlBlank(text[last - 1]))
        --last;
    if (first == last)
        return;
    list.Clear();

    std::vector<std::string_view> pieces;
    size_t itemStart = first;
    char quote = 0;
    for (size_t i = first; i < last; ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (IsXmlQuote(c)) {
            quote = c;
        } else if (IsXmlBlank(c)) {
            if (i > itemStart)
                pieces.push_back(text.substr(itemStart, i - itemStart));
            itemStart = i + 1;
        }
    }
    if (itemStart < last)
        pieces.push_back(text.substr(itemStart, last - itemStart));

    // Both joining passes run from the last item down; since a join never changes
    // the first byte of an item, one forward pass each gives the same result.
    std::vector<std::string> joined;
    joined.reserve(pieces.size());
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0 && pieces[i][0] == '=')
            joined.back().append(pieces[i]);
        else
            joined.emplace_back(pieces[i]);
    }
    std::vector<std::string> items;
    items.reserve(joined.size());
    bool previousHoldsEquals = false;
    for (size_t i = 0; i < joined.size(); ++i) {
        const bool holdsEquals = joined[i].find('=') != std::string::npos;
        if (i > 0 && IsXmlQuote(joined[i][0]) && previousHoldsEquals)
            items.back().append(joined[i]);
        else
            items.push_back(std::move(joined[i]));
        previousHoldsEquals = holdsEquals;
    }
    for (std::string& item : items)
        list.Add(std::move(item));
}

} // namespace orvex
