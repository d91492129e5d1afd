#include "platform/MachineStorage.h"

#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace orvex {

// Until the XML library lands, machine state lives in memory, keyed by folder; the
// folder itself holds drives/ and Faults.txt on disk.
namespace {

struct TStoredMachine {
    TMachineState State;
    uint64_t Version = 0;
};

std::mutex gStoreMutex;
std::map<std::string, TStoredMachine> gStore;
uint64_t gNextVersion = 1;

std::string Key(const std::filesystem::path& folder) { return std::filesystem::absolute(folder).lexically_normal().string(); }

TStoredMachine& Stored(const std::filesystem::path& folder) {
    auto it = gStore.find(Key(folder));
    if (it == gStore.end())
        throw EMachineError("Machine file \"" + (folder / "Machine.xml").string() + "\" does not exist");
    return it->second;
}

std::string FileStamp(const std::filesystem::path& file) {
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error)
        return "-";
    const auto time = std::filesystem::last_write_time(file, error);
    return std::to_string(size) + ":" + std::to_string(time.time_since_epoch().count());
}

} // namespace

bool MachineExists(const std::filesystem::path& folder) {
    std::lock_guard lock(gStoreMutex);
    return gStore.count(Key(folder)) != 0;
}

TMachineState LoadMachineState(const std::filesystem::path& folder) {
    std::lock_guard lock(gStoreMutex);
    return Stored(folder).State.Clone();
}

TMachineFaults LoadMachineFaults(const std::filesystem::path& folder) {
    const std::filesystem::path file = folder / "Faults.txt";
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream text;
    text << in.rdbuf();
    return TMachineFaults::Parse(text.str(), file.string());
}

void SaveMachineState(const std::filesystem::path& folder, const TMachineState& state) {
    std::filesystem::create_directories(folder / "drives");
    std::lock_guard lock(gStoreMutex);
    gStore[Key(folder)] = {state.Clone(), gNextVersion++};
}

void SaveMachineMetabase(const std::filesystem::path& folder, const TMetabase& metabase) {
    std::lock_guard lock(gStoreMutex);
    TStoredMachine& stored = Stored(folder);
    stored.State.Metabase = metabase.Clone();
    stored.Version = gNextVersion++;
}

void SaveMachinePop3(const std::filesystem::path& folder, const TPop3State& pop3) {
    std::lock_guard lock(gStoreMutex);
    TStoredMachine& stored = Stored(folder);
    stored.State.Pop3 = std::make_unique<TPop3State>(pop3);
    stored.Version = gNextVersion++;
}

std::string MachineStamp(const std::filesystem::path& folder) {
    std::lock_guard lock(gStoreMutex);
    auto it = gStore.find(Key(folder));
    const std::string version = it == gStore.end() ? "-" : std::to_string(it->second.Version);
    return version + "|" + FileStamp(folder / "Faults.txt");
}

} // namespace orvex
