#pragma once
// Ready-made machines: the built-in default (the local machine on first use) and a
// large generated one for benchmarks.

#include "platform/MachineState.h"

#include <filesystem>
#include <string>

namespace orvex {

// A small IIS 6 server named computerName: the Default Web Site (site 1, ":80:",
// C:\Inetpub\wwwroot), the Intranet site (site 2, bound to 192.168.10.5 with an SSL
// binding on 443, IP restrictions, a certificate), virtual and physical directories,
// the application pools DefaultAppPool and IntranetPool, the global and per-site
// filters, compression schemes, the MIME map, the standard web service extension
// list, MajorVersion 6 in the registry, the addresses 192.168.10.5 and 10.0.0.20,
// and a POP3 service with the domains example.com (alice, bob locked, postmaster)
// and lists.example.com (locked, no mailboxes).
TMachineState BuildDefaultMachineState(const std::u16string& computerName);

// The drive folders and files the default machine's paths point at, in the
// machine folder open at handle (shown as machineFolder).
void CreateDefaultMachineDrives(const std::filesystem::path& machineFolder, int handle);

// Makes folder, and the machines folder it lies in, for the local machine's
// install to lock; an existing folder, or a link to one, stays as it is. Raises
// EMachineFilesError naming the folder and the reason when it cannot be made (a
// file in its place, a read-only file system, no space, a machines folder or link
// that the rule of SafePath.h keeps from changes).
void MakeMachineFolder(const std::filesystem::path& folder);

// True when the folder open at handle may take the local machine: it is empty (a
// mounted file system's root may hold its empty lost+found), or holds what an
// install in place left when its process was killed.
bool IsInstallableFolder(int handle);

// Installs the default machine (named after this computer) and its drives at
// folder, whole or not at all. folder (or the folder a link there leads to, under
// the rule of SafePath.h) is the installable folder that the caller holds locked,
// open at lockedHandle. The machine is built beside it in a temporary folder
// ("<name>.tmp-<pid>-<number>") that holds the install's mark, made durable and
// renamed over it, and the mark is removed once the rename is on disk: a process
// killed before the rename leaves folder as it was and the marked temporary folder,
// which the next install removes; one killed after it leaves the whole machine and
// the mark, which the next open's recovery removes. A folder that a rename cannot
// replace (a mount point), or that holds an interrupted install's mark, is
// installed in place, the mark first and Machine.xml last, which the next install
// completes. A failure raises EMachineFilesError naming folder: before the rename
// folder stays as it was, after it only the sync of the folder that holds it can fail.
void InstallDefaultMachine(const std::filesystem::path& folder, int lockedHandle);

// For tests that stop or kill the process at each step of an install: called once
// MakeMachineFolder made the machine folder (isFolder), once the temporary folder
// is made (isTemporaryFolder), once the install's mark is written (isMarked), once
// the drives are (isDrives), once every machine file is (isFiles), once all is on
// disk (isDurable), after the rename (isRenamed) and once the mark is removed (isDone).
enum class TInstallStep { isFolder, isTemporaryFolder, isMarked, isDrives, isFiles, isDurable, isRenamed, isDone };
using TInstallWatch = void (*)(TInstallStep step);
void WatchInstallSteps(TInstallWatch watch);

// The default machine with its web sites replaced by siteCount sites ("1" to
// siteCount), each with a ROOT virtual directory holding dirsPerSite virtual
// directories ("dir1"...). Paths point at D:\Sites\..., which do not exist.
TMachineState BuildLargeMachineState(const std::u16string& computerName, int siteCount, int dirsPerSite);

} // namespace orvex
