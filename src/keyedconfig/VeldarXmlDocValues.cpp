// TVeldarXmlDoc: typed reads and writes by pieces, and document variables.

#include "base/ExceptionText.h"
#include "base/TextFormat.h"
#include "keyedconfig/VeldarXmlDoc.h"

#include <exception>

namespace orvex {

namespace {

bool Contains(std::u16string_view text, std::u16string_view part) {
    return text.find(part) != std::u16string_view::npos;
}

// Calls visit(node) for every element of the subtree, the top one included,
// without recursion; stops early when visit returns true.
template <class TVisit>
bool AnyElement(TWideXmlNode* top, TVisit visit) {
    std::vector<TWideXmlNode*> pending{top};
    while (!pending.empty()) {
        TWideXmlNode* node = pending.back();
        pending.pop_back();
        if (node->ElementType() != xeNormal)
            continue;
        if (visit(node))
            return true;
        for (int i = node->NodeCount() - 1; i >= 0; --i)
            pending.push_back(node->Nodes(i));
    }
    return false;
}

bool HasElementChildren(const TWideXmlNode* node) {
    for (int i = 0; i < node->NodeCount(); ++i)
        if (node->Nodes(i)->ElementType() == xeNormal)
            return true;
    return false;
}

} // namespace

// --- Typed access ---

TVeldarVariant TVeldarXmlDoc::ZNodeAttr(TWideXmlNode* startNode, std::span<const TPiece> xpath,
                                        TContextUsage contextUsage, const TVeldarVariant& fallback,
                                        std::u16string_view attrName) {
    TWideXmlNode* node = ZNode(startNode, xpath, contextUsage, false);
    if (!node)
        return fallback;
    FLast.LastNodeAttrFound = node->HasAttribute(attrName);
    if (!FLast.LastNodeAttrFound)
        return fallback;
    return ConvertedText(startNode, xpath, node, node->AttributeByName(attrName), fallback, attrName);
}

TVeldarVariant TVeldarXmlDoc::ZNodeValue(TWideXmlNode* startNode, std::span<const TPiece> xpath,
                                         TContextUsage contextUsage, const TVeldarVariant& fallback) {
    TWideXmlNode* node = ZNode(startNode, xpath, contextUsage, false);
    if (!node)
        return fallback;
    return ConvertedText(startNode, xpath, node, node->ValueAsString(), fallback, {});
}

TVeldarVariant TVeldarXmlDoc::ConvertedText(TWideXmlNode* startNode, std::span<const TPiece> xpath,
                                            TWideXmlNode* node, std::u16string_view text,
                                            const TVeldarVariant& fallback, std::u16string_view attrName) {
    std::u16string error;
    TVeldarVariant value = TextToVariantOfType(ExpandVarsIn(text, node), fallback.VarType(), error);
    if (error.empty())
        return value;
    const std::u16string where = FullXPath(startNode, BuildXPathFromPieces(xpath, ErrorDetailAllowed()));
    FWarnings.push_back(
        attrName.empty()
            ? FormatTolerant(VeldarMessage(vmErrorReadingNodeValue), {where, error}, TMissingValue::StaysVisible)
            : FormatTolerant(VeldarMessage(vmErrorReadingAttributeValue), {attrName, where, error},
                             TMissingValue::StaysVisible));
    return fallback;
}

bool TVeldarXmlDoc::ZNodeAttrSave(TWideXmlNode* startNode, std::span<const TPiece> xpath,
                                  TContextUsage contextUsage, const TVeldarVariant& value,
                                  std::u16string_view attrName, bool create) {
    return SaveAt(startNode, xpath, contextUsage, create,
                  u"Error saving node attribute using method \"ZNodeAttrSave\":",
                  [&](TWideXmlNode& node) { node.SetAttributeByName(attrName, value.ToText()); });
}

bool TVeldarXmlDoc::ZNodeValueSave(TWideXmlNode* startNode, std::span<const TPiece> xpath,
                                   TContextUsage contextUsage, const TVeldarVariant& value,
                                   bool create) {
    return SaveAt(startNode, xpath, contextUsage, create,
                  u"Error saving node value using method \"ZNodeValueSave\":",
                  [&](TWideXmlNode& node) { node.SetValueAsString(value.ToText()); });
}

bool TVeldarXmlDoc::SaveAt(TWideXmlNode* startNode, std::span<const TPiece> xpath, TContextUsage contextUsage,
                           bool create, std::u16string_view failureText,
                           const std::function<void(TWideXmlNode&)>& write) {
    try {
        TWideXmlNode* node = ZNode(startNode, xpath, contextUsage, create);
        if (!node)
            return false;
        write(*node);
        if (create && contextUsage != cxNone)
            MoveContextAttributeLast(node, FContextAttributeID);
        return true;
    } catch (const std::exception& e) {
        FLastError = std::u16string(failureText) + ExceptionMessage(e);
        return false;
    }
}

// --- Variables ---

bool TVeldarXmlDoc::VarGetDelimiters(std::u16string& beginDelim, std::u16string& endDelim) {
    beginDelim.clear();
    endDelim.clear();
    if (TWideXmlNode* variables = ZNode(nullptr, {u"Variables"}, cxNone, false)) {
        beginDelim = variables->AttributeByName(u"begin");
        endDelim = variables->AttributeByName(u"end");
    }
    return !beginDelim.empty() && !endDelim.empty();
}

std::u16string TVeldarXmlDoc::VarValue(std::u16string_view varName) {
    // A name with a double quote cannot be a variable's: it could not stand in a path.
    if (Contains(varName, u"\""))
        return {};
    TWideXmlNode* var = ZNode(nullptr, {u"Variables", u"Var", u"@name", varName}, cxNone, false);
    return var ? var->AttributeByName(u"value") : std::u16string();
}

std::u16string TVeldarXmlDoc::ExpandVarsIn(std::u16string_view value, TWideXmlNode*) {
    // Variable lookups overwrite the last-lookup facts the caller may still need.
    const TXPathLookupState<TWideXmlNode> saved = FLast;
    std::u16string beginDelim, endDelim;
    std::u16string result(value);
    if (VarGetDelimiters(beginDelim, endDelim)) {
        std::u16string_view rest = value;
        for (;;) {
            const size_t begin = rest.find(beginDelim);
            if (begin == std::u16string_view::npos)
                break;
            // Looked for after the begin delimiter, so a stray end delimiter before it,
            // or an end delimiter equal to the begin one, does not stop the expansion.
            const size_t nameAt = begin + beginDelim.size();
            const size_t end = rest.find(endDelim, nameAt);
            if (end == std::u16string_view::npos)
                break;
            const std::u16string_view name = rest.substr(nameAt, end - nameAt);
            const std::u16string replacement = VarValue(name);
            if (!replacement.empty()) {
                const std::u16string reference = beginDelim + std::u16string(name) + endDelim;
                const size_t at = result.find(reference);
                if (at != std::u16string::npos)
                    result.replace(at, reference.size(), replacement);
            }
            rest = rest.substr(end + endDelim.size());
        }
    }
    FLast = saved;
    return result;
}

bool TVeldarXmlDoc::VarIsInUse(TWideXmlNode* parentNode, std::u16string_view varName) {
    std::u16string beginDelim, endDelim;
    if (!VarGetDelimiters(beginDelim, endDelim))
        return false;
    TWideXmlNode* top = parentNode ? parentNode : Root();
    if (!top)
        return false;
    const std::u16string reference = beginDelim + std::u16string(varName) + endDelim;
    return AnyElement(top, [&](TWideXmlNode* node) {
        for (int i = 0; i < node->AttributeCount(); ++i)
            if (Contains(node->AttributeValue(i), reference))
                return true;
        return !HasElementChildren(node) && Contains(node->ValueAsString(), reference);
    });
}

bool TVeldarXmlDoc::VarDelimitersInUse() {
    std::u16string beginDelim, endDelim;
    if (!VarGetDelimiters(beginDelim, endDelim) || !Root())
        return false;
    TWideXmlNode* variables = ZNode(nullptr, {u"Variables"}, cxNone, false);
    auto holdsBoth = [&](std::u16string_view text) {
        return Contains(text, beginDelim) && Contains(text, endDelim);
    };
    return AnyElement(Root(), [&](TWideXmlNode* node) {
        for (int i = 0; i < node->AttributeCount(); ++i) {
            // The delimiters' own attributes are their definition, not a use of them.
            if (node == variables && (node->AttributeName(i) == u"begin" || node->AttributeName(i) == u"end"))
                continue;
            if (holdsBoth(node->AttributeValue(i)))
                return true;
        }
        return !HasElementChildren(node) && holdsBoth(node->ValueAsString());
    });
}

bool TVeldarXmlDoc::SaveVarDelimiters(std::u16string_view beginDelimiter,
                                      std::u16string_view endDelimiter) {
    std::u16string oldBegin, oldEnd;
    VarGetDelimiters(oldBegin, oldEnd);
    if (oldBegin == beginDelimiter && oldEnd == endDelimiter)
        return true;
    if (VarDelimitersInUse()) {
        FLastError = FormatTolerant(VeldarMessage(vmVarDelimitersInUse),
                                    {beginDelimiter, endDelimiter, oldBegin, oldEnd},
                                    TMissingValue::StaysVisible);
        return false;
    }
    TWideXmlNode* variables = ZNode(nullptr, {u"Variables"}, cxNone, true);
    if (!variables)
        return false;
    variables->SetAttributeByName(u"begin", beginDelimiter);
    variables->SetAttributeByName(u"end", endDelimiter);
    MoveNodeToFront(variables);
    return true;
}

bool TVeldarXmlDoc::SaveVar(TWideXmlNode* parentNode, std::u16string_view varName,
                            std::u16string_view value) {
    std::u16string beginDelim, endDelim;
    if (!VarGetDelimiters(beginDelim, endDelim)) {
        FLastError = FormatTolerant(VeldarMessage(vmVarDelimitersUndefined), {varName},
                                    TMissingValue::StaysVisible);
        return false;
    }
    TWideXmlNode* var = ZNode(parentNode, {u"Variables", u"Var", u"@name", varName}, cxNone, true);
    if (!var)
        return false;
    var->SetAttributeByName(u"value", value);
    MoveNodeToFront(var->Parent());
    return true;
}

bool TVeldarXmlDoc::DeleteVar(TWideXmlNode* parentNode, std::u16string_view varName) {
    TWideXmlNode* var = ZNode(parentNode, {u"Variables", u"Var", u"@name", varName}, cxNone, false);
    if (!var)
        return true;
    if (VarIsInUse(parentNode, varName)) {
        FLastError = FormatTolerant(VeldarMessage(vmVarInUse), {varName, XPathOfNode(parentNode)},
                                    TMissingValue::StaysVisible);
        return false;
    }
    var->Delete();
    return true;
}

} // namespace orvex
