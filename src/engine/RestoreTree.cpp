#include "engine/RestoreTree.h"

#include <algorithm>

namespace orvex {

bool IsNodeChecked(const TTreeNode& node) {
    const TreeNodeData* data = node.Data();
    return data && data->Checked;
}

bool ArePropertiesChecked(const TTreeNode& node) {
    const TreeNodeData* data = node.Data();
    return data && data->PropertiesChecked;
}

std::u16string NodePath(const TTreeNode& node) {
    const TreeNodeData* data = node.Data();
    return data ? std::u16string(data->PathText()) : std::u16string();
}

std::u16string NodeClassName(const TTreeNode& node) {
    const TreeNodeData* data = node.Data();
    return data ? std::u16string(data->ClassNameText()) : std::u16string();
}

void SetNodePath(TreeNodeData& data, std::u16string_view path) {
    size_t length = std::min(path.size(), TreeNodeData::MaxText);
    // Never leave half a surrogate pair at the cut.
    if (length < path.size() && length > 0 && path[length - 1] >= 0xD800 && path[length - 1] <= 0xDBFF) --length;
    std::copy_n(path.data(), length, data.Path);
    data.Path[length] = 0;
}

} // namespace orvex
