// The main window's property actions: add, edit and delete a property of the
// selected tree node through the property dialog, written into the file of the
// node's tree.

#include "wizard/MainForm.h"

#include "ui_MainForm.h"
#include "wizard/PropertyPane.h"

#include <QMenu>

namespace orvex {

TCheckTreeWidget& TMainForm::RestoreTree() const { return *ui->tvRestore; }

void TMainForm::RestoreFileSaved() { FRestorePane->ShowFileAgain(); }

void TMainForm::actionPropertyAddRExecute() {
    Guarded([this] { FRestorePane->AddProperty(); });
}

void TMainForm::actionPropertyEditRExecute() {
    Guarded([this] { FRestorePane->EditProperty(); });
}

void TMainForm::actionPropertyDeleteRExecute() {
    Guarded([this] { FRestorePane->DeleteProperty(); });
}

// The backup list edits its own node, in the file of the backup.
void TMainForm::lvPropertyDblClick() {
    Guarded([this] { FBackupPane->EditProperty(); });
}

void TMainForm::lvPropertyRContextPopup(const QPoint& position) {
    Guarded([this, position] { ui->PopupProperty->exec(ui->lvPropertyR->viewport()->mapToGlobal(position)); });
}

} // namespace orvex
