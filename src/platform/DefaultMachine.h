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

// The drive folders and files the default machine's paths point at.
void CreateDefaultMachineDrives(const std::filesystem::path& machineFolder);

// Writes the default machine (named after this computer) and its drives to folder.
void InstallDefaultMachine(const std::filesystem::path& folder);

// The default machine with its web sites replaced by siteCount sites ("1" to
// siteCount), each with a ROOT virtual directory holding dirsPerSite virtual
// directories ("dir1"...). Paths point at D:\Sites\..., which do not exist.
TMachineState BuildLargeMachineState(const std::u16string& computerName, int siteCount, int dirsPerSite);

} // namespace orvex
