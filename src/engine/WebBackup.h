#pragma once
// The backup of one machine's web service tree, POP3 service and web service
// extension list into the backup file BackupFileName.

#include "xml/WideXmlNode.h"

#include <string_view>

namespace orvex {

// Adds (or, after the "backupexist" question or with "/o", replaces) the `Machine`
// element named backupName and saves the file, which stays locked from its load to
// its save, so that a backup or edit of another process at the same time is never
// lost (it waits, or fails clearly). False when the user kept the
// old backup, when the web service could not be read and a backup of that name
// exists (a good backup is never replaced by an empty one), when BackupRefusal
// refuses, or when the file could not be read or written; the file is then byte
// for byte as it was. Every failure is logged; the run is clean while
// BackupErrorFlag stays clear. Nothing is thrown.
bool BackupMachine(std::u16string_view backupName, std::u16string_view machineName);

// Why BackupMachine refuses machineName before it touches BackupFileName: the
// platform refuses the name, or a step to the machine or one of its files that
// another user owns, or the file cannot hold a backup (a step another user owns,
// a folder, a device, a read-only file). Empty when it does not.
std::u16string BackupRefusal(std::u16string_view machineName);

// The metabase object at path ("w3svc/1") into node: every mandatory and optional
// schema property as a `Property`, then its children. Failures are logged. False
// when the object itself or its class could not be read (nothing was added).
bool BackupDirectory(std::u16string_view machine, std::u16string_view path, TWideXmlNode& node, bool recursive);

// One `SubDir` under node per child object of path (web sites with their siteName
// when it can be read, else after a red line), each backed up with BackupDirectory when recursive.
// False when the children could not all be listed: a path that cannot be opened as a container adds
// nothing; an enumeration failure is logged in red and keeps the children listed so far. Many
// children are backed up on several threads when the machine allows it (MayReadOnThreads); node,
// the file and the log come out as one thread makes them, the log lines of those children all at
// the end.
bool BackupSubDirectories(std::u16string_view machine, std::u16string_view path, TWideXmlNode& node,
                          bool recursive);

// The web service extension list of the web service at path under node, unless
// the locally installed IIS has major version 0, 4 or 5.
void BackupServiceExtensions(std::u16string_view machine, std::u16string_view path, TWideXmlNode& node);

} // namespace orvex
