#pragma once
// The record on every node of the wizard's backup and restore trees, and the view
// of a tree node that the engine walks.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace orvex {

struct TreeNodeData {
    static constexpr size_t MaxText = 255;

    char16_t Path[MaxText + 1];       // the element's `path`, zero-terminated
    char16_t ClassName[MaxText + 1];  // the element's `className`, zero-terminated
    uint8_t Checked;                  // selected (restore: to be restored)
    uint8_t PropertiesChecked;        // 1 when fully selected or fully clear

    std::u16string_view PathText() const { return Path; }
    std::u16string_view ClassNameText() const { return ClassName; }
};

using TTreeNodeDataPtr = std::unique_ptr<TreeNodeData>;

// Both texts copied (a text longer than 255 units is cut there, never inside a
// surrogate pair), both flags 0.
TTreeNodeDataPtr NewTreeNodeData(std::u16string_view path, std::u16string_view className);
// Releases the record; the pointer is null afterwards.
void FreeTreeNodeData(TTreeNodeDataPtr& record);

// A node of a backup or restore tree, as the wizard shows it. The top-level node
// stands for a `Machine` element; its text is the backup name.
class TTreeNode {
public:
    virtual ~TTreeNode() = default;
    virtual std::u16string Text() const = 0;
    virtual TTreeNode* Parent() const = 0;  // nullptr for a top-level node
    virtual int ChildCount() const = 0;
    virtual TTreeNode* Child(int index) const = 0;
    virtual TreeNodeData* Data() const = 0;  // nullptr when none is attached
};

} // namespace orvex
