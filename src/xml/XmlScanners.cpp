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
    TClosingTextSearch search(closing, honourQuotes);
    size_t at = from;
    return search.Continue(text, from, at);
}

size_t TClosingTextSearch::Continue(std::string_view text, size_t from, size_t& at) {
    if (FClosing.empty()) {
        at = text.size();
        return std::string_view::npos;
    }
    const char last = FClosing.back();
    for (size_t i = at; i < text.size(); ++i) {
        const char c = text[i];
        if (FQuote) {
            if (c == FQuote)
                FQuote = 0;
            continue;
        }
        if (FHonourQuotes && IsXmlQuote(c)) {
            FQuote = c;
            continue;
        }
        if (c == last && i + 1 - from >= FClosing.size() &&
            text.compare(i + 1 - FClosing.size(), FClosing.size(), FClosing) == 0) {
            at = i + 1;
            return i + 1 - FClosing.size();
        }
    }
    at = text.size();
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

std::string_view NextTagWord(std::string_view text, size_t& pos) {
    while (pos < text.size() && IsXmlBlank(text[pos]))
        ++pos;
    const size_t start = pos;
    char quote = 0;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (IsXmlQuote(c)) {
            quote = c;
        } else if (IsXmlBlank(c)) {
            break;
        }
    }
    return text.substr(start, pos - start);
}

std::string_view SplitTagName(std::string_view text, std::string_view& rest) {
    // Trailing blanks stay out of a word whose quote is left open.
    while (!text.empty() && IsXmlBlank(text.back()))
        text.remove_suffix(1);
    size_t pos = 0;
    const std::string_view name = NextTagWord(text, pos);
    rest = text.substr(pos);
    return name;
}

namespace {

// An attribute name: no blank, no quote and no "=".
bool IsPlainName(std::string_view piece) {
    return !piece.empty() && piece.find_first_of("=\"'") == std::string_view::npos;
}

bool StartsWithQuote(std::string_view piece) { return !piece.empty() && IsXmlQuote(piece[0]); }

} // namespace

void Utf8ParseAttributes(std::string_view text, TxmUTF8StringList& list) {
    // Trailing blanks stay out of a word whose quote is left open.
    while (!text.empty() && IsXmlBlank(text.back()))
        text.remove_suffix(1);
    size_t pos = 0;
    std::string_view pieces[3];
    pieces[0] = NextTagWord(text, pos);
    if (pieces[0].empty())
        return;
    std::vector<std::string> items;
    pieces[1] = NextTagWord(text, pos);
    pieces[2] = NextTagWord(text, pos);
    // Only name = "value" (blanks around "=" optional) makes one item of several
    // pieces, so every item written back separated by blanks reads back as itself.
    while (!pieces[0].empty()) {
        int used = 1;
        const std::string_view first = pieces[0];
        if (IsPlainName(first)) {
            if (pieces[1] == "=" && StartsWithQuote(pieces[2]))
                used = 3;
            else if (pieces[1].size() > 1 && pieces[1][0] == '=' && IsXmlQuote(pieces[1][1]))
                used = 2;
        } else if (first.size() > 1 && first.back() == '=' && IsPlainName(first.substr(0, first.size() - 1)) &&
                   StartsWithQuote(pieces[1])) {
            used = 2;
        }
        std::string& item = items.emplace_back();
        item.reserve(first.size() + pieces[1].size() + pieces[2].size());
        for (int i = 0; i < used; ++i)
            item.append(pieces[i]);
        for (int i = 0; i < 3; ++i)
            pieces[i] = i + used < 3 ? pieces[i + used] : NextTagWord(text, pos);
    }
    list.Assign(items);
}

} // namespace orvex
