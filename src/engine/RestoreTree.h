#pragma once
// The restore tree as the engine sees it; the wizard implements it over its tree
// view.

#include "engine/TreeNodeData.h"
#include "support/Dialogs.h"

#include <string>
#include <string_view>

namespace orvex {

// The top-level nodes of the wizard's restore tree: node i shows the i-th
// `Machine` element of the backup file (a restore takes the checked one by place).
class TRestoreTree {
public:
    virtual ~TRestoreTree() = default;
    virtual int TopLevelCount() const = 0;
    virtual TTreeNode* TopLevelNode(int index) const = 0;
};

// The host's AskYesNoCancel answers with the dialog front ends' mrYes, mrNo and
// mrCancel, or with this when no choice was made.
inline constexpr int mrNone = 0;

// The node's record, or nullptr; the flags read as clear without one.
bool IsNodeChecked(const TTreeNode& node);
bool ArePropertiesChecked(const TTreeNode& node);
std::u16string NodePath(const TTreeNode& node);
std::u16string NodeClassName(const TTreeNode& node);

// Replaces the record's Path (cut at 255 units like NewTreeNodeData).
void SetNodePath(TreeNodeData& data, std::u16string_view path);

} // namespace orvex
