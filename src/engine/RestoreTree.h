#pragma once
// The restore tree as the engine sees it, and the two dialogs a restore may show.
// The wizard implements both over its tree view and its dialog front ends.

#include "engine/TreeNodeData.h"

#include <string>
#include <string_view>

namespace orvex {

// The top-level nodes (one per backup) of the wizard's restore tree, in order.
class TRestoreTree {
public:
    virtual ~TRestoreTree() = default;
    virtual int TopLevelCount() const = 0;
    virtual TTreeNode* TopLevelNode(int index) const = 0;
};

// Buttons AskYesNoCancel answers with.
enum : int { mrNone = 0, mrCancel = 2, mrYes = 6, mrNo = 7 };

class TRestoreDialogs {
public:
    virtual ~TRestoreDialogs() = default;
    // The warning dialog front end ("MsgWarningOk").
    virtual void ShowWarning(const std::u16string& text) = 0;
    // The yes/no/cancel front end ("DialogYesNoCancel"): the button pressed.
    virtual int AskYesNoCancel(const std::u16string& text) = 0;
};

// Installs the dialogs (nullptr: a console answer, nothing shown and -1 returned).
// The caller keeps ownership and keeps them alive while installed.
void SetRestoreDialogs(TRestoreDialogs* dialogs);
TRestoreDialogs& RestoreDialogs();

// The node's record, or nullptr; the flags read as clear without one.
bool IsNodeChecked(const TTreeNode& node);
bool ArePropertiesChecked(const TTreeNode& node);
std::u16string NodePath(const TTreeNode& node);
std::u16string NodeClassName(const TTreeNode& node);

// Replaces the record's Path (cut at 255 units like NewTreeNodeData).
void SetNodePath(TreeNodeData& data, std::u16string_view path);

} // namespace orvex
