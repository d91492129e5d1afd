#include "platform/EmulatedMachine.h"

#include "platform/DefaultMachine.h"
#include "platform/MachineStorage.h"
#include "platform/base/Module.h"
#include "platform/base/Utf.h"

#include <map>
#include <mutex>

namespace orvex {

namespace {

std::mutex gOpenMutex;
std::map<std::string, std::shared_ptr<TEmulatedMachine>> gOpenMachines;

bool IsValidMachineName(std::u16string_view name) {
    if (name.empty() || name == u"." || name == u"..")
        return false;
    for (char16_t c : name)
        if (c < 0x20 || std::u16string_view(u"/\\:*?\"<>|").find(c) != std::u16string_view::npos)
            return false;
    return true;
}

// The existing folder whose name equals name ignoring case, else machines/name.
std::filesystem::path FindFolder(std::u16string_view name) {
    const std::filesystem::path root = MachinesFolder();
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(root, error))
        if (SameName(Utf8ToUtf16(entry.path().filename().string()), name))
            return entry.path();
    return root / Utf16ToUtf8(name);
}

} // namespace

TEmulatedMachine::TEmulatedMachine(std::filesystem::path folder, TMachineState state, TMachineFaults faults)
    : FFolder(std::move(folder)), FState(std::move(state)), FFaults(std::move(faults)), FStamp(MachineStamp(FFolder)) {}

void TEmulatedMachine::CheckFault(std::u16string_view operation, std::u16string_view path, std::u16string_view name) {
    if (!FFaults.Empty())
        FFaults.Check(operation, path, name);
}

void TEmulatedMachine::SaveMetabase() {
    try {
        SaveMachineMetabase(FFolder, *FState.Metabase);
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
    return name.empty() || SameName(name, u"localhost") || name == u"127.0.0.1" || name == u"." ||
           SameName(name, ComputerName());
}

std::filesystem::path MachineFolderOf(std::u16string_view name) {
    if (IsLocalMachineName(name))
        return FindFolder(u"localhost");
    if (!IsValidMachineName(name))
        throw EMachineError("\"" + Utf16ToUtf8(name) + "\" is not a machine name");
    return FindFolder(name);
}

std::shared_ptr<TEmulatedMachine> OpenMachine(std::u16string_view name) {
    if (!IsLocalMachineName(name) && !IsValidMachineName(name))
        return nullptr;
    const std::filesystem::path folder = MachineFolderOf(name);
    std::lock_guard lock(gOpenMutex);
    const std::string key = std::filesystem::absolute(folder).lexically_normal().string();
    if (auto it = gOpenMachines.find(key); it != gOpenMachines.end() && it->second->Stamp() == MachineStamp(folder))
        return it->second;
    gOpenMachines.erase(key);
    if (!MachineExists(folder)) {
        if (!IsLocalMachineName(name))
            return nullptr;
        InstallDefaultMachine(folder);
    }
    auto machine = std::make_shared<TEmulatedMachine>(folder, LoadMachineState(folder), LoadMachineFaults(folder));
    gOpenMachines[key] = machine;
    return machine;
}

void CloseMachines() {
    std::lock_guard lock(gOpenMutex);
    gOpenMachines.clear();
}

void CreateMachine(std::u16string_view name, const TMachineState& state) {
    const std::filesystem::path folder = MachineFolderOf(name);
    std::lock_guard lock(gOpenMutex);
    gOpenMachines.erase(std::filesystem::absolute(folder).lexically_normal().string());
    SaveMachineState(folder, state);
}

} // namespace orvex
