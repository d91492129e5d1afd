// The wizard's pages: what each shows when it becomes active, what Next checks
// and hands on, Back, and the file choice of the two "..." buttons.

#include "wizard/MainForm.h"

#include "base/ExceptionText.h"
#include "base/TextFormat.h"
#include "engine/Collectors.h"
#include "engine/EngineState.h"
#include "engine/ProgressLog.h"
#include "support/CmdLineSwitch.h"
#include "support/Dialogs.h"
#include "support/GuiText.h"
#include "support/HostInfo.h"
#include "ui_MainForm.h"
#include "wizard/FormCheckIP.h"
#include "wizard/FormCheckPath.h"
#include "wizard/PropertyPane.h"
#include "wizard/WizardSettings.h"

namespace orvex {

namespace {

std::u16string Trimmed(const QString& text) { return text.trimmed().toStdU16String(); }

bool HoldsKeySeparator(std::u16string_view name) {
    return name.find(u'/') != std::u16string_view::npos || name.find(u"@@") != std::u16string_view::npos;
}

} // namespace

bool IsUsableBackupName(std::u16string_view name) {
    const auto length = static_cast<qsizetype>(name.size());
    return !Trimmed(QString::fromUtf16(name.data(), length)).empty() && !HoldsKeySeparator(name);
}

std::u16string UnusableBackupNameText(const TMainForm& form, std::u16string_view name) {
    if (!HoldsKeySeparator(name))
        return form.MessageText(u"MsgWarningOk", u"backupnameempty");
    return form.MessageText(u"MsgWarningOk", u"backupnameunusable", {name});
}

void TMainForm::SetActivePage(int index) {
    ui->pageControlPanel->setCurrentIndex(index);
    RunShowHandler(index);
    FocusFirstControl(*ui->pageControlPanel->widget(index));
}

QPushButton& TMainForm::DefaultButton() const { return ui->btnnext->isVisible() ? *ui->btnnext : *ui->btnfinish; }

void TMainForm::FocusFirstControl(QWidget& page) {
    for (QWidget* control = page.nextInFocusChain(); control != &page; control = control->nextInFocusChain())
        if (page.isAncestorOf(control) && control->isVisible() && control->isEnabled() &&
            (control->focusPolicy() & Qt::TabFocus)) {
            control->setFocus(Qt::TabFocusReason);
            return;
        }
    DefaultButton().setFocus(Qt::TabFocusReason);
}

void TMainForm::RunShowHandler(int index) {
    switch (index) {
    case wpMain: return tabMainShow();
    case wpBackup1: return tabBackup1Show();
    case wpBackup2: return tabBackup2Show();
    case wpBackup3: return tabBackup3Show();
    case wpBackup4: return tabBackup4Show();
    case wpRestore1: return tabRestore1Show();
    case wpRestore2: return tabRestore2Show();
    case wpRestore3: return tabRestore3Show();
    case wpRestore4: return tabRestore4Show();
    case wpRestore5: return tabRestore5Show();
    default: return;
    }
}

void TMainForm::ShowBarLabel(int index) {
    ui->Labelmain->setVisible(index == wpMain);
    ui->Labelbackup->setVisible(index >= wpBackup1 && index <= wpBackup4);
    ui->Labelrestore->setVisible(index >= wpRestore1);
}

void TMainForm::ShowPageNumber(int number) {
    ui->Labelno->setText(QStringLiteral("#%1").arg(number));
    ui->Labelno->show();
}

void TMainForm::SetButtonsEnabled(bool enabled) {
    ui->btnnext->setEnabled(enabled);
    ui->btnCancel->setEnabled(enabled);
    ui->btnback->setEnabled(enabled);
}

// --- Show handlers ---

void TMainForm::tabMainShow() {
    ShowBarLabel(wpMain);
    ui->Labelno->hide();
    ui->btnback->setEnabled(false);
    ui->btnnext->show();
    ui->btnfinish->hide();
}

void TMainForm::tabBackup1Show() {
    ShowBarLabel(wpBackup1);
    ShowPageNumber(1);
    ui->btnback->setEnabled(true);
    ui->btnnext->show();
    ui->btnfinish->hide();
    ui->editMachineName->setText(QStringLiteral("localhost"));
}

void TMainForm::tabBackup2Show() {
    ShowPageNumber(2);
    ui->btnnext->show();
    ui->btnfinish->hide();
    ui->editBackupMetafile->setText(QString::fromStdU16String(BackupMetaFileName));
}

void TMainForm::tabBackup3Show() {
    ShowPageNumber(3);
    ui->btnnext->show();
    ui->btnfinish->hide();
    ui->btnCancel->setEnabled(true);
    ui->BackupBar->hide();
    ui->editBackupName->setText(QString::fromStdU16String(GetComputerNameString() + u"Sites"));
}

void TMainForm::tabBackup4Show() {
    ShowPageNumber(4);
    ui->btnnext->hide();
    ui->btnfinish->show();
    ui->btnCancel->setEnabled(false);
}

void TMainForm::tabRestore1Show() {
    ShowBarLabel(wpRestore1);
    ShowPageNumber(1);
    ui->btnback->setEnabled(true);
    ui->editRestoreMetafile->setText(QString::fromStdU16String(RestoreMetaFileName));
}

void TMainForm::tabRestore2Show() {
    ShowPageNumber(2);
    ui->LoadFileBar->hide();
}

void TMainForm::tabRestore3Show() {
    ShowPageNumber(3);
    ui->btnnext->show();
    ui->btnfinish->hide();
    ui->btnCancel->setEnabled(true);
    ui->DataValidatBar->hide();
}

void TMainForm::tabRestore4Show() {
    ShowPageNumber(4);
    ui->btnnext->show();
    ui->btnfinish->hide();
    ui->btnCancel->setEnabled(true);
    ui->RestoreBar->hide();
}

void TMainForm::tabRestore5Show() {
    ShowPageNumber(5);
    ui->btnnext->hide();
    ui->btnfinish->show();
    ui->btnCancel->setEnabled(false);
}

// --- Next and Back ---

void TMainForm::btnnextClick() {
    Guarded([this] {
        const int page = ActivePage();
        switch (page) {
        case wpMain:
            if (NextFromMain())
                return;
            break;
        case wpBackup1:
            if (NextFromBackup1())
                SetActivePage(wpBackup2);
            return;
        case wpBackup2:
            if (NextFromBackup2())
                SetActivePage(wpBackup3);
            return;
        case wpBackup3:
            if (NextFromBackup3())
                SetActivePage(wpBackup4);
            return;
        case wpRestore1:
            if (NextFromRestore1())
                SetActivePage(wpRestore2);
            return;
        case wpRestore2:
            if (NextFromRestore2())
                SetActivePage(wpRestore3);
            return;
        case wpRestore3:
            NextFromRestore3();
            return;
        case wpRestore4:
            NextFromRestore4();
            return;
        default:
            return;
        }
        NoiseForError();
    });
}

bool TMainForm::NextFromMain() {
    if (ui->rbBackup->isChecked())
        SetActivePage(wpBackup1);
    else if (ui->rbRestore->isChecked())
        SetActivePage(wpRestore1);
    else
        return false;
    return true;
}

bool TMainForm::NextFromBackup1() {
    FBackupMachineName = Trimmed(ui->editMachineName->text());
    if (FBackupMachineName.empty()) {
        NoiseForError();
        return false;
    }
    if (FBackupMachineName != u"localhost" && !HasCmdLineSwitch(u"/backup")) {
        const std::u16string text = FormatTolerant(
            GetDialogText(*ZDoc, Getlingvo(), u"MsgWarningOk", u"backupmachinename"), {FBackupMachineName});
        LogBackupWarning(u"backup: " + text, clLogBlack);
        ShowWarning(text);
    }
    return true;
}

bool TMainForm::NextFromBackup2() {
    const std::u16string fileName = ui->editBackupMetafile->text().toStdU16String();
    if (fileName != BackupMetaFileName) {
        BackupMetaFileName = fileName;
        LogLine(u"BackupMetaFile changed.", clLogBlue);
    }
    WriteSetting(kBackupMetaFileNameKey, fileName);
    return true;
}

bool TMainForm::NextFromBackup3() {
    BackupName = Trimmed(ui->editBackupName->text());
    if (BackupName.empty()) {
        NoiseForError();
        return false;
    }
    if (!IsUsableBackupName(BackupName)) {
        NoiseForError();
        ShowWarning(UnusableBackupNameText(*this, BackupName));
        return false;
    }
    BackupExecute();
    return true;
}

bool TMainForm::NextFromRestore1() {
    RestoreIisVersion = Trimmed(ui->cbIIsVersion->currentText());
    if (RestoreIisVersion.empty()) {
        NoiseForError();
        ShowMessageText(u"MsgErrorOk", u"restoreiisversion");
        return false;
    }
    RestoreMachineName = Trimmed(ui->editDestMachine->text());
    if (RestoreMachineName.empty()) {
        NoiseForError();
        return false;
    }
    const std::u16string fileName = ui->editRestoreMetafile->text().toStdU16String();
    if (fileName != RestoreMetaFileName) {
        RestoreMetaFileName = fileName;
        LogLine(u"RestoreMetaFile changed.", clLogBlue);
    }
    WriteSetting(kRestoreMetaFileNameKey, fileName);
    SetBackupFileName(RestoreMetaFileName);
    if (RestoreMetaFileName.empty()) {
        NoiseForError();
        return false;
    }
    SetButtonsEnabled(false);
    ui->LoadFileBar->show();
    try {
        ReloadXml(*FRestorePane);
    } catch (const std::exception& error) {
        // A file of another kind is shown as an error and left as it is.
        ui->LoadFileBar->hide();
        SetButtonsEnabled(true);
        NoiseForError();
        ShowMessageText(u"MsgErrorOk", u"restorefileunreadable", {RestoreMetaFileName, ExceptionMessage(error)});
        return false;
    }
    SetButtonsEnabled(true);
    return true;
}

bool TMainForm::NextFromRestore2() {
    if (SelectedSiteCount(*ui->tvRestore) > 0)
        return true;
    NoiseForError();
    return false;
}

void TMainForm::NextFromRestore3() {
    const int siteMode = ui->rbWebsitesExist1->isChecked()   ? scmOverwrite
                         : ui->rbWebsitesExist2->isChecked() ? scmCreateNew
                         : ui->rbWebsitesExist3->isChecked() ? scmSkip
                         : ui->rbWebsitesExist4->isChecked() ? scmAsk
                                                             : scmUnset;
    if (siteMode == scmUnset || !(ui->rbIpNotFound1->isChecked() || ui->rbIpNotFound2->isChecked()) ||
        !(ui->rbPathsValid1->isChecked() || ui->rbPathsValid2->isChecked())) {
        NoiseForError();
        return;
    }
    SetSiteConflictMode(siteMode);
    if (ui->rbIpNotFound1->isChecked() && FormCheckIP && FormCheckIP->validIPCount() > 0)
        FormCheckIP->exec();
    if (ui->rbPathsValid2->isChecked()) {
        RunRestoreFrom(wpRestore3);
        return;
    }
    std::vector<std::u16string> missingPaths;
    GetNonexistPath(missingPaths, *ui->tvRestore, true);
    if (missingPaths.empty())
        RunRestoreFrom(wpRestore3);
    else
        SetActivePage(wpRestore4);
}

void TMainForm::NextFromRestore4() {
    if (!ui->rbCheckPath1->isChecked() && !ui->rbCheckPath2->isChecked() && !ui->rbCheckPath3->isChecked()) {
        NoiseForError();
        return;
    }
    if (!ui->rbCheckPath3->isChecked() && FormCheckPath) {
        FormCheckPath->FlagAuto = ui->rbCheckPath2->isChecked();
        FormCheckPath->exec();
    }
    RunRestoreFrom(wpRestore4);
}

void TMainForm::RunRestoreFrom(int page) {
    SetButtonsEnabled(false);
    if (!AskYesNo(GetDialogText(*ZDoc, Getlingvo(), u"DialogYesNo", u"restorebegin") + FKeywordDialogYesNoLastLine)) {
        SetButtonsEnabled(true);
        return;
    }
    RestoreExecute();
    SetButtonsEnabled(true);
    Restoreskip4flag = page == wpRestore3;
    SetActivePage(wpRestore5);
}

void TMainForm::btnbackClick() {
    Guarded([this] {
        const int page = ActivePage();
        if (page == wpRestore1) {
            SetActivePage(wpMain);
        } else if (Restoreskip4flag && page == wpRestore5) {
            Restoreskip4flag = false;
            SetActivePage(wpRestore3);
        } else if (page > wpMain) {
            SetActivePage(page - 1);
        }
    });
}

// --- File choice ---

bool TMainForm::ChooseBackupFile(std::u16string& fileName) {
    const std::u16string& current = BackupFileName();
    std::u16string chosen = current.substr(0, current.rfind(u'/') + 1);
    if (!OpenFileDialog(chosen, u"", u"XML files (*.xml)|*.XML"))
        return false;
    fileName = chosen;
    return true;
}

void TMainForm::btnBackupBrowseClick() {
    Guarded([this] {
        if (std::u16string fileName; ChooseBackupFile(fileName))
            ui->editBackupMetafile->setText(QString::fromStdU16String(fileName));
    });
}

void TMainForm::btnrestorebrownClick() {
    Guarded([this] {
        if (std::u16string fileName; ChooseBackupFile(fileName))
            ui->editRestoreMetafile->setText(QString::fromStdU16String(fileName));
    });
}

} // namespace orvex
