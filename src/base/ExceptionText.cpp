#include "base/ExceptionText.h"

#include "base/Utf.h"

namespace orvex {

ETextError::ETextError(std::u16string message)
    : std::runtime_error(Utf16ToUtf8(message)), FMessage(std::move(message)) {}

std::u16string ExceptionMessage(const std::exception& error) {
    if (const auto* text = dynamic_cast<const ETextError*>(&error))
        return text->Message();
    return Utf8ToUtf16(error.what());
}

} // namespace orvex
