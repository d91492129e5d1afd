#pragma once
// Node keys: texts that name one element of the backup file ("Default/1/ROOT@@Path"),
// and the lookup of an element by backup name and metabase-style path.

#include "xml/WideXmlDocument.h"

#include <stdexcept>
#include <string>
#include <string_view>

namespace orvex {

// An element outside the node-key grammar ("Unknown type. type=Root").
class ENodeKeyError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Machines: ""; Machine: its backupName; SubDir: parent key + "/" + path;
// Property: parent key + "@@" + id; Item: its Property's key + "@@Item".
std::u16string GetNodeKey(const TWideXmlNode& element);

// The element of backup backupName at path ("w3svc/1/ROOT"; a leading "w3svc" step
// names the `Machine` itself, "" too). nullptr, after a black line naming the
// backup or the part of the path walked, when there is none.
TWideXmlNode* FindBackupNode(TWideXmlDocument& document, std::u16string_view backupName, std::u16string_view path);

} // namespace orvex
