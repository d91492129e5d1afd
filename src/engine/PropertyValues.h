#pragma once
// Metabase property values to and from their `Property` elements in the backup file.

#include "engine/PropertyElement.h"
#include "platform/OleVariant.h"

#include <string_view>

namespace orvex {

// The file form of value under type (compared exactly: "STRING", "EXPANDSZ",
// "BINARY", "INTEGER", "BOOLEAN", "LIST", "IPSEC"; anything else "UNSUPPORTED" with
// an empty value). An empty variant gives the type with an empty value and no items
// (secret values). A value of a kind the type cannot take raises.
TPropertyText PropertyValueToText(std::u16string_view type, const TOleVariant& value);
// The same into text, whose memory is reused. A value that raises leaves text
// holding anything.
void PropertyValueToText(std::u16string_view type, const TOleVariant& value, TPropertyText& text);

// Converts first, then writes the `Property` element (PropertyElement.h): a failed
// conversion raises and leaves parent untouched.
TWideXmlNode& WritePropertyNode(TWideXmlNode& parent, std::u16string_view id, std::u16string_view type,
                                const TOleVariant& value, bool isInherit);
TWideXmlNode& WritePropertyNode(TPropertyIndex& index, std::u16string_view id, std::u16string_view type,
                                const TOleVariant& value, bool isInherit);
// A new element appended to index's parent without looking for one of its id: for
// a caller that knows the parent holds none, and looks none up later.
TWideXmlNode& AppendPropertyNode(TPropertyIndex& index, std::u16string_view id, std::u16string_view type,
                                 const TOleVariant& value, bool isInherit);

// An array of the pieces of a BINARY text (PropertyText.h: TextToBinary).
TOleVariant TextToBinaryValue(std::u16string_view text);

// An array of the `value` of every child of propertyNode, in order; an empty text
// without a node.
TOleVariant ReadListItems(const TWideXmlNode* propertyNode);

// The value a restore writes with "Put": text for "STRING" and "EXPANDSZ", an
// array for "BINARY" and "LIST", an integer for "INTEGER" (EPropertyValueError for
// a text that is none), a boolean for "BOOLEAN", an empty text for anything else.
TOleVariant TextToPropertyValue(std::u16string_view type, std::u16string_view valueText,
                                const TWideXmlNode* propertyNode);

// Writes an "IPSEC" element's value to the object's "IPSecurity", then "SetInfo".
void WriteIPSecurityToObject(const TOleVariant& object, const TWideXmlNode& propertyNode);

} // namespace orvex
