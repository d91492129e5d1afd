#include "engine/TreeNodeData.h"

#include <algorithm>

namespace orvex {

namespace {

void CopyCut(char16_t (&target)[TreeNodeData::MaxText + 1], std::u16string_view text) {
    size_t length = std::min(text.size(), TreeNodeData::MaxText);
    // A high surrogate as the last unit would lose its partner.
    if (length < text.size() && length > 0 && text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF) --length;
    std::copy_n(text.data(), length, target);
    target[length] = 0;
}

} // namespace

TTreeNodeDataPtr NewTreeNodeData(std::u16string_view path, std::u16string_view className) {
    auto record = std::make_unique<TreeNodeData>();
    CopyCut(record->Path, path);
    CopyCut(record->ClassName, className);
    record->Checked = 0;
    record->PropertiesChecked = 0;
    return record;
}

void FreeTreeNodeData(TTreeNodeDataPtr& record) { record.reset(); }

} // namespace orvex
