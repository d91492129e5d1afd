#include "keyedconfig/XPathText.h"

#include "base/CaseFold.h"
#include "base/NumberText.h"
#include "base/TextFormat.h"
#include "keyedconfig/VeldarmarkMessages.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace orvex {

namespace {

bool IsNameChar(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
           c == u'_';
}

bool IsSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDFFF; }

bool IsBlank(char16_t c) { return c <= u' '; }

std::u16string_view Trimmed(std::u16string_view text, size_t* leading = nullptr) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    if (leading)
        *leading = begin;
    return text.substr(begin, end - begin);
}

// Decimal integer with an optional sign; -1 for anything else, as an index reads it.
int IndexValue(std::u16string_view text) {
    std::string narrow;
    for (char16_t c : text) {
        if (c > 0x7F)
            return -1;
        narrow += static_cast<char>(c);
    }
    if (!narrow.empty() && narrow[0] == '+')
        narrow.erase(0, 1);
    int value = 0;
    auto [end, ec] = std::from_chars(narrow.data(), narrow.data() + narrow.size(), value);
    if (narrow.empty() || ec != std::errc() || end != narrow.data() + narrow.size())
        return -1;
    return value;
}

// Up to 15 significant digits; exponents written "1E20", "1E-5".
std::u16string FloatText(double value) {
    if (std::isnan(value))
        return u"NAN";
    if (std::isinf(value))
        return value < 0 ? u"-INF" : u"INF";
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value,
                                   std::chars_format::general, 15);
    (void)ec; // 64 bytes hold every 15-digit form
    std::string text(buffer, end);
    size_t e = text.find('e');
    if (e != std::string::npos) {
        std::string mantissa = text.substr(0, e);
        bool negative = text[e + 1] == '-';
        std::string digits = text.substr(e + 2);
        digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
        text = mantissa + "E" + (negative ? "-" : "") + digits;
    }
    return std::u16string(text.begin(), text.end());
}

// Checks one definition; returns 0 or the 1-based error position in the path.
int ParseDefinition(TXPathAttribute& attr) {
    const std::u16string_view def = attr.xaDefinition;
    const int start = attr.xaDefinitionStartAt;
    if (def.empty()) // "[]" after a blank: the error is at the "]"
        return start;
    size_t eq = def.find(u'=');
    if (eq == std::u16string_view::npos)
        return start + 1;
    std::u16string_view name = Trimmed(def.substr(0, eq));
    if (name.empty() || name[0] != u'@')
        return start + 1;
    name.remove_prefix(1);
    if (name.empty())
        return start + 1;
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t c = name[i];
        if (c == u'\t' || c == u' ' || c == u'\'' || c == u'/' || c == u'[' || c == u']')
            return start + static_cast<int>(i) + 1;
        // A lookup that creates writes the name into the document as it is: these
        // would make the saved file unreadable.
        if (c < u' ' || c == u'<' || c == u'>' || c == u'&' || c == u'"')
            return start + static_cast<int>(i) + 1;
    }
    size_t leading = 0;
    std::u16string_view value = Trimmed(def.substr(eq + 1), &leading);
    if (value.empty() || (value[0] != u'"' && value[0] != u'\''))
        return start + static_cast<int>(eq) + 1;
    const char16_t quote = value[0];
    if (value.size() < 2 || value.back() != quote)
        return start + static_cast<int>(eq + value.size());
    std::u16string_view inner = value.substr(1, value.size() - 2);
    // The language has no escapes: a quote of the value's own kind inside it would
    // end the value early and let the rest pass as more predicates.
    size_t stray = inner.find(quote);
    if (stray != std::u16string_view::npos)
        return start + static_cast<int>(eq + 1 + leading + 1 + stray);
    attr.xaAttributeID = std::u16string(name);
    attr.xaAttributeValue = std::u16string(inner);
    return 0;
}

int ParseDefinitions(TXPathElement& step) {
    for (TXPathAttribute& attr : step.xeAttributes)
        if (int error = ParseDefinition(attr))
            return error;
    return 0;
}

} // namespace

std::u16string_view ContextUsageWord(TContextUsage usage) {
    switch (usage) {
    case cxNone:
        return u"cxNone";
    case cxOptional:
        return u"cxOptional";
    case cxRequired:
        return u"cxRequired";
    }
    return u"";
}

std::u16string TPiece::ToText() const {
    switch (FKind) {
    case pkText:
        return std::u16string(FText);
    case pkInteger:
        return IntToText(FInteger);
    case pkBool:
        return FInteger ? u"True" : u"False";
    case pkChar:
        return std::u16string(1, static_cast<char16_t>(FInteger));
    case pkFloat:
        return FloatText(FFloat);
    }
    return {};
}

std::u16string AttributePredicateText(std::u16string_view name, std::u16string_view value) {
    return FormatTolerant(u"[@%s=\"%s\"]", {name, value}, TMissingValue::StaysVisible);
}

