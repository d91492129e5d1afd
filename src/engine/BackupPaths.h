#pragma once
// Paths of backup elements and tree nodes: the metabase path ("w3svc/1/ROOT") and
// the display path of log lines ("\Default Web Site\ROOT").

#include "engine/TreeNodeData.h"
#include "xml/WideXmlNode.h"

#include <string>

namespace orvex {

struct TBackupPath {
    std::u16string BackupName;
    std::u16string Path;
};

// The node's `Path` behind the `Path` of every ancestor, "/"-separated; the backup
// name is the text of the top-level node. A node without a record adds nothing.
TBackupPath GetTreeNodeADsPath(const TTreeNode& node);
std::u16string GetTreeNodeADsPathOnly(const TTreeNode& node);

// The element's `path` behind the non-empty `path` of each ancestor up to the
// `Machine` element, whose backupName is the backup name. An element outside any
// `Machine` gives the path up to the top of the document and no backup name.
TBackupPath GetXmlNodeADsPath(const TWideXmlNode& element);
std::u16string GetXmlNodeADsPathOnly(const TWideXmlNode& element);

// first + second when first is "\", else first + "\" + second.
std::u16string JoinBackslash(std::u16string_view first, std::u16string_view second);

// "\" for a `Machine` element or one without parent; otherwise the parent's display
// path joined with the element's siteName (class IIsWebServer) or path.
std::u16string GetDisplayPath(const TWideXmlNode& element);

} // namespace orvex
