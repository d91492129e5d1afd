// The backup and restore runs of the main window, and its command-line mode.

#include "wizard/MainForm.h"

#include "engine/BackupDocument.h"
#include "engine/EngineState.h"
#include "engine/ProgressLog.h"
#include "engine/WebBackup.h"
#include "engine/WebRestore.h"
#include "support/CmdLineSwitch.h"
#include "ui_MainForm.h"
#include "wizard/BackupTree.h"

#include <QCoreApplication>
#include <QTextCursor>
#include <QTimer>


namespace orvex {

bool TMainForm::BackupExecute() {
    TBusyScope busy(*this);
    SetBackupFileName(BackupMetaFileName);
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
    RefreshBackupTree(*ui->tvBackup);
    ui->BackupBar->setValue(70);
    ReloadXml(*ui->tvBackup, *ui->lvProperty);
    ui->BackupBar->setValue(100);
    if (!HasCmdLineSwitch(u"/q"))
        SetButtonsEnabled(true);
    return !BackupErrorFlag();
}

void TMainForm::RestoreExecute() {
    TBusyScope busy(*this);
    for (QProgressBar* bar : {ui->DataValidatBar, ui->RestoreBar}) {
        bar->setValue(0);
        bar->show();
        bar->setValue(10);
    }
    LogLine(u"Start restore......", clLogBlue);
    ui->rtLog->moveCursor(QTextCursor::End);
    RestoreMachine(RestoreMachineName, RestoreIisVersion, *ui->tvRestore);
    LogLine(u"Restore finished.", clLogBlue);
    for (QProgressBar* bar : {ui->DataValidatBar, ui->RestoreBar})
        bar->setValue(100);
}

void TMainForm::InitFromCommandLine() {}

void TMainForm::CommandLineTimer() {
    Guarded([this] {
        if (FTimer1)
            FTimer1->stop();
    });
}

} // namespace orvex
