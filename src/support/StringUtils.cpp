#include "support/StringUtils.h"

#include "base/AsciiText.h"

#include <algorithm>
#include <climits>

namespace orvex {

namespace {

std::u16string_view Remainder(std::u16string_view source, int64_t firstPosition) {
    const int64_t start = std::max<int64_t>(firstPosition, 1) - 1;
    if (start >= static_cast<int64_t>(source.size()))
        return {};
    return source.substr(static_cast<size_t>(start));
}

} // namespace

int PosCIFrom(std::u16string_view sub, std::u16string_view s, int from) {
    if (sub.empty() || s.empty() || from < 1 || static_cast<size_t>(from) > s.size() ||
        sub.size() > s.size())
        return 0;
    const size_t last = s.size() - sub.size();
    for (size_t start = static_cast<size_t>(from) - 1; start <= last; ++start) {
        size_t i = 0;
        while (i < sub.size() && AsciiUpper(s[start + i]) == AsciiUpper(sub[i]))
            ++i;
        if (i == sub.size())
            return static_cast<int>(start + 1);
    }
    return 0;
}

int PosCI(std::u16string_view sub, std::u16string_view s) { return PosCIFrom(sub, s, 1); }

std::u16string LeftOfEqual(std::u16string_view s) { return std::u16string(s.substr(0, s.find(u'='))); }

std::u16string RightOfEqual(std::u16string_view s) {
    const size_t equal = s.find(u'=');
    return std::u16string(equal == std::u16string_view::npos ? s : s.substr(equal + 1));
}

bool SplitAtPos(std::u16string_view source, int pos, int len, std::u16string& left,
                std::u16string& right) {
    if (pos <= 0 || pos >= INT_MAX) {
        left = source;
        right.clear();
        return false;
    }
    left = source.substr(0, std::min(static_cast<size_t>(pos) - 1, source.size()));
    right = Remainder(source, int64_t(pos) + len);
    return true;
}

bool SplitString(std::u16string_view source, std::u16string_view delim, std::u16string& left,
                 std::u16string& right) {
    const int pos = PosCI(delim, source);
    if (pos == 0) {
        left = source;
        right.clear();
        return false;
    }
    return SplitAtPos(source, pos, static_cast<int>(delim.size()), left, right);
}

bool SplitString3(std::u16string_view source, std::u16string_view delim, std::u16string& first,
                  std::u16string& second, std::u16string& third) {
    std::u16string rest;
    const bool once = SplitString(source, delim, first, rest);
    const bool twice = SplitString(rest, delim, second, third);
    return once && twice;
}

bool SplitString4(std::u16string_view source, std::u16string_view delim, std::u16string& first,
                  std::u16string& second, std::u16string& third, std::u16string& fourth) {
    std::u16string rest;
    const bool twice = SplitString3(source, delim, first, second, rest);
    const bool thrice = SplitString(rest, delim, third, fourth);
    return twice && thrice;
}

std::u16string StringReplaceAllCI(std::u16string_view source, std::u16string_view find,
                                  std::u16string_view replace) {
    if (find.empty())
        return std::u16string(source);
    std::u16string result;
    int cursor = 1;
    while (true) {
        const int at = cursor > static_cast<int>(source.size()) ? 0 : PosCIFrom(find, source, cursor);
        if (at == 0)
            break;
        result.append(source.substr(static_cast<size_t>(cursor) - 1, static_cast<size_t>(at - cursor)));
        result.append(replace);
        cursor = at + static_cast<int>(find.size());
    }
    if (static_cast<size_t>(cursor) <= source.size())
        result.append(source.substr(static_cast<size_t>(cursor) - 1));
    return result;
}

bool StartsWithUtf8Bom(std::string_view s) { return s.size() >= 3 && s.substr(0, 3) == "\xEF\xBB\xBF"; }

bool StartsWithUtf16LeBom(std::string_view s) { return s.size() >= 2 && s.substr(0, 2) == "\xFF\xFE"; }

bool StripUtf8Bom(std::string& s) {
    if (!StartsWithUtf8Bom(s))
        return false;
    s.erase(0, 3);
    return true;
}

} // namespace orvex
