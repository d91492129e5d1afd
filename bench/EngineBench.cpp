// The web backup and the restore of generated machines of 50, 200 and 1,000 sites
// with 10 virtual directories each, next to a bare load and readable save of the
// backup file they write or read, measured in the same run. Every benchmark
// reports its time as a multiple of that load and save (x_load_save) and the peak
// memory while it ran (peak_MB).
//
// Then the routines whose work must grow no faster than their input, each at
// several sizes with the growth fitted: one site backed up from machines of every
// size, service extensions under one description, the addresses of many sites,
// and the renumbering of many conflicting sites.
//
// Last, a backup of 40 sites whose machine holds a Faults.txt of 100,000 lines
// that match none of its calls, next to the same backup with no faults.

#include "BenchSupport.h"
#include "base/EmbeddedResources.h"
#include "base/Module.h"
#include "base/NumberText.h"
#include "base/Utf.h"
#include "engine/BackupDocument.h"
#include "engine/BackupGrammar.h"
#include "engine/BackupPaths.h"
#include "engine/Collectors.h"
#include "engine/EngineState.h"
#include "engine/RestoreTree.h"
#include "engine/SiteConflicts.h"
#include "engine/SupportedProperties.h"
#include "engine/WebBackup.h"
#include "engine/WebRestore.h"
#include "platform/DefaultMachine.h"
#include "platform/EmulatedMachine.h"
#include "xml/WideXmlDocument.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace orvex;

constexpr int kDirsPerSite = 10;
constexpr int kSiteCounts[] = {50, 200, 1000};

using bench::Median;
using bench::TBenchFolder;

TBenchFolder& Folder() {
    static TBenchFolder folder("engine");
    return folder;
}

std::u16string SourceMachine(int sites) { return u"BIG" + IntToText(sites); }
std::filesystem::path BackupFile(int sites) { return Folder().File("Backup" + std::to_string(sites) + ".xml"); }

// Peak memory while one benchmark runs: the kernel's high-water mark, reset first.
void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }
double PeakMegabytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;  // kB
    return 0;
}

// Every bare load and save of each backup file so far, in seconds.
std::map<int, std::vector<double>> gLoadSaveSeconds;

// Times the body of each iteration only (prepare runs outside the timing) and
// reports the counters every benchmark here carries: x_load_save is the median
// time of this run over the median load and save so far.
template <class TPrepare, class TBody>
void Measure(benchmark::State& state, int sites, TPrepare prepare, TBody body, bool loadSave = false) {
    ResetPeakMemory();
    const std::vector<double> times = bench::TimeIterations(state, prepare, body);
    if (loadSave) gLoadSaveSeconds[sites].insert(gLoadSaveSeconds[sites].end(), times.begin(), times.end());
    state.counters["x_load_save"] = Median(times) / Median(gLoadSaveSeconds[sites]);
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(BackupFile(sites))) / 1e6;
    state.counters["peak_MB"] = PeakMegabytes();
}

// The restore tree of a backup file: every backup and element, all checked.
class TBenchNode : public TTreeNode {
public:
    TBenchNode(std::u16string text, TBenchNode* parent, const TWideXmlNode& element)
        : FText(std::move(text)), FParent(parent),
          FData(NewTreeNodeData(parent ? element.AttributeByName(backupxml::AttrPath) : backupxml::PathWebService,
                                element.AttributeByName(backupxml::AttrClassName))) {
        FData->Checked = FData->PropertiesChecked = 1;
        for (int i = 0; i < element.NodeCount(); ++i)
            if (const TWideXmlNode& child = *element.Nodes(i); child.Name() == backupxml::ElemSubDir)
                FChildren.push_back(std::make_unique<TBenchNode>(child.AttributeByName(backupxml::AttrPath), this, child));
    }
    std::u16string Text() const override { return FText; }
    TTreeNode* Parent() const override { return FParent; }
    int ChildCount() const override { return static_cast<int>(FChildren.size()); }
    TTreeNode* Child(int index) const override { return FChildren[static_cast<size_t>(index)].get(); }
    TreeNodeData* Data() const override { return FData.get(); }

private:
    std::u16string FText;
    TBenchNode* FParent;
    TTreeNodeDataPtr FData;
    std::vector<std::unique_ptr<TBenchNode>> FChildren;
};

