#pragma once
// What the benchmarks share: their temporary folder (the emulated machines, which
// $ORVEX_MACHINES points into, and the backup files, removed at exit) and the
// timing of one iteration after its preparation.

#include "platform/EmulatedMachine.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace orvex::bench {

class TBenchFolder {
public:
    explicit TBenchFolder(const std::string& kind) {
        FPath = std::filesystem::temp_directory_path() / ("orvex-bench-" + kind + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(FPath);
        std::filesystem::create_directories(FPath / "machines");
        setenv("ORVEX_MACHINES", (FPath / "machines").c_str(), 1);
        CloseMachines();
        OpenMachine(u"");  // the local machine (the namespace of "IIS:") is installed here
    }
    ~TBenchFolder() {
        CloseMachines();
        std::error_code error;
        std::filesystem::remove_all(FPath, error);
    }
    TBenchFolder(const TBenchFolder&) = delete;
    TBenchFolder& operator=(const TBenchFolder&) = delete;

    std::filesystem::path File(const std::string& name) const { return FPath / name; }

    // Moves a machine's folder out of the way, to be deleted at exit. Deleting the
    // thousand files of the last run right before the timing would make a
    // journal-less ext4 look past each of them whenever the run creates a file.
    void SetAside(const std::filesystem::path& folder) {
        std::error_code error;
        std::filesystem::create_directories(FPath / "aside", error);
        std::filesystem::rename(folder, FPath / "aside" / std::to_string(++FAside), error);
    }

private:
    std::filesystem::path FPath;
    int FAside = 0;
};

inline double Median(std::vector<double> times) {
    if (times.empty())
        return 0;
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    return times[times.size() / 2];
}

// Runs prepare untimed and body timed for each iteration; the seconds of each body.
template <class TPrepare, class TBody>
std::vector<double> TimeIterations(benchmark::State& state, TPrepare prepare, TBody body) {
    std::vector<double> times;
    for (auto _ : state) {
        state.PauseTiming();
        prepare();
        ::sync();  // what prepare wrote reaches the disk before the timing, not within it
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        body();
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        state.SetIterationTime(times.back());
    }
    return times;
}

} // namespace orvex::bench
