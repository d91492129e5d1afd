#pragma once
// Exceptions that carry their text as UTF-16, and the one way to read the text
// of any exception for messages and log lines.

#include <exception>
#include <stdexcept>
#include <string>

namespace orvex {

// Base of the exceptions whose text is UTF-16 (OLE errors, the keyed library's
// errors); what() holds the same text in UTF-8.
class ETextError : public std::runtime_error {
public:
    explicit ETextError(std::u16string message);
    const std::u16string& Message() const { return FMessage; }

private:
    std::u16string FMessage;
};

// The text of an exception: an ETextError's message, else what() read as UTF-8.
std::u16string ExceptionMessage(const std::exception& error);

} // namespace orvex
