#pragma once
// The restore of a backup's POP3 subtree onto the POP3 service of a machine.

#include "engine/TreeNodeData.h"
#include "platform/OleVariant.h"
#include "xml/WideXmlNode.h"

#include <string>
#include <string_view>

namespace orvex {

// Restores the checked part of the "Pop3 Service" element as node shows it: the
// service settings, the authentication method, the domains and their mailboxes.
// Values equal to the current ones are not written. A mailbox the restore has to
// create gets a random password, which is never logged. Failures are logged.
void RestorePopDirectory(std::u16string_view machine, std::u16string_view iisVersion, const TWideXmlNode& element,
                         const TTreeNode& node);

// The value of element's supported `Property` with this id as its type gives it;
// logs the "  Restore property: " line. False (nothing logged) when there is none.
// Raises "Unknown property type <type>", before any line, for a type that is not
// one of the file's value types (exact case).
bool ReadPopProperty(const TWideXmlNode& element, std::u16string_view id, TOleVariant& value);

// A fresh random mailbox password: 16 characters of letters, digits and signs.
std::u16string RandomMailboxPassword();

} // namespace orvex
