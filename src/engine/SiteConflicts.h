#pragma once
// Web sites of a backup that already exist on the destination machine: overwrite,
// skip, or give the site the smallest free identifier (in the backup file and in
// the restore tree) before anything is restored.

#include "engine/RestoreChecks.h"
#include "engine/RestoreTree.h"
#include "xml/WideXmlDocument.h"
#include "xml/WideXmlNode.h"

#include <string>
#include <vector>

namespace orvex {

// Lines "identifier=site name", split at the first "=".
using TSiteList = std::vector<std::u16string>;

// The first checked top-level node of the tree, or nullptr.
TTreeNode* FindSelectedMachineNode(const TRestoreTree& tree);

// The `Machine` element that the first checked top-level node shows: the one at
// the node's position (top-level node i shows the i-th `Machine` element), so that
// of two backups of the same name the checked one is taken. nullptr when no
// backup is checked; raises when the element there has another backup name (the
// file changed since the tree was built from it).
TWideXmlNode* SelectedMachineElement(TWideXmlDocument& document, const TRestoreTree& tree);

// Clears list and fills it with the web sites of machine. False when they could
// not all be listed (an enumeration failure is logged in red); list then holds the
// sites listed so far.
bool ListDestinationSites(std::u16string_view machine, TSiteList& list);

// Clears both lists and fills them with the web sites of the selected backup: all
// of them, and those whose tree nodes are checked and not refused. No selected
// backup: both empty. copy is a loaded copy of the backup file to read instead of
// the file. The backup file's errors pass.
void ListBackupSites(const TRestoreTree& tree, TSiteList& allSites, TSiteList& selectedSites,
                     const TRefusedNodes* refused = nullptr, TWideXmlDocument* copy = nullptr);

// Settles every checked site of the selected backup against the sites of machine,
// by SiteConflictMode, and appends the IDENTIFIER of every site to skip to
// skipList. Refused nodes take no part. copy, a loaded copy of the backup file, is
// read instead of the file and gets the new identifiers too. False when the sites
// of machine could not all be listed or a new identifier could not be written into
// the backup file (the restore must stop). Other exceptions pass.
bool CheckSites(std::u16string_view machine, const TRestoreTree& tree, std::vector<std::u16string>& skipList,
                const TRefusedNodes* refused = nullptr, TWideXmlDocument* copy = nullptr);

// Gives the selected backup's site oldId the identifier newId in the backup file
// (its path and the AppRoot values below it; saved atomically) and in the tree's
// records. False, after a red line for an exception, when it cannot.
bool ChangeSitePath(std::u16string_view oldId, std::u16string_view newId, const TRestoreTree& tree);

// Rewrites "/LM/W3SVC/<oldId>" at the start of every AppRoot value in element's
// subtree to "/LM/W3SVC/<newId>", where "/" or the end of the value follows it. A
// value with "." or ".." steps is left as it is (the restore refuses it).
void RewriteAppRoot(std::u16string_view oldId, std::u16string_view newId, TWideXmlNode& element);

} // namespace orvex
