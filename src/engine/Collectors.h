#pragma once
// The lists of the check-path and check-IP dialogs: lines of node key, "=" and
// value, gathered from the selected backup in BackupFileName.

#include "engine/RestoreTree.h"

#include <string>
#include <vector>

namespace orvex {

// The drive path inside a value: the comma-separated field holding the first ":\".
// Start and End are 1-based and inclusive (0 when Path is empty).
struct TExtractedPath {
    int Start = 0;
    int End = 0;
    std::u16string Path;
};
TExtractedPath ExtractPathFromValue(std::u16string_view value);

// Appends a line for every value in the subtrees of the checked sites whose drive
// path is neither a file nor a folder on the local machine. Failures are logged
// in red and end the collection.
void GetNonexistPath(std::vector<std::u16string>& list, const TRestoreTree& tree, bool onlyChecked);

// Appends a line for every binding with an IP address in the ServerBindings and
// SecureBindings of the checked top-level nodes (all of them when onlyChecked is
// false). Failures are logged in red and end the collection.
void GetAllIP(std::vector<std::u16string>& list, const TRestoreTree& tree, bool onlyChecked);

} // namespace orvex
