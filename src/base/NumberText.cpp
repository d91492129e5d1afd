#include "base/NumberText.h"

namespace orvex {

std::u16string HexToText(uint32_t value) {
    char digits[8];
    const auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
    return std::u16string(digits, end);
}

} // namespace orvex
