#include "base/AsciiText.h"

namespace orvex {

bool SameAsciiText(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    if (EqualText(a, b))
        return true;  // names are mostly written alike
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

std::u16string AsciiUpperCase(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out)
        c = AsciiUpper(c);
    return out;
}

std::u16string AsciiLowerCase(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out)
        c = AsciiLower(c);
    return out;
}

} // namespace orvex
