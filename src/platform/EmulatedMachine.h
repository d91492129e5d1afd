#pragma once
// The emulated machines the program reaches by name, each a folder under the
// machines folder. "", "localhost", "127.0.0.1" and this computer's name mean the
// local machine (folder "localhost"), which is created from the built-in default
// machine the first time anything asks for it.

#include "base/FileLock.h"
#include "platform/MachineFaults.h"
#include "platform/MachineState.h"
#include "platform/MachineStorage.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

namespace orvex {

// What the emulated machines remember to spare work, each with what makes it stale
// (BypassMachineMemos in MachineMemos.h passes them all by, for tests):
// - The folder memo: the machines folder against the bytes of $ORVEX_MACHINES
//   (per thread); stale when the variable changes.
// - The folder map: the folder found for a machines folder and a name ignoring
//   case; stale when that folder is no longer a folder, and dropped by
//   CloseMachines().
// - The open machines by folder and by machines folder and name; stale when the
//   files' stamp (MachineStamp: each file's inode, size and time) differs from the
//   copy's, or when CloseMachines() or CreateMachine drop them.
// - The last-open memo: the last two machines a thread opened as they stand, by
//   name and machines folder; stale when any open machine is added or dropped
//   (the open generation) or the machines folder changes.
// - The operation number: the operation that last found a copy current; stale
//   when another operation starts.
// - A metabase object's key, class, last property and next position in its class;
//   the key is stale when any key of the metabase was removed, the others never
//   (a key keeps its class, the schema stays).
// - The per-property hashes of the schema's ids, worked out once for the run;
//   never stale.
// - A key's sorted id index and its 64 quick bits; rebuilt whenever its values
//   are set or removed.

// A machine's own files failed: its folder is missing or was moved, it is locked by
// another process for longer than a writer waits, it was changed on disk since it
// was read, or a file could not be read or written. The message names the folder
// or file. An operation that meets it stops: going on would fail the same way for
// everything that follows.
class EMachineFilesError : public EOleSysError {
public:
    explicit EMachineFilesError(const std::string& message);
};

// One open machine. Outside an operation (TMachineOperation) a change is written
// through to its folder at once, under the machine's lock; within one it is kept
// in memory until the operation ends.
class TEmulatedMachine : public std::enable_shared_from_this<TEmulatedMachine> {
public:
    // stamp: MachineStamp of the folder from before state was read.
    TEmulatedMachine(std::filesystem::path folder, TMachineState state, TMachineFaults faults, std::string stamp);

    const std::filesystem::path& Folder() const { return FFolder; }
    const TMachineFacts& Facts() const { return FState.Facts; }
    TMetabase* Metabase() const { return FState.Metabase.get(); }
    TPop3State* Pop3() const { return FState.Pop3.get(); }

    // Raises the planted fault matching this call, if any (see MachineFaults.h).
    void CheckFault(std::u16string_view operation, std::u16string_view path, std::u16string_view name);
    bool HasFaults() const { return !FFaults.Empty(); }

    // Write the metabase (the file holding changed, which was just created when
    // created is set) or the POP3 state to the folder, or within an operation mark
    // it to be written when the operation ends. A failure raises
    // EMachineFilesError; the caller undoes its change.
    void SaveMetabase(const TMetaObject& changed, bool created = false);
    void SavePop3();

    // Writes what the operation changed, and only that, all files together (see
    // MachineCommit.h). A failure raises EMachineFilesError; the machine is then
    // closed, so that its next use reads the files as they are.
    void WritePending();

    // True when this copy may be used: its files did not change since it was read
    // (checkDisk), or an operation of ours holds it locked or found it current.
    bool IsCurrent(bool checkDisk);