class TBenchTree : public TRestoreTree {
public:
    explicit TBenchTree(const TWideXmlDocument& document) {
        const TWideXmlNode& machines = *document.Root()->NodeByName(backupxml::ElemMachines);
        for (int i = 0; i < machines.NodeCount(); ++i)
            FTops.push_back(std::make_unique<TBenchNode>(
                machines.Nodes(i)->AttributeByName(backupxml::AttrBackupName), nullptr, *machines.Nodes(i)));
    }
    int TopLevelCount() const override { return static_cast<int>(FTops.size()); }
    TTreeNode* TopLevelNode(int index) const override { return FTops[static_cast<size_t>(index)].get(); }

private:
    std::vector<std::unique_ptr<TBenchNode>> FTops;
};

void Backup(int sites) {
    SetBackupFileName(Utf8ToUtf16(BackupFile(sites).string()));
    if (!BackupMachine(u"Big", SourceMachine(sites))) throw std::runtime_error("the backup failed");
}

// A new backup file holding only the skeleton.
void FreshBackupFile(int sites) {
    std::filesystem::remove(BackupFile(sites));
    SetBackupFileName(Utf8ToUtf16(BackupFile(sites).string()));
    EnsureBackupFile();
}

// The machine of that size and its backup file, made once, before any timing.
void Prepare(int sites) {
    static std::set<int> prepared;
    if (!prepared.insert(sites).second) return;
    CreateMachine(SourceMachine(sites), BuildLargeMachineState(SourceMachine(sites), sites, kDirsPerSite));
    FreshBackupFile(sites);
    Backup(sites);
}

// The backup: with the machine closed before each run, reading its folder is
// timed, as on the first backup of a program run; or with the machine open.
void BM_Backup(benchmark::State& state, int sites, bool open) {
    Prepare(sites);
    Measure(
        state, sites,
        [&] {
            FreshBackupFile(sites);
            if (open)
                OpenMachine(SourceMachine(sites));
            else
                CloseMachines();
        },
        [&] { Backup(sites); });
}

// What neither can beat: reading the backup file and writing it again.
void BM_LoadSave(benchmark::State& state, int sites) {
    Prepare(sites);
    const std::u16string input = Utf8ToUtf16(BackupFile(sites).string());
    const std::u16string output = Utf8ToUtf16(Folder().File("Copy.xml").string());
    Measure(state, sites, [] {}, [&] {
        TWideXmlDocument document;
        document.LoadFromFile(input);
        document.SetXmlFormat(xfReadable);
        document.SaveToFile(output);
    }, true);
}

// The whole backup restored into the local machine: one without web sites, or the
// machine it was taken from (every site exists and is overwritten). The machine is
// made afresh and opened and the restore tree built before each run, as the wizard
// has them when its restore starts; the restore reads the backup file and writes
// the machine's files.
void BM_Restore(benchmark::State& state, int sites, bool intoEmpty) {
    Prepare(sites);
    SetSiteConflictMode(scmOverwrite);
    std::unique_ptr<TBenchTree> tree;
    Measure(
        state, sites,
        [&] {
            CloseMachines();
            Folder().SetAside(MachineFolderOf(u"localhost"));
            CreateMachine(u"localhost", BuildLargeMachineState(ComputerName(), intoEmpty ? 0 : sites, kDirsPerSite));
            OpenMachine(u"localhost");
            SetBackupFileName(Utf8ToUtf16(BackupFile(sites).string()));
            tree = std::make_unique<TBenchTree>(*LoadBackupDocument());
        },
        [&] { RestoreMachine(u"localhost", u"IIS6", *tree); });
}

// The local machine made afresh from state, the last one set aside.
void ReplaceLocalMachine(const TMachineState& state) {
    CloseMachines();
    Folder().SetAside(MachineFolderOf(u"localhost"));
    CreateMachine(u"localhost", state);
}

// A document holding one empty `Machine` element of the web service.
TWideXmlNode& EmptyMachineElement(TWideXmlDocument& document) {
    document.Root()->SetName(backupxml::ElemRoot);
    TWideXmlNode& machine = *document.Root()->NodeNew(backupxml::ElemMachines)->NodeNew(backupxml::ElemMachine);
    machine.AttributeAdd(backupxml::AttrPath, backupxml::PathWebService);
    return machine;
}

std::string SiteElement(int id, const std::string& inner) {
    return "<SubDir path=\"" + std::to_string(id) + "\" className=\"IIsWebServer\" siteName=\"S" +
           std::to_string(id) + "\">" + inner + "</SubDir>";
}

