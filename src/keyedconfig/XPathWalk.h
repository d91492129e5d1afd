#pragma once
// Walking a parsed path over a node tree, and the path of a node. Written against a
// small set of node operations so the keyed document and the tests share one walk.

#include "base/NumberText.h"
#include "base/TextFormat.h"
#include "keyedconfig/VeldarErrors.h"
#include "keyedconfig/VeldarmarkMessages.h"
#include "keyedconfig/XPathText.h"

#include <concepts>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

// The node operations a walk needs. TNode is the node type.
// - ChildrenNamed(parent, name, list): list := the children named name (case ignored), in order
// - Attribute(node, name): the value, empty when absent; HasAttribute(node, name)
// - NewChild(parent, steps, stepIndex): a new child for steps[stepIndex] (the document
//   decides its place); SetAttribute(node, name, value)
// - Parent(node): the parent element, nullptr above the root element
// - Name(node); ChildCount(node); Child(node, index)
template <class T>
concept CXPathNodeOps =
    requires(T& ops, typename T::TNode* node, std::u16string_view text,
             std::vector<typename T::TNode*>& list, std::span<const TXPathElement> steps) {
        ops.ChildrenNamed(node, text, list);
        { ops.Attribute(node, text) } -> std::convertible_to<std::u16string_view>;
        { ops.HasAttribute(node, text) } -> std::convertible_to<bool>;
        { ops.NewChild(node, steps, size_t{}) } -> std::same_as<typename T::TNode*>;
        ops.SetAttribute(node, text, text);
        { ops.Parent(node) } -> std::same_as<typename T::TNode*>;
        { ops.Name(node) } -> std::convertible_to<std::u16string_view>;
        { ops.ChildCount(node) } -> std::convertible_to<int>;
        { ops.Child(node, 0) } -> std::same_as<typename T::TNode*>;
    };

// Finds, or with create makes, the node that steps address below current. On the last
// step, when the document has a context attribute and the step names none, nodes that
// carry the context attribute are passed over. Returns nullptr when a step finds
// nothing and create is false, or when current is nullptr.
template <CXPathNodeOps TOps>
typename TOps::TNode* WalkXPath(TOps& ops, typename TOps::TNode* current,
                                std::span<const TXPathElement> steps,
                                std::u16string_view contextAttributeID, bool create) {
    using TNode = typename TOps::TNode;
    if (!current || steps.empty())
        return current;
    const bool passOverContext =
        !contextAttributeID.empty() && !HasContextPredicate(steps.back(), contextAttributeID);
    std::vector<TNode*> candidates;
    for (size_t i = 0; i < steps.size() && current; ++i) {
        const TXPathElement& step = steps[i];
        const bool skipContext = passOverContext && i + 1 == steps.size();
        candidates.clear();
        ops.ChildrenNamed(current, step.xeTagName, candidates);
        if (step.xeTagPos != -1) {
            TNode* only = step.xeTagPos >= 1 && static_cast<size_t>(step.xeTagPos) <= candidates.size()
                              ? candidates[step.xeTagPos - 1]
                              : nullptr;
            candidates.clear();
            if (only)
                candidates.push_back(only);
        }
        TNode* found = nullptr;
        for (TNode* candidate : candidates) {
            bool qualifies = true;
            for (const TXPathAttribute& attr : step.xeAttributes)
                if (std::u16string_view(ops.Attribute(candidate, attr.xaAttributeID)) !=
                    attr.xaAttributeValue) {
                    qualifies = false;
                    break;
                }
            if (!qualifies || (skipContext && ops.HasAttribute(candidate, contextAttributeID)))
                continue;
            found = candidate;
            break;
        }
        if (!found && create) {
            found = ops.NewChild(current, steps, i);
            if (found)
                for (const TXPathAttribute& attr : step.xeAttributes)
                    ops.SetAttribute(found, attr.xaAttributeID, attr.xaAttributeValue);
        }
        current = found;
    }
    return current;
}

// Longest node path XPathOfNode builds before it gives up.
inline constexpr size_t kMaxXPathOfNodeLength = 1024;

// "/root/a/b[2]": element names from the root down, each with its 1-based place among
// siblings of exactly its name when two or more share it; "/" for nullptr. A path
// longer than kMaxXPathOfNodeLength raises 65167 naming the method "XPathOfNode".
template <CXPathNodeOps TOps>
std::u16string XPathOfNodeText(TOps& ops, typename TOps::TNode* node) {
    using TNode = typename TOps::TNode;
    if (!node)
        return u"/";
    std::u16string path;
    for (; node; node = ops.Parent(node)) {
        const std::u16string name(ops.Name(node));
        std::u16string step = name;
        if (TNode* parent = ops.Parent(node)) {
            int namesakes = 0;
            int place = 0;
            const int count = ops.ChildCount(parent);
            for (int i = 0; i < count; ++i) {
                TNode* sibling = ops.Child(parent, i);
                if (sibling && ops.Name(sibling) == name) {
                    ++namesakes;
                    if (sibling == node)
                        place = namesakes;
                }
            }
            if (namesakes >= 2)
                step += u"[" + IntToText(place) + u"]";
        }
        path.insert(0, u"/" + step);
        if (path.size() > kMaxXPathOfNodeLength)
            RaiseVeldarErrorFmt(VeldarMessage(vmXPathOfNodeTooLong), {path}, u"XPathOfNode", nullptr);
    }
    return path;
}

} // namespace orvex
