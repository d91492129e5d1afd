#pragma once
// Enumerations shared by the node, the parser, the writer and the document.

#include <cstdint>

namespace orvex {

// Node kinds; the order is stored nowhere but is kept as the library defines it.
enum TXmlElementType : uint8_t {
    xeNormal,
    xeComment,
    xeCData,
    xeDeclaration,
    xeStylesheet,
    xeDoctype,
    xeElement,
    xeAttList,
    xeEntity,
    xeNotation,
    xeExclam,
    xeQuestion,
    xeCharData,
    xeUnknown,
};

// xfReadable: indentation and CR LF line ends; xfCompact: neither.
enum TXmlFormatType : uint8_t { xfReadable, xfCompact };

enum TBinaryEncodingType : uint8_t { xbeBinHex, xbeBase64 };

// Days since 1899-12-30; the fraction is the time of day.
using TDateTime = double;

} // namespace orvex