// A backup file of one backup holding these sites.
void WriteBackupOfSites(int sites, const std::string& file, const std::function<std::string(int)>& inner) {
    std::string text = "<Root><Machines><Machine backupName=\"B\" path=\"w3svc\" className=\"IIsWebService\">";
    for (int id = 1; id <= sites; ++id) text += SiteElement(id, inner(id));
    std::ofstream(Folder().File(file), std::ios::binary) << text << "</Machine></Machines></Root>";
    SetBackupFileName(Utf8ToUtf16(Folder().File(file).string()));
}

// The last site of a machine of that size with all below it: a bind must not cost
// more on a larger machine.
void BM_BackupOneSite(benchmark::State& state) {
    const int sites = static_cast<int>(state.range(0));
    Prepare(sites);
    OpenMachine(SourceMachine(sites));
    for (auto _ : state) {
        TWideXmlDocument document;
        TWideXmlNode& site = EmptyMachineElement(document);
        if (!BackupDirectory(SourceMachine(sites), u"W3SVC/" + IntToText(sites), site, true))
            throw std::runtime_error("the site could not be read");
    }
    state.SetComplexityN(sites);
}

// Files of one description: its GroupID is found through an index, not a scan.
void BM_ServiceExtensions(benchmark::State& state) {
    const int files = static_cast<int>(state.range(0));
    std::vector<std::u16string> entries;
    for (int i = 0; i < files; ++i)
        entries.push_back(u"1,C:\\f" + IntToText(i) + u".dll,0,G" + IntToText(i) + u",Desc");
    TMachineState local = BuildDefaultMachineState(ComputerName());
    local.Metabase->Find(u"W3SVC")->SetValue(u"WebSvcExtRestrictionList", TextArray(entries));
    ReplaceLocalMachine(local);
    for (auto _ : state) {
        state.PauseTiming();
        auto document = std::make_unique<TWideXmlDocument>();
        TWideXmlNode& machine = EmptyMachineElement(*document);
        state.ResumeTiming();
        BackupServiceExtensions(u"", backupxml::PathWebService, machine);
        state.PauseTiming();
        if (machine.NodeCount() != 1) throw std::runtime_error("no service extensions were written");
        document.reset();
        state.ResumeTiming();
    }
    state.SetComplexityN(files);
}

// The addresses of every site: each site's element is found through a map.
void BM_GatherAddresses(benchmark::State& state) {
    const int sites = static_cast<int>(state.range(0));
    WriteBackupOfSites(sites, "Addresses.xml", [](int id) {
        return "<Property id=\"ServerBindings\" type=\"LIST\" value=\"\" Inherit=\"False\"><Item value=\"10.0." +
               std::to_string(id / 250) + "." + std::to_string(id % 250) + ":80:\"/></Property>";
    });
    const TBenchTree tree(*LoadBackupDocument());
    std::vector<std::u16string> list;
    for (auto _ : state) {
        list.clear();
        GetAllIP(list, tree, false);
        if (list.size() != static_cast<size_t>(sites)) throw std::runtime_error("addresses are missing");
    }
    state.SetComplexityN(sites);
}

// Every site of the backup is on the machine: each gets the next free identifier
// of both lists, and the file is saved once.
void BM_RenumberConflictingSites(benchmark::State& state) {
    const int sites = static_cast<int>(state.range(0));
    ReplaceLocalMachine(BuildLargeMachineState(ComputerName(), sites, 0));
    SetSiteConflictMode(scmCreateNew);
    std::unique_ptr<TBenchTree> tree;
    for (auto _ : state) {
        state.PauseTiming();
        WriteBackupOfSites(sites, "Conflicts.xml", [](int) { return std::string(); });
        tree = std::make_unique<TBenchTree>(*LoadBackupDocument());
        std::vector<std::u16string> skip;
        state.ResumeTiming();
        if (!CheckSites(u"localhost", *tree, skip)) throw std::runtime_error("the sites could not be checked");
    }
    state.SetComplexityN(sites);
}

// A machine of 40 sites, and its Faults.txt (when asked) of 100,000 lines that no
// call of its backup matches: operations it makes, on paths or names it never asks,
// exact and wildcard.
constexpr int kFaultSites = 40;
constexpr int kUnmatchedFaults = 100000;

std::u16string FaultsMachine(bool faults) { return faults ? u"FAULTS40" : u"PLAIN40"; }

