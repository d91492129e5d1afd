#pragma once
// The keyed document's path language as plain text: joining pieces into a path,
// parsing a path into steps with predicates and indexes, and the context rules.
// Node walking lives in XPathWalk.h; nothing here touches a document.

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "keyedconfig/VeldarErrors.h"

namespace orvex {

class TWideXmlNode;

// How a lookup uses the document's context attribute.
enum TContextUsage : int { cxNone = 0, cxOptional = 1, cxRequired = 2 };

// "cxNone", "cxOptional" or "cxRequired", as messages show it.
std::u16string_view ContextUsageWord(TContextUsage usage);

// One piece of a path given as a list: a text, an integer, a Boolean, a character or
// a floating-point number. Text pieces refer to the caller's strings, which must
// outlive the call that joins them.
class TPiece {
public:
    TPiece(std::u16string_view text) : FKind(pkText), FText(text) {}
    TPiece(const char16_t* text) : FKind(pkText), FText(text ? text : u"") {}
    TPiece(const std::u16string& text) : FKind(pkText), FText(text) {}
    TPiece(bool value) : FKind(pkBool), FInteger(value) {}
    TPiece(char16_t value) : FKind(pkChar), FInteger(value) {}
    TPiece(double value) : FKind(pkFloat), FFloat(value) {}
    template <std::integral T>
        requires(!std::same_as<T, bool> && !std::same_as<T, char16_t> && !std::same_as<T, char> &&
                 !std::same_as<T, char8_t> && !std::same_as<T, char32_t> &&
                 !std::same_as<T, wchar_t>)
    TPiece(T value) : FKind(pkInteger), FInteger(static_cast<int64_t>(value)) {}

    // The piece as text: decimal integers, "True"/"False", the character itself,
    // floats with up to 15 significant digits ("3.5", "1E20"), never locale-dependent.
    std::u16string ToText() const;

private:
    enum TKind { pkText, pkInteger, pkBool, pkChar, pkFloat };
    TKind FKind;
    std::u16string_view FText;
    int64_t FInteger = 0;
    double FFloat = 0;
};

// "[@Name="Value"]". The value goes in unchanged.
std::u16string AttributePredicateText(std::u16string_view name, std::u16string_view value);

// Joins pieces into a path: a piece "@name" makes the next piece that value's
// predicate (an empty value included: [@name=""]); other empty pieces are skipped;
// steps are joined by "/" (one trailing "/" of a piece dropped); a first step that
// begins with "/" makes the path absolute. A value holding a double quote could end
// its predicate early, so it raises the syntax error (65166) at that quote's place
// in the joined path; governing decides whether the method name shows.
std::u16string BuildXPathFromPieces(std::span<const TPiece> pieces,
                                    TErrorDetailAllowedSet governing = {});
inline std::u16string BuildXPathFromPieces(std::initializer_list<TPiece> pieces,
                                           TErrorDetailAllowedSet governing = {}) {
    return BuildXPathFromPieces(std::span<const TPiece>(pieces.begin(), pieces.size()), governing);
}

// An attribute predicate of a step.
struct TXPathAttribute {
    std::u16string xaDefinition;  // raw text from its "@" up to the closing "]"
    int xaDefinitionStartAt = 0;  // 1-based place of the definition in the path
    std::u16string xaAttributeID; // name without "@"
    std::u16string xaAttributeValue;
};

// One step of a parsed path.
struct TXPathElement {
    std::u16string xeTagName;
    int xeTagPos = -1; // 1-based from "[n]"; -1 when the step has none
    std::vector<TXPathAttribute> xeAttributes;
    TWideXmlNode* xeXsdSummaryParentNode = nullptr;
    int xeXsdSummaryChildIndex = -1;
};

// Parses a path into steps. Returns 0 on success, otherwise the 1-based position
// of the syntax error (elements then empty). An empty path gives no steps.
// Element names are 0-9, A-Z, a-z, "_" (and surrogate halves); "[n]" is an index
// and "[@name='v']" or [@name="v"] a predicate, one per bracket group. Also
// refused: a step without a name ("a//b"), an index never closed ("a[2"), a value
// holding its own quote, and attribute names with blanks, quotes, "/", "[", "]",
// "<", ">", "&" or control characters.
int ParseXPath(std::u16string_view path, std::vector<TXPathElement>& elements);

// ParseXPath that raises 65166 (path, position) with the method name
// "GetXPathElements" on a syntax error.
void GetXPathElements(std::u16string_view path, std::vector<TXPathElement>& elements,
                      TErrorDetailAllowedSet governing = {});

// The text of message 65166 for a path and a 1-based position.
std::u16string XPathSyntaxErrorText(std::u16string_view path, int position);

// True when one of the step's predicates names the context attribute (exact match).
bool HasContextPredicate(const TXPathElement& step, std::u16string_view contextAttributeID);

// Equality of names ignoring case, as element names of a document compare.
bool SameNameIgnoringCase(std::u16string_view a, std::u16string_view b);

} // namespace orvex
