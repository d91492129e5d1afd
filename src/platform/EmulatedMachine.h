#pragma once
// The emulated machines the program reaches by name, each a folder under the
// machines folder. "", "localhost", "127.0.0.1" and this computer's name mean the
// local machine (folder "localhost"), which is created from the built-in default
// machine the first time anything asks for it.

#include "platform/MachineFaults.h"
#include "platform/MachineState.h"

#include <filesystem>
#include <memory>
#include <string>

namespace orvex {

// One open machine. Changes are written through to its folder at once.
class TEmulatedMachine {
public:
    TEmulatedMachine(std::filesystem::path folder, TMachineState state, TMachineFaults faults);

    const std::filesystem::path& Folder() const { return FFolder; }
    const TMachineFacts& Facts() const { return FState.Facts; }
    TMetabase* Metabase() const { return FState.Metabase.get(); }
    TPop3State* Pop3() const { return FState.Pop3.get(); }

    // Raises the planted fault matching this call, if any (see MachineFaults.h).
    void CheckFault(std::u16string_view operation, std::u16string_view path, std::u16string_view name);

    // Write the metabase (the file holding changed, which was just created when
    // created is set) or the POP3 state to the folder. A failure raises
    // EOleSysError(E_FAIL) with the storage's message; the caller undoes its change.
    void SaveMetabase(const TMetaObject& changed, bool created = false);
    void SavePop3();

    const std::string& Stamp() const { return FStamp; }

private:
    std::filesystem::path FFolder;
    TMachineState FState;
    TMachineFaults FFaults;
    std::string FStamp;
};

// The folder of all machines: $ORVEX_MACHINES, or "machines/" beside the executable.
std::filesystem::path MachinesFolder();

bool IsLocalMachineName(std::u16string_view name);

// The open machine of this name, or nullptr when there is none (an unknown or
// malformed name: the caller answers as for an unreachable server). A damaged
// machine file raises EMachineError naming it.
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
// Raises EMachineError for a name that cannot be a folder name.
std::filesystem::path MachineFolderOf(std::u16string_view name);

} // namespace orvex
