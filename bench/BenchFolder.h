#pragma once
// The benchmarks' temporary folder: the emulated machines ($ORVEX_MACHINES points
// into it) and the backup files, removed at exit.

#include "platform/EmulatedMachine.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

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

} // namespace orvex::bench
