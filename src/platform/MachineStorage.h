#pragma once
// Where emulated machines keep their state. A machine is a folder:
//   Machine.xml   its facts (host name, IPv4 addresses, registry values)
//   Metabase.xml  its IIS 6 metabase (absent: IIS 6 is not installed), except the
//                 web sites (IIsWebServer keys below W3SVC), each of which stands
//                 there as <Key name="1" class="IIsWebServer" file="Sites/1.xml"/>
//   Sites/        one file per web site, so that a change writes one small file
//   Pop3.xml      its POP3 service (absent: the service is not installed)
//   Faults.txt    planted failures (optional, see MachineFaults.h)
//   drives/       its disks: drives/C/Inetpub/wwwroot stands for C:\Inetpub\wwwroot
//   Commit.txt    the record of a change being put in place (see MachineCommit.h)
//   Install.tmp-* the mark of an install of the local machine in progress
//                 (see DefaultMachine.h)
// Every write replaces a whole file atomically, and the files of one change are
// put in place together. A machine is read only under the rule of SafePath.h:
// the steps from "/" to its folder and on to each file it reads belong to root or
// to us, else it is not read at all. Files are opened without waiting and read
// only when they are regular files of at most kMostMachineFileBytes: one that
// cannot be read (a pipe, a device, a folder, a larger one) raises EMachineError
// naming it and why, and is left as it is.

#include "base/SafePath.h"
#include "platform/MachineFaults.h"
#include "platform/MachineState.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace orvex {

class TMachineCommit;

// The folder of a machine's site files.
inline constexpr const char* kSitesFolder = "Sites";
// The file whose temporaries mark an install in progress.
inline constexpr const char* kInstallMarkFile = "Install";
// The most bytes read of Commit.txt or Faults.txt; a larger one is damaged. A
// record holds one short line per machine file: room for some 200,000 files.
inline constexpr size_t kMostMachineTextBytes = 16 << 20;
// The most bytes read of a machine's XML file: a real server's largest is a few
// MB, so a larger one is damaged.
inline constexpr size_t kMostMachineFileBytes = 256 << 20;

// True for the name, relative to a machine folder, of a file the machine consists
// of: Machine.xml, Metabase.xml, Pop3.xml, or a site file "Sites/<name>.xml" as
// the machine names them. No other file is ever replaced by a machine's change.
bool IsMachineFileName(std::string_view name);

// Raises the EMachineRefusedError of a machine folder that the rule keeps from
// being read: Machine folder "<folder>" is not read: <why, naming the step>.
[[noreturn]] void RefuseReading(const std::filesystem::path& folder, const std::string& why);

// The machine folder at folder, reached from "/" under the rule, so that its files
// are read under it: a step the rule refuses raises RefuseReading's error; a folder
// that is not there leaves StartError() set.
TSafeFolders ReachMachineFolder(const std::filesystem::path& folder);

// True when folder holds a machine (its Machine.xml exists, whatever it is);
// raises as ReachMachineFolder does, or naming the file.
bool MachineExists(const std::filesystem::path& folder);

// Reads a machine's facts, metabase and POP3 state.
TMachineState LoadMachineState(const std::filesystem::path& folder);

// Reads Faults.txt; no file gives no faults, one that cannot be read (no regular
// file, larger than kMostMachineTextBytes) raises EMachineError naming it.
TMachineFaults LoadMachineFaults(const std::filesystem::path& folder);

// The machine folder at folder, made with each folder it lies in that is
// missing, under the rule, for those who make machines by path; raises
// EMachineError naming it.
TSafeFolders MadeMachineFolder(const std::filesystem::path& folder);

// Writes every file of a machine (creating the folder and drives/), those it does
// not hold removed, Machine.xml last: a machine exists once it does.
void SaveMachineState(const std::filesystem::path& folder, const TMachineState& state);
// The same into the folder open at folderHandle (shown as folder in messages).
void SaveMachineState(const std::filesystem::path& folder, int folderHandle, const TMachineState& state);

// The files of a metabase that changes made stale: the file of each site that
// holds a changed key, and Metabase.xml for a change outside the sites or a site
// that was just created.
class TMetabaseFiles {
public:
    void Add(const TMetaObject& changed, bool created);
    bool Empty() const { return FSites.empty() && !FMain; }
    void Clear();

private:
    friend void StageMachineMetabase(const TMetabase&, const TMetabaseFiles&, TMachineCommit&);
    std::vector<const TMetaObject*> FSites;  // in the order first changed
    std::unordered_set<const TMetaObject*> FSiteSet;
    bool FMain = false;
    const TMetaObject* FLast = nullptr;
};

// Writes the stale files of the metabase, or the POP3 state, into commit, which
// puts them in place together with the other files of the same change.
void StageMachineMetabase(const TMetabase& metabase, const TMetabaseFiles& files, TMachineCommit& commit);
void StageMachinePop3(const TPop3State& pop3, TMachineCommit& commit);

// Changes whenever a file of the machine changes (for the cache of open machines).
// Site files count through their folder: replacing one is seen, editing one in
// place by hand is not (CloseMachines() then).
std::string MachineStamp(const std::filesystem::path& folder);

} // namespace orvex