std::u16string BuildXPathFromPieces(std::span<const TPiece> pieces, TErrorDetailAllowedSet governing) {
    std::u16string path;
    std::u16string pending;
    bool attributePending = false;
    size_t badQuoteAt = std::u16string::npos;
    for (const TPiece& piece : pieces) {
        std::u16string text = piece.ToText();
        if (attributePending) {
            size_t quote = text.find(u'"');
            if (quote != std::u16string::npos && badQuoteAt == std::u16string::npos)
                badQuoteAt = path.size() + 4 + pending.size() + quote; // after [@name="
            path += AttributePredicateText(pending, text);
            attributePending = false;
            pending.clear();
            continue;
        }
        if (text.empty())
            continue;
        if (text[0] == u'@') {
            pending = text.substr(1);
            attributePending = true;
            continue;
        }
        if (text.back() == u'/')
            text.pop_back();
        // Only a step that follows output gets a separator, so an empty first piece
        // leaves a relative path relative.
        if (!path.empty() && (text.empty() || text[0] != u'/'))
            path += u'/';
        path += text;
    }
    if (badQuoteAt != std::u16string::npos)
        RaiseDocumentError(XPathSyntaxErrorText(path, static_cast<int>(badQuoteAt) + 1),
                           u"BuildXPathFromPieces", governing);
    return path;
}

int ParseXPath(std::u16string_view path, std::vector<TXPathElement>& elements) {
    elements.clear();
    if (path.empty())
        return 0;
    const int length = static_cast<int>(std::min<size_t>(path.size(), std::numeric_limits<int>::max()));
    if (!IsNameChar(path[0]))
        return 1;
    if (!IsNameChar(path.back()) && path.back() != u']')
        return length;

    enum TState { stName, stGroup, stQuotes, stIndex, stAfterStep };
    TState state = stName;
    std::u16string indexText;
    elements.emplace_back();
    auto fail = [&](int position) {
        elements.clear();
        return position;
    };
    auto openGroup = [&](size_t bracketAt) {
        TXPathAttribute attr;
        attr.xaDefinitionStartAt = static_cast<int>(bracketAt) + 2;
        elements.back().xeAttributes.push_back(std::move(attr));
        state = stGroup;
    };
    auto nextStep = [&]() {
        int error = ParseDefinitions(elements.back());
        elements.emplace_back();
        state = stName;
        return error;
    };

    for (size_t i = 0; i < path.size(); ++i) {
        const char16_t c = path[i];
        const int position = static_cast<int>(i) + 1;
        TXPathElement& step = elements.back();
        switch (state) {
        case stName:
            if (IsNameChar(c) || IsSurrogate(c)) {
                step.xeTagName += c;
                continue;
            }
            if (c != u'\t' && c != u' ' && c != u'/' && c != u'[')
                return fail(position);
            // A step without a name ("a//b", "a/[@x='1']") would address nameless
            // nodes, and creating one would write unreadable XML.
            if (step.xeTagName.empty())
                return fail(position);
            if (c == u'/') {
                if (int error = nextStep())
                    return fail(error);
            } else if (c == u'[') {
                if (i + 1 == path.size() || path[i + 1] == u'@') {
                    openGroup(i);
                } else {
                    indexText.clear();
                    state = stIndex;
                }
            } else {
                state = stAfterStep;
            }
            break;
        case stAfterStep:
            if (c == u'/') {
                if (int error = nextStep())
                    return fail(error);
            } else if (c == u'[') {
                openGroup(i);
            }
            break;
        case stIndex:
            if (c == u']') {
                step.xeTagPos = IndexValue(indexText);
                if (step.xeTagPos == -1)
                    return fail(position);
                state = stAfterStep;
            } else {
                indexText += c;
            }
            break;
        case stGroup:
            if (c == u']') {
                state = stAfterStep;
                break;
            }
            if (c == u'"')
                state = stQuotes;
            step.xeAttributes.back().xaDefinition += c;
            break;
        case stQuotes:
            if (c == u'"')
                state = stGroup;
            step.xeAttributes.back().xaDefinition += c;
            break;
        }
    }
    // An open group, and an index never closed ("a[2"), are both malformed.
    if (state == stGroup || state == stQuotes || state == stIndex)
        return fail(length);
    if (int error = ParseDefinitions(elements.back()))
        return fail(error);
    return 0;
}

std::u16string XPathSyntaxErrorText(std::u16string_view path, int position) {
    return FormatTolerant(VeldarMessage(vmInvalidXPathSyntax), {path, position},
                          TMissingValue::StaysVisible);
}

void GetXPathElements(std::u16string_view path, std::vector<TXPathElement>& elements,
                      TErrorDetailAllowedSet governing) {
    if (int position = ParseXPath(path, elements))
        RaiseDocumentError(XPathSyntaxErrorText(path, position), u"GetXPathElements", governing);
}

bool HasContextPredicate(const TXPathElement& step, std::u16string_view contextAttributeID) {
    for (const TXPathAttribute& attr : step.xeAttributes)
        if (attr.xaAttributeID == contextAttributeID)
            return true;
    return false;
}

bool SameNameIgnoringCase(std::u16string_view a, std::u16string_view b) {
    return SameTextIgnoreCase(a, b);
}

} // namespace orvex
