// The web backup of a generated machine of 1,000 sites with 10 virtual directories
// each, next to a bare load and readable save of the file it writes. Peak memory
// (ru_maxrss) goes out as a counter of every benchmark.

#include "engine/BackupDocument.h"
#include "engine/EngineState.h"
#include "engine/WebBackup.h"
#include "platform/DefaultMachine.h"
#include "platform/EmulatedMachine.h"
#include "platform/base/Utf.h"
#include "xml/WideXmlDocument.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

using namespace orvex;

constexpr int kDirsPerSite = 10;

// 1,000 sites; ORVEX_BENCH_SITES gives a smaller machine for profiling.
int SiteCount() {
    const char* text = std::getenv("ORVEX_BENCH_SITES");
    int sites = 0;
    if (text)
        std::from_chars(text, text + std::strlen(text), sites);
    return sites > 0 ? sites : 1000;
}

// The machines folder and backup files, in a temporary folder removed at exit.
class TBenchFolder {
public:
    TBenchFolder() {
        FPath = std::filesystem::temp_directory_path() / ("orvex-bench-engine-" + std::to_string(::getpid()));
        std::filesystem::remove_all(FPath);
        std::filesystem::create_directories(FPath / "machines");
        setenv("ORVEX_MACHINES", (FPath / "machines").c_str(), 1);
        CloseMachines();
        CreateMachine(u"BIG", BuildLargeMachineState(u"BIG", SiteCount(), kDirsPerSite));
        OpenMachine(u"");  // the local machine (the namespace of "IIS:") is installed here
    }
    ~TBenchFolder() {
        CloseMachines();
        std::error_code error;
        std::filesystem::remove_all(FPath, error);
    }
    std::filesystem::path File(const char* name) const { return FPath / name; }

private:
    std::filesystem::path FPath;
};

TBenchFolder& Folder() {
    static TBenchFolder folder;
    return folder;
}

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

// A new backup file holding only the skeleton.
void FreshBackupFile(const std::filesystem::path& file) {
    std::filesystem::remove(file);
    SetBackupFileName(Utf8ToUtf16(file.string()));
    EnsureBackupFile();
}

// cold: the machine is read from its folder within the timing, as on the first
// backup of a program run; warm: it is open already.
void RunBackup(benchmark::State& state, bool cold) {
    const std::filesystem::path file = Folder().File("Backup.xml");
    for (auto _ : state) {
        state.PauseTiming();
        FreshBackupFile(file);
        if (cold)
            CloseMachines();
        else
            OpenMachine(u"BIG");
        state.ResumeTiming();
        if (!BackupMachine(u"Big", u"BIG"))
            throw std::runtime_error("the backup failed");
    }
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
    state.counters["peak_rss_MB"] = PeakMegabytes();
}

void BM_BackupMachine(benchmark::State& state) { RunBackup(state, true); }
void BM_BackupMachineOpen(benchmark::State& state) { RunBackup(state, false); }

// What the backup cannot beat: reading the file it wrote and writing it again.
void BM_LoadSaveBackupFile(benchmark::State& state) {
    const std::filesystem::path file = Folder().File("Backup.xml");
    if (!std::filesystem::exists(file)) {
        FreshBackupFile(file);
        if (!BackupMachine(u"Big", u"BIG"))
            throw std::runtime_error("the backup failed");
    }
    const std::u16string input = Utf8ToUtf16(file.string());
    const std::u16string output = Utf8ToUtf16(Folder().File("Copy.xml").string());
    for (auto _ : state) {
        TWideXmlDocument document;
        document.LoadFromFile(input);
        document.SetXmlFormat(xfReadable);
        document.SaveToFile(output);
    }
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
    state.counters["peak_rss_MB"] = PeakMegabytes();
}

BENCHMARK(BM_BackupMachine)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_BackupMachineOpen)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_LoadSaveBackupFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Folder();  // the machine is made before any timing
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
