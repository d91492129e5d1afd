// The backup and restore runs of the main window, and its command-line mode.

#include "wizard/MainForm.h"

#include "base/CommandLine.h"
#include "base/Module.h"
#include "base/Utf.h"
#include "engine/BackupDocument.h"
#include "engine/EngineState.h"
#include "engine/ProgressLog.h"
#include "engine/WebBackup.h"
#include "engine/WebRestore.h"
#include "platform/EmulatedMachine.h"
#include "support/CmdLineSwitch.h"
#include "support/DateTimeText.h"
#include "support/Dialogs.h"
#include "support/GuiText.h"
#include "support/HostInfo.h"
#include "ui_MainForm.h"
#include "wizard/FormCheckIP.h"
#include "wizard/FormCheckPath.h"
#include "wizard/HandlerGuard.h"
#include "wizard/PropertyPane.h"

#include <QCoreApplication>
#include <QTimer>

namespace orvex {

namespace {

// The first "(~today~)" of name becomes today's date as yyyymmdd.
std::u16string ExpandToday(std::u16string name) {
    constexpr std::u16string_view marker = u"(~today~)";
    if (const size_t at = name.find(marker); at != std::u16string::npos)
        name.replace(at, marker.size(), FormatDateYyyymmdd(LocalNow()));
    return name;
}

} // namespace

bool TMainForm::BackupExecute() {
    TBusyScope busy(*this);
    FHost.StartRun();
    SetBackupFileName(BackupMetaFileName);
    // A machine or file the backup refuses is reported by it, and no file is made.
    const bool refused = !BackupRefusal(FBackupMachineName).empty();
    if (!refused)
        EnsureBackupFile();
    SetButtonsEnabled(false);
    ui->BackupBar->show();
    ui->BackupBar->setValue(10);
    ui->BackupBar->raise();
    ui->BackupBar->setEnabled(true);
    ui->BackupBar->repaint();
    QCoreApplication::processEvents();
    BackupMachine(BackupName, FBackupMachineName);
    ui->BackupBar->setValue(40);
    // An unattended run closes the window at once: nobody would see the new tree.
    const bool showTree = !refused && !IsUnattendedRun();
    if (showTree)
        FBackupPane->RefreshTree();
    else
        FBackupPane->Tree().clear();
    ui->BackupBar->setValue(70);
    if (showTree)
        ReloadXml(*FBackupPane);
    else
        FBackupPane->List().setRowCount(0);
    ui->BackupBar->setValue(100);
    if (!HasCmdLineSwitch(u"/q"))
        SetButtonsEnabled(true);
    return !BackupErrorFlag();
}

void TMainForm::ReportUnusableMachinesFolder() {
    // An unattended backup reports it in its log instead.
    if (IsUnattendedRun())
        return;
    try {
        CheckMachinesFolder();
    } catch (const EMachineFilesError&) {
        ShowCatalogueDialog(*ZDoc, Getlingvo(), u"MsgErrorOk", u"machinesfolder",
                            {Utf8ToUtf16(MachinesFolder().string())});
    }
}

void TMainForm::RestoreExecute() {
    TBusyScope busy(*this);
    FHost.StartRun();
    for (QProgressBar* bar : {ui->DataValidatBar, ui->RestoreBar}) {
        bar->setValue(0);
        bar->show();
        bar->setValue(10);
    }
    LogLine(u"Start restore......", clLogBlue);
    ui->rtLog->ScrollToEnd();
    RestoreMachine(RestoreMachineName, RestoreIisVersion, *ui->tvRestore);
    LogLine(u"Restore finished.", clLogBlue);
    for (QProgressBar* bar : {ui->DataValidatBar, ui->RestoreBar})
        bar->setValue(100);
}

void TMainForm::InitFromCommandLine() {
    if (!HasCmdLineSwitch(u"/backup"))
        return;
    // The name backup page 3 offers.
    BackupName = GetComputerNameString() + u"Sites";
    // The program refuses a command line with an option that has no value before
    // the window opens; here such an option is ignored, and a value is looked at
    // as a parameter too.
    for (int i = 1; i < ParamCount(); ++i) {
        const std::u16string option = ParamStr(i);
        const std::u16string value = ParamStr(i + 1);
        if (option == u"-n") {
            BackupName = ExpandToday(value);
        } else if (option == u"-m") {
            FBackupMachineName = value;
        } else if (option == u"-f") {
            if (value.find(u'/') == std::u16string::npos)
                BackupMetaFileName = RestoreMetaFileName = ExecutableFolder() + value;
            else
                RestoreMetaFileName = std::exchange(BackupMetaFileName, value);
        }
    }
}

bool TMainForm::RunCommandLineBackup() {
    if (!IsUsableBackupName(BackupName)) {
        // Refused before the file is touched.
        const std::u16string text = UnusableBackupNameText(*this, BackupName);
        LogBackupError(text, clLogRed);
        if (!HasCmdLineSwitch(u"/q"))
            ShowWarning(text);
        return false;
    }
    return BackupExecute();
}

void TMainForm::CommandLineTimer() {
    if (FTimer1)
        FTimer1->stop();
    if (FCommandLineDone)
        return;
    if (FBusy) {
        // A run of the user's goes on: the backup follows it.
        if (FTimer1)
            FTimer1->start();
        return;
    }
    FCommandLineDone = true;
    if (!HasCmdLineSwitch(u"/backup"))
        return;
    bool clean = false;
    Guarded([this, &clean] { clean = RunCommandLineBackup(); });
    if (!HasCmdLineSwitch(u"/q"))
        return;
    FExitStatus = clean ? 0 : 1;
    delete FormCheckIP;
    delete FormCheckPath;
    close();
}

} // namespace orvex
