#pragma once
// The XML library's exceptions. Texts are UTF-8 and come from the library's
// message table (XmlMessages.h).

#include <stdexcept>
#include <string>

namespace orvex {

// Value conversions and names.
class EXmlError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The encoding and buffered streams.
class EStreamError : public EXmlError {
public:
    using EXmlError::EXmlError;
};

// Structure, parse and binary-data errors.
class EFilerError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

} // namespace orvex
