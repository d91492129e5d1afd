#include "xml/XmlMessages.h"

namespace orvex {

std::string FormatXmlMessage(std::string_view message, std::string_view argument) {
    std::string text(message);
    const size_t at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, argument);
    return text;
}

} // namespace orvex
