#include "platform/EmulatedMachine.h"

#include "platform/DefaultMachine.h"
#include "platform/MachineStorage.h"
#include "platform/base/AsciiText.h"
#include "platform/base/CaseFold.h"
#include "platform/base/Module.h"
#include "platform/base/Utf.h"

#include <map>
#include <mutex>

namespace orvex {

namespace {

std::mutex gOpenMutex;
std::map<std::string, std::shared_ptr<TEmulatedMachine>> gOpenMachines;  // by folder
// The same machines by machines folder and case-folded name, which spares the
// folder lookup on every bind.
std::map<std::string, std::shared_ptr<TEmulatedMachine>> gOpenByName;

std::string NameKey(std::u16string_view name) {
    std::string key = MachinesFolder().string() + "|";
    for (char16_t c : name)
        AppendUtf8(key, c >= 0xD800 && c <= 0xDFFF ? c : FoldCase(c));
    return key;
}

bool IsValidMachineName(std::u16string_view name) {
    if (name.empty() || name == u"." || name == u"..")
        return false;
    for (char16_t c : name)
        if (c < 0x20 || std::u16string_view(u"/\\:*?\"<>|").find(c) != std::u16string_view::npos)
            return false;
    return true;
}

// Folders found before, by machines folder and name; checked to still exist on use.
std::map<std::pair<std::string, std::u16string>, std::filesystem::path> gFolders;

// The existing folder whose name equals name ignoring case, else machines/name.
std::filesystem::path FindFolder(std::u16string_view name) {
    const std::filesystem::path root = MachinesFolder();
    const auto key = std::make_pair(root.string(), AsciiUpperCase(name));
    std::error_code error;
    {
        std::lock_guard lock(gOpenMutex);
        if (auto it = gFolders.find(key); it != gFolders.end() && std::filesystem::is_directory(it->second, error))
            return it->second;
    }
    std::filesystem::path found = root / Utf16ToUtf8(name);
    for (const auto& entry : std::filesystem::directory_iterator(root, error))
        if (SameTextIgnoreCase(Utf8ToUtf16(entry.path().filename().string()), name)) {
            found = entry.path();
            std::lock_guard lock(gOpenMutex);
            gFolders[key] = found;
            break;
        }
    return found;
}

} // namespace

TEmulatedMachine::TEmulatedMachine(std::filesystem::path folder, TMachineState state, TMachineFaults faults)
    : FFolder(std::move(folder)), FState(std::move(state)), FFaults(std::move(faults)), FStamp(MachineStamp(FFolder)) {}

void TEmulatedMachine::CheckFault(std::u16string_view operation, std::u16string_view path, std::u16string_view name) {
    if (!FFaults.Empty())
        FFaults.Check(operation, path, name);
}

void TEmulatedMachine::SaveMetabase(const TMetaObject& changed, bool created) {
    try {
        SaveMachineMetabase(FFolder, *FState.Metabase, &changed, created);
    } catch (const std::exception& e) {
        throw EOleSysError(hr::E_FAIL, Utf8ToUtf16(e.what()));
    }
    FStamp = MachineStamp(FFolder);
}

void TEmulatedMachine::SavePop3() {
    try {
        SaveMachinePop3(FFolder, *FState.Pop3);
    } catch (const std::exception& e) {
        throw EOleSysError(hr::E_FAIL, Utf8ToUtf16(e.what()));
    }
    FStamp = MachineStamp(FFolder);
}

std::filesystem::path MachinesFolder() {
    if (std::optional<std::u16string> folder = EnvironmentVariable(u"ORVEX_MACHINES"); folder && !folder->empty())
        return std::filesystem::path(Utf16ToUtf8(*folder));
    return std::filesystem::path(Utf16ToUtf8(ExecutableFolder())) / "machines";
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

std::shared_ptr<TEmulatedMachine> Open(std::u16string_view name, bool checkDisk) {
    if (!IsLocalMachineName(name) && !IsValidMachineName(name))
        return nullptr;
    const std::string nameKey = NameKey(IsLocalMachineName(name) ? u"localhost" : name);
    {
        std::lock_guard lock(gOpenMutex);
        if (auto it = gOpenByName.find(nameKey); it != gOpenByName.end()) {
            if (!checkDisk || it->second->Stamp() == MachineStamp(it->second->Folder()))
                return it->second;
            gOpenByName.erase(it);
        }
    }
    const std::filesystem::path folder = MachineFolderOf(name);
    std::lock_guard lock(gOpenMutex);
    const std::string key = folder.string();
    if (auto it = gOpenMachines.find(key);
        it != gOpenMachines.end() && (!checkDisk || it->second->Stamp() == MachineStamp(folder))) {
        gOpenByName[nameKey] = it->second;
        return it->second;
    }
    gOpenMachines.erase(key);
    if (!MachineExists(folder)) {
        if (!IsLocalMachineName(name))
            return nullptr;
        // Without its facts file the folder is no machine; files of one that lost it
        // are damaged, not to be replaced by the default.
        std::error_code error;
        for (const char* file : {"Metabase.xml", "Pop3.xml"})
            if (std::filesystem::exists(folder / file, error))
                throw EMachineError("Machine file \"" + (folder / "Machine.xml").string() + "\" is missing");
        InstallDefaultMachine(folder);
    }
    auto machine = std::make_shared<TEmulatedMachine>(folder, LoadMachineState(folder), LoadMachineFaults(folder));
    gOpenMachines[key] = machine;
    gOpenByName[nameKey] = machine;
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
}

void CreateMachine(std::u16string_view name, const TMachineState& state) {
    const std::filesystem::path folder = MachineFolderOf(name);
    std::lock_guard lock(gOpenMutex);
    gOpenMachines.erase(folder.string());
    gOpenByName.clear();
    SaveMachineState(folder, state);
}

} // namespace orvex
