// The restore of a generated backup of 200 and 1,000 sites (10 virtual directories
// each) through the wizard's window on the offscreen platform, next to the same
// restore through the engine alone in the same run. The wizard's figure holds its
// log: a line per property, shown in the log window. Reported per benchmark:
// x_engine (median time over the engine's median of that size), lines (the log's
// lines of one restore) and log_bytes_per_line (the log window's memory per line).

#include "BenchSupport.h"
#include "base/EmbeddedResources.h"
#include "base/Module.h"
#include "base/NumberText.h"
#include "base/Utf.h"
#include "engine/BackupDocument.h"
#include "engine/EngineState.h"
#include "engine/SupportedProperties.h"
#include "engine/WebBackup.h"
#include "engine/WebRestore.h"
#include "platform/DefaultMachine.h"
#include "platform/EmulatedMachine.h"
#include "support/Dialogs.h"
#include "wizard/CheckTreeWidget.h"
#include "wizard/LogView.h"
#include "wizard/MainForm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace orvex;

constexpr int kDirsPerSite = 10;
constexpr int kSiteCounts[] = {200, 1000};

using bench::Median;
using bench::TBenchFolder;
using bench::TimeIterations;

// A local machine without web sites, made afresh and opened.
void FreshLocalMachine(TBenchFolder& folder) {
    CloseMachines();
    folder.SetAside(MachineFolderOf(u"localhost"));
    CreateMachine(u"localhost", BuildLargeMachineState(ComputerName(), 0, kDirsPerSite));
    OpenMachine(u"localhost");
}

TBenchFolder& Folder() {
    static TBenchFolder folder("wizard");
    return folder;
}

std::map<int, std::vector<double>> gEngineSeconds;

template <class T>
T& Child(QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (!found) throw std::runtime_error(std::string("no control ") + name);
    return *found;
}

// The wizard on restore page 3, its tree built from the backup of that size with
// every node checked, and the choices that restore every site as new. The backup
// is taken from a machine of that size first.
class TWizardRun {
public:
    explicit TWizardRun(int sites) {
        const std::u16string source = u"BIG" + IntToText(sites);
        const std::u16string file = Utf8ToUtf16(Folder().File("Backup" + std::to_string(sites) + ".xml").string());
        CreateMachine(source, BuildLargeMachineState(source, sites, kDirsPerSite));
        SetBackupFileName(file);
        EnsureBackupFile();
        if (!BackupMachine(u"Big", source)) throw std::runtime_error("the backup failed");
        FreshLocalMachine(Folder());

        FForm = CreateProgramWindows();
        FForm->show();
        Child<QRadioButton>(*FForm, "rbRestore").setChecked(true);
        Click("btnnext");
        Child<QLineEdit>(*FForm, "editRestoreMetafile").setText(QString::fromStdU16String(file));
        Click("btnnext");
        TCheckTreeWidget& tree = FForm->RestoreTree();
        if (FForm->ActivePage() != wpRestore2 || tree.topLevelItemCount() != 1)
            throw std::runtime_error("the backup file was not loaded");
        tree.setCurrentItem(tree.topLevelItem(0));
        QTest::keyClick(&tree, Qt::Key_Space);
        Click("btnnext");
        for (const char* choice : {"rbWebsitesExist2", "rbIpNotFound2", "rbPathsValid2"})
            Child<QRadioButton>(*FForm, choice).setChecked(true);
    }

    TMainForm& Form() { return *FForm; }
    void Click(const char* name) { Child<QAbstractButton>(*FForm, name).click(); }

private:
    std::unique_ptr<TMainForm> FForm;
};

std::map<int, std::unique_ptr<TWizardRun>> gRuns;

TWizardRun& RunOf(int sites) {
    auto& run = gRuns[sites];
    if (!run) run = std::make_unique<TWizardRun>(sites);
    return *run;
}

// The restore of every site through the engine alone: the wizard's own tree, the
// console's log sink (no log window, no event loop).
void BM_EngineRestore(benchmark::State& state, int sites) {
    TWizardRun& run = RunOf(sites);
    const std::vector<double> times = TimeIterations(
        state, [] { FreshLocalMachine(Folder()); },
        [&] {
            TEngineHostScope console(nullptr, nullptr);
            SetSiteConflictMode(scmCreateNew);
            RestoreMachine(u"localhost", u"IIS6", run.Form().RestoreTree());
        });
    gEngineSeconds[sites].insert(gEngineSeconds[sites].end(), times.begin(), times.end());
    state.counters["x_engine"] = 1.0;
}

// Next on restore page 3, as a user clicks it, until the window has shown the
// restore's last line on page 5; the log is cleared before each run.
void BM_WizardRestore(benchmark::State& state, int sites) {
    TWizardRun& run = RunOf(sites);
    TLogView& log = run.Form().LogView();
    const std::vector<double> times = TimeIterations(
        state,
        [&] {
            FreshLocalMachine(Folder());
            if (run.Form().ActivePage() == wpRestore5) run.Click("btnback");
            log.clear();
        },
        [&] {
            run.Click("btnnext");
            QApplication::processEvents();
        });
    if (run.Form().ActivePage() != wpRestore5) throw std::runtime_error("the restore did not run");
    const double lines = static_cast<double>(log.Lines().Count());
    state.counters["x_engine"] = Median(times) / Median(gEngineSeconds[sites]);
    state.counters["lines"] = lines;
    state.counters["log_bytes_per_line"] = static_cast<double>(log.Lines().MemoryBytes()) / lines;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // Every question (the one before the restore) is answered Yes.
    MessageDialogHook = [](const std::u16string&, TMsgDlgType, TMsgDlgButtons, int32_t) { return mrYes; };
    FillSupportedPropertyTable(std::string(*FindEmbeddedResource(u"SupportedProperty")));
    Folder();  // $ORVEX_MACHINES points at it before any machine is made
    for (int sites : kSiteCounts) {
        const std::string size = "/" + std::to_string(sites);
        benchmark::RegisterBenchmark(("BM_EngineRestore" + size).c_str(), BM_EngineRestore, sites)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->MinTime(sites >= 1000 ? 5.0 : 1.0);
        benchmark::RegisterBenchmark(("BM_WizardRestore" + size).c_str(), BM_WizardRestore, sites)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->MinTime(sites >= 1000 ? 5.0 : 1.0);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gRuns.clear();
    std::filesystem::remove(std::filesystem::path(Utf16ToUtf8(ExecutableFolder())) / "config.ini");
    return 0;
}
