#pragma once
// The POP3 service configuration of a machine into the backup file.

#include "platform/OleVariant.h"
#include "xml/WideXmlNode.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace orvex {

// Writes the "Pop3 Service" subtree under node (the `Machine` element). A machine
// without the service gets a black note and no subtree; other failures are logged
// in red and leave out the rest of the subtree.
void BackupPopDirectory(std::u16string_view machine, TWideXmlNode& node);

// One `Property` (Inherit "False") typed by the value's kind: integer "INTEGER",
// text "STRING", boolean "BOOLEAN", anything else "UNSUPPORTED".
void WriteVariantProperty(TWideXmlNode& node, std::u16string_view id, const TOleVariant& value);

// The log text of a failure to reach the POP3 service, read from the thread's last
// OS error (1008 and 997: not installed here or there) and the exception's text.
std::u16string Pop3ConnectFailureText(uint32_t osError, std::u16string_view message);

} // namespace orvex