    // True while an operation of this process holds the machine's lock: nobody
    // else writes its files, so they need not be looked at again.
    bool LockedByOperation() const { return FLockedByOperation.load(); }
    // True when the running operation found the files as this copy read them: it
    // goes on with that state (see TMachineOperation). Mark records that it did.
    bool SeenByOperation() const;
    void MarkSeenByOperation();
    // Takes the lock for the rest of the operation (see TMachineOperation).
    void LockForOperation();
    // Raises EMachineFilesError, and closes the machine, when its folder was
    // removed or moved away.
    void CheckFolderStillThere();
    // The stamp of the files this copy was read from or last wrote.
    std::string Stamp();
    void ReleaseOperationLock() {
        FLockedByOperation.store(false);
        FOperationLock.Release();
    }

private:
    // Locks the machine (or checks the operation's lock) and makes sure the files
    // are still those this copy was read from.
    void BeginWrite(TFileLock& lock);
    // Puts the files that stage writes into a commit in place, under lock: with
    // the folder still at its place and locked, all of them; else none.
    template <class TStage>
    void Commit(TFileLock& lock, TStage stage);
    // A change outside an operation: locks, commits and unlocks.
    template <class TStage>
    void WriteNow(TStage stage);
    // The same for the folder that lock holds.
    void CheckFolderStillThere(const TFileLock& lock);
    // Closes the machine, so that nothing reaches it by name any more, and raises
    // EMachineFilesError; every later change or write of this copy raises the same.
    [[noreturn]] void Fail(const std::string& reason);

    std::filesystem::path FFolder;
    TMachineState FState;
    TMachineFaults FFaults;
    std::mutex FStampMutex;  // binds on worker threads compare the stamp
    std::string FStamp;
    TFileLock FOperationLock;
    std::atomic<bool> FLockedByOperation{false};  // FOperationLock held, for binds on worker threads
    TMetabaseFiles FPendingMetabase;
    bool FPendingPop3 = false;
    std::atomic<uint64_t> FSeenByOperation{0};  // the number of the operation that saw it
    std::string FFailure;
};

// An engine operation on the emulated machines (a backup, a restore, a backup-file
// edit, a site renumbering). A machine that the operation reads is looked at on
// disk once: the operation reads that one state of it throughout. A machine that
// the operation changes is locked by its first change and stays locked until the
// operation ends, so that no other process writes it meanwhile. Committed changes
// (SetInfo, Create, POP3 changes) stay in memory and are written when the
// operation ends: each changed file once, all of them together, so that a process
// killed meanwhile leaves the machine all old or all new.
// Operations nest; the outermost one writes and releases the locks. A program
// that exits during one writes what it changed first.
class TMachineOperation {
public:
    TMachineOperation();
    // Writes what Commit did not, failures unreported.
    ~TMachineOperation();
    // Ends the outermost operation early: writes every machine it changed and
    // releases the locks. Raises the first EMachineFilesError after trying all.
    void Commit();
    TMachineOperation(const TMachineOperation&) = delete;
    TMachineOperation& operator=(const TMachineOperation&) = delete;

    // Locks the named machine now (waiting as for a write) and drops an open copy
    // that is older than its files. Raises EMachineFilesError.
    static void LockMachine(std::u16string_view name);
    static bool Active();
};

// The folder of all machines: $ORVEX_MACHINES, or "machines/" beside the executable.
std::filesystem::path MachinesFolder();

// Raises EMachineFilesError naming the folder when $ORVEX_MACHINES names one that
// does not exist or is not a folder: a mistyped name must not become a new folder
// with an invented local machine in it. Only the default folder beside the
// executable is made, with the local machine, on first use. Every open of a
// machine that is not open yet checks this first.
void CheckMachinesFolder();

bool IsLocalMachineName(std::u16string_view name);

// The open machine of this name, or nullptr when there is none (an unknown or
// malformed name: the caller answers as for an unreachable server). A damaged
// machine file raises EMachineError naming it. A machine opened before in this run
// whose folder is gone raises EMachineFilesError: it is never made again, and the
// local machine is installed from the default only when this run never had it.
std::shared_ptr<TEmulatedMachine> OpenMachine(std::u16string_view name);

// OpenMachine without looking for changes made on disk by others when the machine
// is open already: for calls that read nothing that changes (the schema).
std::shared_ptr<TEmulatedMachine> OpenMachineAsItStands(std::u16string_view name);

// Writes a machine folder under MachinesFolder() (replacing its state files) and
// drops any open copy. Test machines and generated machines are made this way.
void CreateMachine(std::u16string_view name, const TMachineState& state);

// Forgets every open machine: the next OpenMachine reads its folder again.
void CloseMachines();

// The folder that stands for a machine name (the local machine's is "localhost").
// Raises EMachineError for a name that cannot be a folder name ("..", a name
// holding a path delimiter or a control character, or longer than 255 bytes), and
// what CheckMachinesFolder raises.
std::filesystem::path MachineFolderOf(std::u16string_view name);

} // namespace orvex
