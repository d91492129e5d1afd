#pragma once
// The XML library's message table. Texts are fixed English and are raised as
// they stand; "%s" is filled with FormatTolerant (base/TextFormat.h).
// The number after a text is its id in the program's string table (65184-65231)
// where the id is fixed.
//
// Exception classes (XmlErrors.h): EXmlError for value conversions and names,
// EFilerError for structure, parse and binary-data errors, EStreamError for
// the encoding and buffered streams.

#include <string_view>

namespace orvex {

// Value conversions and names (EXmlError).
inline constexpr std::string_view sxCannotConvertFloat = "Cannot convert value to float"; // 65184
inline constexpr std::string_view sxSignificantDigitsOutOfRange =
    "Significant digits out of range"; // 65185
inline constexpr std::string_view sxCannotConvertBool = "Cannot convert value to bool"; // 65215
inline constexpr std::string_view sxIllegalNodeNameChar =
    "Illegal character in node name \"%s\""; // 65229
inline constexpr std::string_view sxNotAnInteger = "'%s' is not a valid integer value";
inline constexpr std::string_view sxNotADate = "'%s' is not a valid date and time";
inline constexpr std::string_view sxDateOutOfRange = "Date and time value out of range";
inline constexpr std::string_view sxNodeUnderItself =
    "Cannot add node \"%s\" under itself or its own descendant";

// Structure and binary data (EFilerError).
inline constexpr std::string_view sxErrorCalcStreamLength =
    "Error while calculating streamlength"; // 65222
inline constexpr std::string_view sxMissingDataInBinaryStream =
    "Missing data in binary stream"; // 65223
inline constexpr std::string_view sxMissingElementName = "Missing element name"; // 65224
inline constexpr std::string_view sxIllegalCharInBinaryStream =
    "Illegal character in binary stream";
inline constexpr std::string_view sxRecursiveEntity = "Entity \"%s\" refers to itself";
inline constexpr std::string_view sxEntityTooLarge = "Entity \"%s\" expands too far";
inline constexpr std::string_view sxEntityTooLong =
    "Entity \"%s\" expands into over %s bytes of text";
inline constexpr std::string_view sxIllegalElementType = "Illegal element type";
inline constexpr std::string_view sxRootElementNotDefined = "XML root element not defined.";

// Parser (EFilerError).
inline constexpr std::string_view sxMissingCloseTag = "Missing close tag in element %s";
inline constexpr std::string_view sxMissingDataAfterLessThan =
    "Missing data after \"<\" in element %s";
inline constexpr std::string_view sxMissingGreaterThanInCloseTag =
    "Missing \">\" in close tag of element %s";
inline constexpr std::string_view sxIncorrectCloseTag = "Incorrect close tag in element %s";
inline constexpr std::string_view sxNoRootElement = "No root element found in xml";
inline constexpr std::string_view sxMoreThanOneRootElement =
    "More than one root element found in xml";
inline constexpr std::string_view sxMoreThanOneDeclaration =
    "More than one xml declaration found in xml";
inline constexpr std::string_view sxDeclarationMustBeFirst = "Xml declaration must be first element";
inline constexpr std::string_view sxMoreThanOneDoctype =
    "More than one doctype declaration found in root";
inline constexpr std::string_view sxDoctypeAfterRoot = "Doctype declaration found after root element";
inline constexpr std::string_view sxNoCDataInRoot = "No CDATA allowed in root";

// Encoding and buffered streams (EStreamError).
inline constexpr std::string_view sxEncodingStreamUnassigned = "Encoding stream unassigned";
inline constexpr std::string_view sxUnsupportedEncoding = "Unsupported string encoding";
inline constexpr std::string_view sxCannotReadWhenWriting =
    "Cannot read from a conversion stream opened for writing";
inline constexpr std::string_view sxCannotWriteWhenReading =
    "Cannot write to an UTF stream opened for reading";
inline constexpr std::string_view sxCannotReadMultipleChars =
    "Cannot read multiple chars from conversion stream at once";
inline constexpr std::string_view sxCannotSeekCodec = "Cannot perform seek on codec stream";
inline constexpr std::string_view sxCannotSeekBeforeUse =
    "Cannot seek before reading or writing in conversion stream";
inline constexpr std::string_view sxCannotWriteToOutput = "Cannot write to output stream";

// UTF-16 document.
inline constexpr std::string_view sxUtf8EncodingRequired =
    "Encoding attribute of \"UTF-8\" required in ?xml tag";

} // namespace orvex
