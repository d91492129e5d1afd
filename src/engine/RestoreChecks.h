#pragma once
// Checks of the selected part of a backup before a restore writes anything: an
// element that would reach a metabase key outside its place, or that stands for
// the same key as another element, is refused together with its subtree.

#include "engine/TreeNodeData.h"
#include "xml/WideXmlNode.h"

#include <string>
#include <string_view>
#include <unordered_set>

namespace orvex {

// Tree nodes that the restore leaves out, with everything below them.
using TRefusedNodes = std::unordered_set<const TTreeNode*>;

// The checked nodes below machineNode (the selected backup, shown by
// machineElement) that the restore must leave out, each after a red line naming it:
// - a key name (`path`) that is empty, "." or "..", or holds "/", "\" or a NUL;
// - two `SubDir` siblings with the same path (ignoring case): both of them;
// - a top-level element on a web site's key (a number, or a site of machine) whose
//   class is not IIsWebServer: it would slip past the site-conflict check.
// The POP3 and service-extension subtrees hold no metabase keys and are passed
// over. A backup whose own path is not "w3svc" is refused whole (machineNode is
// in the set).
TRefusedNodes CheckRestoreSelection(std::u16string_view machine, const TWideXmlNode& machineElement,
                                    const TTreeNode& machineNode);

// True when a metabase path ("/LM/W3SVC/1/../2/ROOT") holds a "." or ".." step.
bool HasDotSteps(std::u16string_view metabasePath);

} // namespace orvex
