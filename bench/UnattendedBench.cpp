// The unattended command-line backup ("orvex /backup ... /q", the real program
// started as cron starts it: no display) of generated machines of 50 and 1,000
// sites, next to the same backup in process, measured in the same run. At the
// end it prints, per size, both medians, their ratio and whether the command line
// stays within the program's 500 ms start timer plus 1.5 times the backup in
// process.

#include "BenchSupport.h"
#include "base/NumberText.h"
#include "base/Utf.h"
#include "engine/BackupDocument.h"
#include "engine/EngineState.h"
#include "engine/WebBackup.h"
#include "platform/DefaultMachine.h"
#include "platform/EmulatedMachine.h"

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

using namespace orvex;
using bench::Median;
using bench::TBenchFolder;
using bench::TimeIterations;

constexpr int kDirsPerSite = 10;
constexpr int kSiteCounts[] = {50, 1000};

TBenchFolder& Folder() {
    static TBenchFolder folder("unattended");
    return folder;
}

// The program, linked into the folder so that its info log and config.ini stay there.
std::string Program() {
    static const std::string program = [] {
        const std::filesystem::path link = Folder().File("orvex");
        std::error_code error;
        std::filesystem::create_hard_link(ORVEX_EXECUTABLE, link, error);
        if (error)
            std::filesystem::copy_file(ORVEX_EXECUTABLE, link);
        return link.string();
    }();
    return program;
}

std::u16string SourceMachine(int sites) { return u"BIG" + IntToText(sites); }
std::filesystem::path BackupFile(int sites) { return Folder().File("Backup" + std::to_string(sites) + ".xml"); }

// Seconds of every run, by benchmark kind and size.
std::map<std::pair<std::string, int>, std::vector<double>> gSeconds;

template <class TBody>
void Measure(benchmark::State& state, const std::string& kind, int sites, TBody body) {
    static std::map<int, bool> made;
    if (!made[sites]) {
        CreateMachine(SourceMachine(sites), BuildLargeMachineState(SourceMachine(sites), sites, kDirsPerSite));
        made[sites] = true;
    }
    const std::vector<double> times = TimeIterations(
        state,
        [sites] {
            std::filesystem::remove(BackupFile(sites));
            CloseMachines();  // read from its folder within the timing, as a fresh program does
        },
        body);
    gSeconds[{kind, sites}].insert(gSeconds[{kind, sites}].end(), times.begin(), times.end());
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(BackupFile(sites))) / 1e6;
}

// What the command line does, in this process: the backup file made, then the backup.
void BM_InProcess(benchmark::State& state, int sites) {
    Measure(state, "in process", sites, [sites] {
        SetBackupFileName(Utf8ToUtf16(BackupFile(sites).string()));
        EnsureBackupFile();
        if (!BackupMachine(u"Big", SourceMachine(sites))) throw std::runtime_error("the backup failed");
    });
}

// The program as cron starts it: no display, no runtime folder.
void BM_CommandLine(benchmark::State& state, int sites) {
    std::vector<std::string> environment;
    for (char** variable = environ; *variable; ++variable) {
        const std::string_view text = *variable;
        const std::string_view name = text.substr(0, text.find('='));
        if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "QT_QPA_PLATFORM" && name != "XDG_RUNTIME_DIR")
            environment.emplace_back(text);
    }
    const std::string program = Program();
    std::vector<std::string> arguments = {program, "/backup", "-m", Utf16ToUtf8(SourceMachine(sites)), "-n", "Big",
                                          "-f", BackupFile(sites).string(), "/q"};
    Measure(state, "command line", sites, [&] {
        std::vector<char*> argv, envp;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        for (std::string& variable : environment) envp.push_back(variable.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        pid_t child = 0;
        if (::posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0)
            throw std::runtime_error("the program could not be started");
        int status = 0;
        ::waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            throw std::runtime_error("the unattended backup did not run clean");
    });
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Folder();
    for (int sites : kSiteCounts) {
        const std::string size = "/" + std::to_string(sites);
        benchmark::RegisterBenchmark(("BM_InProcess" + size).c_str(), BM_InProcess, sites)
            ->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(sites >= 1000 ? 5.0 : 1.0);
        benchmark::RegisterBenchmark(("BM_CommandLine" + size).c_str(), BM_CommandLine, sites)
            ->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(sites >= 1000 ? 10.0 : 2.0);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (int sites : kSiteCounts) {
        const double inProcess = Median(gSeconds[{"in process", sites}]);
        const double commandLine = Median(gSeconds[{"command line", sites}]);
        if (inProcess == 0 || commandLine == 0) continue;
        const double goal = 0.5 + 1.5 * inProcess;
        std::printf("%d sites: command line %.0f ms, in process %.0f ms, ratio %.2f; goal 500 ms + 1.5 x in process = "
                    "%.0f ms: %s\n",
                    sites, commandLine * 1000, inProcess * 1000, commandLine / inProcess, goal * 1000,
                    commandLine <= goal ? "met" : "NOT met");
    }
    return 0;
}
