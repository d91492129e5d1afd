#pragma once
// The backup file as a tree of check-mark nodes with a property list beside it:
// building the tree, its node texts, the property rows of a node, and the three
// check states with their propagation through the tree.

#include "wizard/CheckTreeWidget.h"
#include "xml/WideXmlNode.h"

#include <string>

class QTableWidget;

namespace orvex {

// A Machine shows its backupName; a web site (class IIsWebServer, any case)
// "Web Site: " and its siteName; any other SubDir "[" its path "]".
std::u16string NodeText(const TWideXmlNode& element);

// Adds a node (unchecked, its record from path and className) for every Machine
// and SubDir child of element, with its own children, below parent (top level
// when parent is nullptr).
void BuildBackupTree(TCheckTreeWidget& tree, TTreeItem* parent, const TWideXmlNode& element);

// Rebuilds the tree from the file BackupFileName, which is created as the empty
// skeleton when it does not exist, and selects the first node. A file that cannot
// be parsed or holds no Machines element raises the XML library's error and leaves
// the tree as it was.
void RefreshBackupTree(TCheckTreeWidget& tree);

// The rows of node's supported, non-inherited properties from the cached copy of
// fileName, the file node's tree was built from: id, type, value; a LIST property
// has an empty value and one row ("", "Item", value) per item after it. Empty when
// the node is not found.
void FillPropertyList(std::u16string_view fileName, TTreeItem* node, QTableWidget& list);

// Appends a row (id, type, value) to a property list.
void AppendRow(QTableWidget& list, const std::u16string& id, const std::u16string& type, const std::u16string& value);

// Deletes node with its descendants and their records.
void DeleteTreeNode(TTreeItem* node);

// Check states from (Checked, PropertiesChecked): (0, any) unchecked 0, (1, 1)
// checked 1, (1, 0) partly checked 3; the image index of ImageList1.
int NodeStateImage(const TreeNodeData& record);
// Shows the record's state on node (drawn only where the tree draws marks).
void ApplyImages(TTreeItem& node);
// Sets the record's flags and shows them.
void SetNodeState(TTreeItem& node, bool checked, bool propertiesChecked);
// Every descendant takes node's Checked with PropertiesChecked 1.
void SetChildrenChecked(TTreeItem& node);
// Each ancestor in turn: partly checked when a child is partly checked or only
// some are checked, unchecked when none is, checked when all are.
void UpdateParentState(TTreeItem& node);
// A checked node becomes unchecked, any other checked, with the propagation above.
void ToggleNodeCheck(TTreeItem& node);

} // namespace orvex
