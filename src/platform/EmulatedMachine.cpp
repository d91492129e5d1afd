#include "platform/EmulatedMachine.h"

#include "base/AsciiText.h"
#include "base/CaseFold.h"
#include "base/Module.h"
#include "base/Utf.h"
#include "platform/DefaultMachine.h"
#include "platform/MachineCommit.h"
#include "platform/MachineMemos.h"
#include "platform/MachineStorage.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

namespace orvex {

namespace {

std::mutex gOpenMutex;
std::map<std::string, std::shared_ptr<TEmulatedMachine>> gOpenMachines;  // by folder
// The same machines by machines folder and name ignoring case, which spares the
// folder lookup on every bind; looked up without building a key.
struct TNameLess {
    using is_transparent = void;
    bool operator()(std::u16string_view a, std::u16string_view b) const { return CompareTextIgnoreCase(a, b) < 0; }
};
using TMachinesByName = std::map<std::u16string, std::shared_ptr<TEmulatedMachine>, TNameLess>;
std::map<std::string, TMachinesByName, std::less<>> gOpenByName;

// The machines folder and the $ORVEX_MACHINES it was made from: every bind asks
// for it, and the variable seldom changes.
struct TFolderMemo {
    bool Valid = false;
    bool Set = false;
    std::string Variable;
    std::string Folder;
};
thread_local TFolderMemo gFolderMemo;

const std::string& MachinesFolderText() {
    const char* variable = EnvironmentVariableUtf8("ORVEX_MACHINES");
    const bool set = variable && *variable;
    TFolderMemo& memo = gFolderMemo;
    if (!memo.Valid || memo.Set != set || (set && memo.Variable != variable) || MachineMemosBypassed()) {
        // Through UTF-16 and back, as the environment is read everywhere else.
        const std::filesystem::path folder =
            set ? std::filesystem::path(Utf16ToUtf8(Utf8ToUtf16(variable)))
                : std::filesystem::path(Utf16ToUtf8(ExecutableFolder())) / "machines";
        memo = {true, set, set ? std::string(variable) : std::string(), folder.string()};
    }
    return memo.Folder;
}

bool IsValidMachineName(std::u16string_view name) {
    // A folder name holds at most 255 bytes.
    if (name.empty() || name == u"." || name == u".." || Utf16ToUtf8(name).size() > 255)
        return false;
    for (char16_t c : name)
        if (c < 0x20 || std::u16string_view(u"/\\:*?\"<>|").find(c) != std::u16string_view::npos)
            return false;
    return true;
}

// Folders found before, by machines folder and name ignoring case; checked to
// still be folders on use.
std::map<std::pair<std::string, std::u16string>, std::string> gFolders;

// The one folder in the machines folder root, open at handle, whose name equals
// name ignoring case; "" for none. Two or more are refused, naming them.
std::string CaseVariantOf(int handle, const std::filesystem::path& root, std::u16string_view name) {
    const auto key = std::make_pair(root.string(), AsciiUpperCase(name));
    {
        std::lock_guard lock(gOpenMutex);
        struct stat status {};
        if (auto it = gFolders.find(key); it != gFolders.end() && !MachineMemosBypassed() &&
                                          ::fstatat(handle, it->second.c_str(), &status, 0) == 0 &&
                                          S_ISDIR(status.st_mode))
            return it->second;
    }
    std::vector<std::string> found;
    ForEachNameIn(handle, [&](const std::string& entry) {
        if (SameTextIgnoreCase(Utf8ToUtf16(entry), name))
            found.push_back(entry);
        return true;
    });
    if (found.empty())
        return {};
    if (found.size() > 1) {
        std::sort(found.begin(), found.end());
        std::string names;
        for (size_t i = 0; i < found.size(); ++i)
            names += (i == 0 ? "\"" : i + 1 == found.size() ? "\" and \"" : "\", \"") + found[i];
        throw EMachineError("Machine name \"" + Utf16ToUtf8(name) + "\" matches the folders " + names + "\" in \"" +
                            root.string() + "\", which differ only in case: rename all but one");
    }
    std::lock_guard lock(gOpenMutex);
    return gFolders[key] = found.front();
}

// The folder of a machine name: machines/name when that exists; else the one
// folder whose name equals name ignoring case; else machines/name. A case variant
// never stands in for the exact name. The machines folder and the folder found
// keep to the rule of SafePath.h, else the machine is not read at all.
std::filesystem::path FindFolder(std::u16string_view name) {
    const std::filesystem::path root = MachinesFolder();
    CheckMachinesFolder();
    std::string folder = Utf16ToUtf8(name);
    TSafeFolders machines(root.string());
    if (machines.StartRefused())
        RefuseReading(root / folder, machines.StartFailure());
    if (machines.StartError())
        return root / folder;  // the default folder, made with the local machine
    struct stat status {};
    if (::fstatat(machines.Handle(0), folder.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        if (std::string variant = CaseVariantOf(machines.Handle(0), root, name); !variant.empty())
            folder = std::move(variant);
    TSafePlace place;
    try {
        machines.Follow(folder, place);
    } catch (const EUnsafePathError& e) {
        RefuseReading(root / folder, e.what());
    }
    return root / folder;
}

// Changes whenever an open machine is added or dropped, so that the answers kept
// below are only used while the maps above would give the same.
std::atomic<uint64_t> gOpenGeneration{1};

void MachinesChanged() { gOpenGeneration.fetch_add(1); }

// Folders of the machines this run has opened or made: one of them that is gone
// was removed or moved, and is not made again.
std::set<std::string> gSeenFolders;

std::string MissingFolderText(const std::filesystem::path& folder) {
    return "Machine folder \"" + folder.string() + "\" is missing: it was removed or moved while the program ran";
}

// Drops the open copy of a machine, so that nothing reaches it again by name.
void ForgetMachine(const TEmulatedMachine& machine) {
    std::lock_guard lock(gOpenMutex);
    std::erase_if(gOpenMachines, [&](const auto& entry) { return entry.second.get() == &machine; });
    for (auto& [folder, byName] : gOpenByName)
        std::erase_if(byName, [&](const auto& entry) { return entry.second.get() == &machine; });
    MachinesChanged();
}

// The running operations (nested ones count) and the machines they locked; every
// outermost operation has a number of its own. Operations run on one thread; the
// binds of worker threads read the depth and the number.
std::atomic<int> gOperationDepth{0};
std::atomic<uint64_t> gOperationNumber{0};
std::vector<std::shared_ptr<TEmulatedMachine>> gOperationMachines;

// Writes what the running operation changed and releases its locks; the first
// failure is kept in firstError and the other machines are still written.
void EndOperation(std::exception_ptr* firstError) {
    std::vector<std::shared_ptr<TEmulatedMachine>> machines;
    machines.swap(gOperationMachines);
    for (const auto& machine : machines) {
        try {
            machine->WritePending();
        } catch (...) {
            if (firstError && !*firstError)
                *firstError = std::current_exception();
        }
        machine->ReleaseOperationLock();
    }
}

// A program that exits during an operation writes what it changed first.
void WriteOperationAtExit() { EndOperation(nullptr); }

void JoinOperation(std::shared_ptr<TEmulatedMachine> machine) {
    static const bool registered = std::atexit(WriteOperationAtExit) == 0;
    (void)registered;
    gOperationMachines.push_back(std::move(machine));
}

} // namespace

EMachineFilesError::EMachineFilesError(const std::string& message) : EOleSysError(hr::E_FAIL, Utf8ToUtf16(message)) {}

TEmulatedMachine::TEmulatedMachine(std::filesystem::path folder, TMachineState state, TMachineFaults faults,
                                   std::string stamp)
    : FFolder(std::move(folder)), FState(std::move(state)), FFaults(std::move(faults)), FStamp(std::move(stamp)) {}

void TEmulatedMachine::CheckFault(std::u16string_view operation, std::u16string_view path, std::u16string_view name) {
    if (!FFaults.Empty())
        FFaults.Check(operation, path, name);
}

void TEmulatedMachine::Fail(const std::string& reason) {
    FFailure = reason;
    ForgetMachine(*this);
    throw EMachineFilesError(reason);
}

void TEmulatedMachine::CheckFolderStillThere() {
    if (!FFailure.empty())
        throw EMachineFilesError(FFailure);
    if (FOperationLock.Held() ? !FOperationLock.StillAt(FFolder.string()) : !MachineExists(FFolder))
        Fail(MissingFolderText(FFolder));
}

void TEmulatedMachine::BeginWrite(TFileLock& lock) {
    if (FOperationLock.Held() || !FFailure.empty()) {
        CheckFolderStillThere();
        return;
    }
    try {
        if (!lock.Acquire(FFolder.string()) || !MachineExists(FFolder))
            Fail(MissingFolderText(FFolder));
    } catch (const EFileLockError& e) {
        throw EMachineFilesError(e.what());
    }
    // A change another process left half in place is finished before the stamp
    // is compared: it is a change of the files like any other.
    try {
        if (HasUnfinishedCommit(FFolder))
            RecoverMachineFolder(FFolder, lock.Handle());
    } catch (const EMachineError& e) {
        lock.Release();
        Fail(e.what());
    }
    // Never write from a copy older than the files: another process changed them.
    if (MachineStamp(FFolder) != Stamp()) {
        lock.Release();
        Fail("Machine folder \"" + FFolder.string() +
             "\" was changed by another program since it was read; nothing was written");
    }
}

std::string TEmulatedMachine::Stamp() {
    std::lock_guard lock(FStampMutex);
    return FStamp;
}

bool TEmulatedMachine::SeenByOperation() const {
    return TMachineOperation::Active() && FSeenByOperation.load() == gOperationNumber.load() &&
           !MachineMemosBypassed();
}

void TEmulatedMachine::MarkSeenByOperation() {
    if (TMachineOperation::Active())
        FSeenByOperation.store(gOperationNumber.load());
}

bool TEmulatedMachine::IsCurrent(bool checkDisk) {
    if (!checkDisk || LockedByOperation() || SeenByOperation())
        return true;
    if (Stamp() != MachineStamp(FFolder))
        return false;
    MarkSeenByOperation();
    return true;
}

void TEmulatedMachine::LockForOperation() {
    if (FOperationLock.Held()) {
        if (!FFailure.empty())
            throw EMachineFilesError(FFailure);
        return;
    }
    BeginWrite(FOperationLock);
    FLockedByOperation.store(true);
    JoinOperation(shared_from_this());
}

template <class TStage>
void TEmulatedMachine::Commit(TFileLock& lock, TStage stage) {
    // A failed write outside an operation leaves the copy open, as it was before
    // the change that the caller undoes.
    const auto failed = [&](const std::exception& e) {
        if (&lock == &FOperationLock)
            Fail(e.what());
        throw EMachineFilesError(e.what());
    };
    TMachineCommit commit(FFolder, lock.Handle());
    try {
        commit.CheckFolder();  // a refusal names its reason, wherever the folder's name leads by now
    } catch (const std::exception& e) {
        failed(e);
    }
    try {
        stage(commit);
    } catch (const std::exception& e) {
        // The folder moved away while the files were written: that is the failure.
        CheckFolderStillThere(lock);
        failed(e);
    }
    // The record goes into the folder held locked, and only while it is at its
    // place: the files are all put there, or none is.
    CheckFolderStillThere(lock);
    try {
        commit.Commit();
    } catch (const std::exception& e) {
        failed(e);
    }
    std::lock_guard guard(FStampMutex);
    FStamp = MachineStamp(FFolder);
}

template <class TStage>
void TEmulatedMachine::WriteNow(TStage stage) {
    TFileLock lock;
    BeginWrite(lock);
    Commit(FOperationLock.Held() ? FOperationLock : lock, stage);
}

void TEmulatedMachine::CheckFolderStillThere(const TFileLock& lock) {
    if (!lock.StillAt(FFolder.string()))
        Fail(MissingFolderText(FFolder));
}

void TEmulatedMachine::SaveMetabase(const TMetaObject& changed, bool created) {
    if (TMachineOperation::Active()) {
        LockForOperation();
        FPendingMetabase.Add(changed, created);
        return;
    }
    WriteNow([&](TMachineCommit& commit) {
        TMetabaseFiles files;
        files.Add(changed, created);
        StageMachineMetabase(*FState.Metabase, files, commit);
    });
}

void TEmulatedMachine::SavePop3() {
    if (TMachineOperation::Active()) {
        LockForOperation();
        FPendingPop3 = true;
        return;
    }
    WriteNow([&](TMachineCommit& commit) { StageMachinePop3(*FState.Pop3, commit); });
}

void TEmulatedMachine::WritePending() {
    if (FPendingMetabase.Empty() && !FPendingPop3)
        return;
    TMetabaseFiles metabase = std::move(FPendingMetabase);
    const bool pop3 = std::exchange(FPendingPop3, false);
    FPendingMetabase.Clear();
    CheckFolderStillThere();
    if (MachineStamp(FFolder) != Stamp())
        Fail("Machine folder \"" + FFolder.string() +
             "\" was changed by another program during the operation; its changes were not "
             "written");
    Commit(FOperationLock, [&](TMachineCommit& commit) {
        if (!metabase.Empty())
            StageMachineMetabase(*FState.Metabase, metabase, commit);
        if (pop3)
            StageMachinePop3(*FState.Pop3, commit);
    });
}

std::filesystem::path MachinesFolder() { return std::filesystem::path(MachinesFolderText()); }

void CheckMachinesFolder() {
    const std::string& folder = MachinesFolderText();
    if (!gFolderMemo.Set)
        return;
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(folder, error);
    if (std::filesystem::is_directory(status))
        return;
    throw EMachineFilesError("The machines folder \"" + folder + "\" named by ORVEX_MACHINES " +
                             (std::filesystem::exists(status) ? "is not a folder" : "does not exist"));
}

bool IsLocalMachineName(std::u16string_view name) {
    static const std::u16string host = ComputerName();  // the host keeps its name while we run
    return name.empty() || SameAsciiText(name, u"localhost") || name == u"127.0.0.1" ||
           name == u"." || SameAsciiText(name, host);
}

std::filesystem::path MachineFolderOf(std::u16string_view name) {
    if (IsLocalMachineName(name))
        return FindFolder(u"localhost");
    if (!IsValidMachineName(name))
        throw EMachineError("\"" + Utf16ToUtf8(name) + "\" is not a machine name");
    return FindFolder(name);
}

namespace {

// Reads a machine's files as one state, with the stamp from before: a change that
// another process left half in place is finished first, and one that it puts in
// place meanwhile has them read again under the machine's lock, which waits for it.
TMachineState LoadWholeMachine(const std::filesystem::path& folder, std::string& stamp) {
    for (bool locked = HasUnfinishedCommit(folder);; locked = true) {
        TFileLock lock;
        try {
            if (locked && lock.Acquire(folder.string()))
                RecoverMachineFolder(folder, lock.Handle());
        } catch (const EFileLockError& e) {
            throw EMachineFilesError(e.what());
        }
        stamp = MachineStamp(folder);
        TMachineState state = LoadMachineState(folder);
        if (locked || (MachineStamp(folder) == stamp && !HasUnfinishedCommit(folder)))
            return state;
    }
}

// Installs the default machine as the local one on first use, whole or not at
// all, under the lock of the empty folder it replaces: two first runs at once
// never clear each other's files, and the second finds the machine the first put
// in place.
void InstallLocalMachine(const std::filesystem::path& folder, bool seen) {
    if (!seen)
        MakeMachineFolder(folder);
    TFileLock lock;
    bool locked = false;
    try {
        locked = lock.Acquire(folder.string());
    } catch (const EFileLockError& e) {
        throw EMachineFilesError(e.what());
    }
    if (locked && MachineExists(folder))
        return;
    // Without its facts file the folder is no machine. What it holds is left as it
    // is, unless an install of ours left it: an earlier version installed in place,
    // and may have been killed doing so.
    if (locked && !IsInstallableFolder(lock.Handle()))
        throw EMachineError("Machine file \"" + (folder / "Machine.xml").string() +
                            "\" is missing: installing the local machine was interrupted, or the file was removed; "
                            "move the folder \"" + folder.string() +
                            "\" away and run again to install the local machine anew");
    if (seen || !locked)
        throw EMachineFilesError(MissingFolderText(folder));
    InstallDefaultMachine(folder, lock.Handle());
}

std::shared_ptr<TEmulatedMachine> OpenUncached(std::u16string_view name, bool checkDisk) {
    const bool local = IsLocalMachineName(name);
    if (!local && !IsValidMachineName(name))
        return nullptr;
    const std::u16string_view nameKey = local ? u"localhost" : name;
    const std::string& machinesFolder = MachinesFolderText();
    std::shared_ptr<TEmulatedMachine> cached;
    {
        std::lock_guard lock(gOpenMutex);
        if (auto folder = gOpenByName.find(machinesFolder); folder != gOpenByName.end() && !MachineMemosBypassed())
            if (auto it = folder->second.find(nameKey); it != folder->second.end())
                cached = it->second;
    }
    if (cached) {
        // One that our operation holds locked is not looked at on disk again: nobody
        // else writes it, and a folder gone meanwhile fails the operation's write.
        if (cached->IsCurrent(checkDisk))
            return cached;
        std::lock_guard lock(gOpenMutex);
        if (auto folder = gOpenByName.find(machinesFolder); folder != gOpenByName.end())
            if (auto it = folder->second.find(nameKey); it != folder->second.end() && it->second == cached)
                folder->second.erase(it);
        MachinesChanged();
    }
    const std::string machinesFolderKey = machinesFolder;  // the memo may change from here on
    const std::filesystem::path folder = MachineFolderOf(name);
    const std::string key = folder.string();
    const auto openAtFolder = [&] {
        std::lock_guard lock(gOpenMutex);
        const auto it = gOpenMachines.find(key);
        return it == gOpenMachines.end() ? nullptr : it->second;
    };
    // Remembers machine as the one open at folder; a current copy that another
    // thread opened meanwhile is used instead. The copy looked at is still the one
    // open when machine takes its place, else it is looked at again: two threads
    // never each keep a copy of their own.
    const auto keep = [&](std::shared_ptr<TEmulatedMachine> machine) {
        for (;;) {
            const std::shared_ptr<TEmulatedMachine> other = openAtFolder();
            if (other && other != machine && other->IsCurrent(checkDisk))
                machine = other;
            std::lock_guard lock(gOpenMutex);
            if (const auto it = gOpenMachines.find(key); (it == gOpenMachines.end() ? nullptr : it->second) != other)
                continue;
            gSeenFolders.insert(key);
            gOpenMachines[key] = machine;
            gOpenByName[machinesFolderKey].insert_or_assign(std::u16string(nameKey), machine);
            MachinesChanged();
            return machine;
        }
    };
    const std::shared_ptr<TEmulatedMachine> open = openAtFolder();
    if (open && open->IsCurrent(checkDisk))
        return keep(open);
    {
        std::lock_guard lock(gOpenMutex);
        if (open)
            std::erase_if(gOpenMachines, [&](const auto& entry) { return entry.second == open; });
        MachinesChanged();
        if (!MachineExists(folder)) {
            if (local)
                InstallLocalMachine(folder, gSeenFolders.count(key) > 0);
            else if (gSeenFolders.count(key))
                throw EMachineFilesError(MissingFolderText(folder));
            else
                return nullptr;
        }
    }
    // Read without the lock of the open machines: binds of other machines go on.
    std::string stamp;
    TMachineState state = LoadWholeMachine(folder, stamp);
    auto machine = std::make_shared<TEmulatedMachine>(folder, std::move(state), LoadMachineFaults(folder), stamp);
    machine->MarkSeenByOperation();  // the running operation goes on with the state just read
    return keep(std::move(machine));
}

// The last two machines this thread opened by name: a backup binds a schema object
// for every property it reads, each bind opening the local machine and the one named.
struct TLastOpen {
    uint64_t Generation = 0;
    std::string MachinesFolder;
    std::u16string Name;
    std::weak_ptr<TEmulatedMachine> Machine;
};
thread_local TLastOpen gLastOpens[2];
thread_local size_t gLastOpenNext = 0;

std::shared_ptr<TEmulatedMachine> Open(std::u16string_view name, bool checkDisk) {
    const uint64_t generation = gOpenGeneration.load();
    if (!checkDisk && !MachineMemosBypassed()) {
        const std::string& machinesFolder = MachinesFolderText();
        for (const TLastOpen& last : gLastOpens)
            if (last.Generation == generation && last.Name == name && last.MachinesFolder == machinesFolder)
                if (std::shared_ptr<TEmulatedMachine> machine = last.Machine.lock())
                    return machine;
    }
    std::shared_ptr<TEmulatedMachine> machine = OpenUncached(name, checkDisk);
    if (machine) {
        TLastOpen& last = gLastOpens[gLastOpenNext++ % 2];
        last = {generation, MachinesFolderText(), std::u16string(name), machine};
    }
    return machine;
}

} // namespace

std::shared_ptr<TEmulatedMachine> OpenMachine(std::u16string_view name) { return Open(name, true); }

std::shared_ptr<TEmulatedMachine> OpenMachineAsItStands(std::u16string_view name) { return Open(name, false); }

void CloseMachines() {
    std::lock_guard lock(gOpenMutex);
    gOpenMachines.clear();
    gOpenByName.clear();
    gFolders.clear();
    MachinesChanged();
}

void CreateMachine(std::u16string_view name, const TMachineState& state) {
    const std::filesystem::path folder = MachineFolderOf(name);
    std::lock_guard lock(gOpenMutex);
    gSeenFolders.insert(folder.string());
    gOpenMachines.erase(folder.string());
    gOpenByName.clear();
    MachinesChanged();
    SaveMachineState(folder, state);
}

TMachineOperation::TMachineOperation() {
    if (gOperationDepth++ == 0)
        ++gOperationNumber;
}

TMachineOperation::~TMachineOperation() {
    if (--gOperationDepth == 0)
        EndOperation(nullptr);
}

void TMachineOperation::Commit() {
    if (gOperationDepth.load() != 1)
        return;
    std::exception_ptr firstError;
    EndOperation(&firstError);
    if (firstError)
        std::rethrow_exception(firstError);
}

bool TMachineOperation::Active() { return gOperationDepth.load() > 0; }

void TMachineOperation::LockMachine(std::u16string_view name) {
    std::shared_ptr<TEmulatedMachine> machine;
    try {
        machine = OpenMachine(name);
    } catch (const EMachineFilesError&) {
        throw;
    } catch (const EMachineError& e) {
        throw EMachineFilesError(e.what());
    }
    if (!machine)
        return;  // no such machine: every later call says so
    machine->LockForOperation();
}

} // namespace orvex
