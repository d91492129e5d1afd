#pragma once
// The keyed document's lookups: ZNode, ZNodeCommon and ZCNodeCommon with their
// root, start-node and context rules, over the node operations of XPathWalk.h plus
// Root(), the document's root element, and MapOntoSummary(start, absolute, steps),
// which ties the steps to a summary schema when the document has one.

#include "base/AsciiText.h"
#include "base/TextFormat.h"
#include "keyedconfig/XPathWalk.h"

#include <string>
#include <string_view>
#include <vector>

namespace orvex {

template <class T>
concept CXPathDocumentOps =
    CXPathNodeOps<T> && requires(T& ops, typename T::TNode* node, std::vector<TXPathElement>& steps) {
        { ops.Root() } -> std::same_as<typename T::TNode*>;
        ops.MapOntoSummary(node, true, steps);
    };

// What the last lookup found; every lookup resets it first.
template <class TNode>
struct TXPathLookupState {
    TNode* LastNode = nullptr;
    bool LastNodeAttrFound = false;
    TContextUsage LastNodeContextUsage = cxOptional;
    bool LastNodeContextUsed = false;
    std::u16string LastNodeContextValue;
    std::u16string LastNodeSelectAttrID;

    void Reset() { *this = TXPathLookupState(); }
};

// One document's lookups: binds its node operations, context attribute, error
// detail and last-lookup state for the duration of a call.
template <CXPathDocumentOps TOps>
class TXPathLookup {
public:
    using TNode = typename TOps::TNode;

    TXPathLookup(TOps& ops, std::u16string_view contextAttributeID, TErrorDetailAllowedSet governing,
                 TXPathLookupState<TNode>& state)
        : FOps(ops), FContextAttributeID(contextAttributeID), FGoverning(governing), FState(state) {}

    // Joins the pieces; cxNone looks the path up plainly, any other usage with the
    // context value.
    TNode* ZNode(TNode* start, std::span<const TPiece> pieces, TContextUsage usage,
                 std::u16string_view contextValue, bool create) {
        const std::u16string path = BuildXPathFromPieces(pieces, FGoverning);
        if (usage == cxNone)
            return ZNodeCommon(start, path, create);
        return ZCNodeCommon(start, path, usage, contextValue, create);
    }

    // Finds or creates the node of a path text: relative to start, or from the root
    // element when start is nullptr ("/root/..." names the root first).
    TNode* ZNodeCommon(TNode* start, std::u16string_view xpath, bool create) {
        FState.Reset();
        TNode* current = start;
        bool absolute = false;
        std::u16string_view path = xpath;
        if (start) {
            if (!path.empty() && path[0] == u'/')
                Raise(FormatTolerant(VeldarMessage(vmRelativeXPathRequired), {path},
                                     TMissingValue::StaysVisible),
                      u"ZNodeCommon");
            if (!path.empty() && path[0] == u'[')
                Raise(XPathSyntaxErrorText(path, 1), u"ZNodeCommon");
        } else {
            current = FOps.Root();
            if (!path.empty() && path[0] == u'/') {
                path.remove_prefix(1);
                absolute = true;
            }
        }
        std::vector<TXPathElement> steps;
        GetXPathElementsEx(start, path, absolute, steps);
        if (!current)
            return nullptr;
        std::span<const TXPathElement> walk(steps);
        if (absolute && !steps.empty()) {
            const std::u16string rootName(FOps.Name(current));
            if (!SameAsciiText(steps[0].xeTagName, rootName))
                Raise(FormatTolerant(VeldarMessage(vmInvalidRequestedRoot),
                                     {steps[0].xeTagName, rootName, FullXPath(start, xpath)},
                                     TMissingValue::StaysVisible),
                      u"ZNodeCommon");
            walk = walk.subspan(1);
        }
        TNode* result = WalkXPath(FOps, current, walk, FContextAttributeID, create);
        if (result)
            FState.LastNode = result;
        return result;
    }

    // The lookup with the context attribute: the node whose context attribute holds
    // contextValue, else (cxOptional) the node without it; cxRequired with create
    // makes the node with it. An empty context value is no context: the plain node
    // is looked up (and created when asked) and no context counts as used.
    TNode* ZCNodeCommon(TNode* start, std::u16string_view xpath, TContextUsage usage,
                        std::u16string_view contextValueIn, bool create) {
        // A copy: the caller may pass LastNodeContextValue, which the lookups reset.
        const std::u16string contextValue(contextValueIn);
        if (xpath.empty() && usage != cxNone)
            Raise(FormatTolerant(VeldarMessage(vmBlankXPathWithContext),
                                 {XPathOfNode(start), ContextUsageWord(usage)},
                                 TMissingValue::StaysVisible),
                  u"ZCNodeCommon");
        const std::u16string contextPiece = u"@" + std::u16string(FContextAttributeID);
        TNode* result = nullptr;
        bool contextUsed = false;
        if (contextValue.empty()) {
            result = ZNodeCommon(start, xpath, false);
            if (!result && (usage == cxOptional || create))
                result = ZNodeCommon(start, xpath, create);
        } else {
            const TPiece pieces[] = {xpath, contextPiece, contextValue};
            result = ZNode(start, pieces, cxNone, {}, false);
            contextUsed = result != nullptr;
            if (!result && usage == cxOptional) {
                result = ZNodeCommon(start, xpath, create);
            } else if (!result && usage == cxRequired && create) {
                result = ZNodeCommon(start, BuildXPathFromPieces(pieces, FGoverning), true);
                contextUsed = result != nullptr;
            }
        }
        FState.LastNodeContextUsed = contextUsed;
        FState.LastNodeContextUsage = usage;
        FState.LastNodeContextValue = contextValue;
        if (result)
            FState.LastNode = result;
        return result;
    }

    // Parses a path and ties its steps to the summary schema, if any.
    void GetXPathElementsEx(TNode* start, std::u16string_view xpath, bool absolute,
                            std::vector<TXPathElement>& steps) {
        GetXPathElements(xpath, steps, FGoverning);
        FOps.MapOntoSummary(start, absolute, steps);
    }

    std::u16string XPathOfNode(TNode* node) { return XPathOfNodeText(FOps, node); }

    // The absolute path of start joined with xpath, for messages.
    std::u16string FullXPath(TNode* start, std::u16string_view xpath) {
        std::u16string path = XPathOfNode(start);
        while (!xpath.empty() && xpath[0] == u'/')
            xpath.remove_prefix(1);
        if (xpath.empty())
            return path;
        if (path.back() != u'/')
            path += u'/';
        return path + std::u16string(xpath);
    }

private:
    [[noreturn]] void Raise(const std::u16string& msg, std::u16string_view method) {
        RaiseDocumentError(msg, method, FGoverning);
    }

    TOps& FOps;
    std::u16string_view FContextAttributeID;
    TErrorDetailAllowedSet FGoverning;
    TXPathLookupState<TNode>& FState;
};

} // namespace orvex