void PrepareFaultsMachine(bool faults) {
    static std::set<bool> prepared;
    if (!prepared.insert(faults).second) return;
    CreateMachine(FaultsMachine(faults), BuildLargeMachineState(FaultsMachine(faults), kFaultSites, kDirsPerSite));
    if (!faults) return;
    static constexpr const char* kOperations[] = {"Bind", "Enum", "Get", "Call"};
    std::string text;
    for (int i = 0; i < kUnmatchedFaults; ++i) {
        const std::string unknown = std::to_string(1000 + i);
        const std::string pathAndName = i % 3 == 0   ? "*|Missing" + unknown
                                        : i % 3 == 1 ? "W3SVC/" + unknown + "|"
                                                     : "W3SVC/" + unknown + "|ServerComment";
        text += std::string(kOperations[i % 4]) + "|" + pathAndName + "|0x80004005\n";
    }
    std::ofstream(MachineFolderOf(FaultsMachine(faults)) / "Faults.txt", std::ios::binary) << text;
}

// Every backup of the machine without faults so far, in seconds.
std::vector<double> gNoFaultsSeconds;

// The backup with the machine closed before each run, so that its Faults.txt is
// read within the timing, as on the first backup of a program run. x_no_faults is
// its median time over the median backup without faults so far.
void BM_BackupWithFaults(benchmark::State& state, bool faults) {
    PrepareFaultsMachine(faults);
    const std::filesystem::path file = Folder().File("Faults.xml");
    const std::vector<double> times = bench::TimeIterations(
        state,
        [&] {
            std::filesystem::remove(file);
            SetBackupFileName(Utf8ToUtf16(file.string()));
            EnsureBackupFile();
            CloseMachines();
        },
        [&] {
            if (!BackupMachine(u"Big", FaultsMachine(faults))) throw std::runtime_error("the backup failed");
        });
    if (!faults) gNoFaultsSeconds.insert(gNoFaultsSeconds.end(), times.begin(), times.end());
    state.counters["x_no_faults"] = Median(times) / Median(gNoFaultsSeconds);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    FillSupportedPropertyTable(std::string(*FindEmbeddedResource(u"SupportedProperty")));
    Folder();  // $ORVEX_MACHINES points at it before any machine is made
    // The figures of one size all run before the next size is made; the load and
    // save first, as the others are measured against it.
    for (int sites : kSiteCounts) {
        const std::string size = "/" + std::to_string(sites);
        for (auto [name, run] : std::initializer_list<std::pair<const char*, void (*)(benchmark::State&, int)>>{
                 {"BM_LoadSave", BM_LoadSave},
                 {"BM_Backup", [](benchmark::State& s, int n) { BM_Backup(s, n, false); }},
                 {"BM_BackupOpen", [](benchmark::State& s, int n) { BM_Backup(s, n, true); }},
                 {"BM_RestoreIntoEmpty", [](benchmark::State& s, int n) { BM_Restore(s, n, true); }},
                 {"BM_RestoreIntoSame", [](benchmark::State& s, int n) { BM_Restore(s, n, false); }}})
            benchmark::RegisterBenchmark((name + size).c_str(), run, sites)
                ->Unit(benchmark::kMillisecond)
                ->UseManualTime()
                ->MinTime(sites >= 1000 ? 5.0 : 1.0);
    }
    auto* oneSite = benchmark::RegisterBenchmark("BM_BackupOneSite", BM_BackupOneSite);
    for (int sites : kSiteCounts) oneSite->Arg(sites);
    oneSite->Unit(benchmark::kMicrosecond)->Complexity(benchmark::o1);
    benchmark::RegisterBenchmark("BM_ServiceExtensions", BM_ServiceExtensions)
        ->Arg(2500)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
    benchmark::RegisterBenchmark("BM_GatherAddresses", BM_GatherAddresses)
        ->Arg(1250)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
    benchmark::RegisterBenchmark("BM_RenumberConflictingSites", BM_RenumberConflictingSites)
        ->Arg(125)->Arg(250)->Arg(500)->Arg(1000)->Arg(2000)->Arg(5000)
        ->Unit(benchmark::kMillisecond)->Complexity(benchmark::oAuto);
    for (bool faults : {false, true})
        benchmark::RegisterBenchmark(faults ? "BM_BackupUnmatchedFaults/40" : "BM_BackupNoFaults/40",
                                     BM_BackupWithFaults, faults)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
