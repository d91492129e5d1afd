// The main window's property actions: add, edit and delete a property of the
// selected tree node through the property dialog, written into the backup file.

#include "wizard/MainForm.h"

#include "base/CaseFold.h"
#include "base/TextFormat.h"
#include "engine/BackupDocument.h"
#include "engine/BackupFileEdits.h"
#include "engine/BackupPaths.h"
#include "engine/EngineState.h"
#include "ui_MainForm.h"
#include "wizard/BackupTree.h"
#include "wizard/FormProperty.h"

#include <QMenu>

namespace orvex {

namespace {

enum : int { pcId = 0, pcType = 1, pcValue = 2 };

// The selected row, or -1.
int SelectedRow(const QTableWidget& list) {
    const QList<QTableWidgetItem*> selected = list.selectedItems();
    return selected.isEmpty() ? -1 : selected.front()->row();
}

std::u16string Cell(const QTableWidget& list, int row, int column) {
    const QTableWidgetItem* item = list.item(row, column);
    return item ? item->text().toStdU16String() : std::u16string();
}

// The row of an editable property, or -1 when none is selected.
int SelectedEditableRow(const QTableWidget& list) {
    const int row = SelectedRow(list);
    return row >= 0 && IsSupportedPropertyType(Cell(list, row, pcType)) ? row : -1;
}

// The list shows the file again, with the property of this id selected; one the
// list leaves out (unsupported for the node's class, inherited) still gets its row.
void ShowPropertyRows(TTreeItem* node, QTableWidget& list, const TFormProperty& dialog) {
    FillPropertyList(node, list);
    for (int row = 0; row < list.rowCount(); ++row)
        if (SameTextIgnoreCase(Cell(list, row, pcId), dialog.PropertyName))
            return list.selectRow(row);
    AppendRow(list, dialog.PropertyName, dialog.PropertyType, dialog.PropertyValue);
    list.selectRow(list.rowCount() - 1);
}

// The file of the tree is the one it was built from.
TBackupPath EditTarget(TCheckTreeWidget& tree, TTreeItem& node) {
    SetBackupFileName(tree.BackupFile());
    return GetTreeNodeADsPath(node);
}

// Writes the dialog's property into the file of the tree and shows the file's
// rows; a failed write is said and changes no row.
void SaveProperty(const TMainForm& form, TCheckTreeWidget& tree, QTableWidget& list, const TFormProperty& dialog) {
    TTreeItem* node = AsTreeItem(tree.currentItem());
    if (!node)
        return;
    const TBackupPath path = EditTarget(tree, *node);
    if (!UpdateProperty(path.BackupName, path.Path, dialog.PropertyName, dialog.PropertyType, dialog.PropertyValue)) {
        form.ShowMessageText(u"MsgErrorOk", u"propertysavefailed", {dialog.PropertyName, tree.BackupFile()});
        return;
    }
    ShowPropertyRows(node, list, dialog);
}

} // namespace

TCheckTreeWidget& TMainForm::RestoreTree() const { return *ui->tvRestore; }

void TMainForm::RestoreFileSaved() {
    LoadCachedBackupDocument();
    FillPropertyList(AsTreeItem(ui->tvRestore->currentItem()), *ui->lvPropertyR);
}

void TMainForm::actionPropertyAddRExecute() {
    Guarded([this] { AddPropertyRow(*ui->tvRestore, *ui->lvPropertyR); });
}

void TMainForm::actionPropertyEditRExecute() {
    Guarded([this] { EditPropertyRow(*ui->tvRestore, *ui->lvPropertyR); });
}

void TMainForm::actionPropertyDeleteRExecute() {
    Guarded([this] { DeletePropertyRow(*ui->tvRestore, *ui->lvPropertyR); });
}

// The backup list edits its own node, in the file of the backup.
void TMainForm::lvPropertyDblClick() {
    Guarded([this] { EditPropertyRow(*ui->tvBackup, *ui->lvProperty); });
}

void TMainForm::lvPropertyRContextPopup(const QPoint& position) {
    Guarded([this, position] { ui->PopupProperty->exec(ui->lvPropertyR->viewport()->mapToGlobal(position)); });
}

void TMainForm::AddPropertyRow(TCheckTreeWidget& tree, QTableWidget& list) {
    if (SelectedRow(list) < 0)
        return;
    TFormProperty dialog(*this, u"Add");
    if (dialog.exec() != QDialog::Accepted)
        return;
    SaveProperty(*this, tree, list, dialog);
}

void TMainForm::EditPropertyRow(TCheckTreeWidget& tree, QTableWidget& list) {
    const int row = SelectedEditableRow(list);
    if (row < 0)
        return;
    TFormProperty dialog(*this, u"Edit");
    dialog.PropertyName = Cell(list, row, pcId);
    dialog.PropertyType = Cell(list, row, pcType);
    dialog.PropertyValue = Cell(list, row, pcValue);
    if (dialog.exec() != QDialog::Accepted)
        return;
    SaveProperty(*this, tree, list, dialog);
}

void TMainForm::DeletePropertyRow(TCheckTreeWidget& tree, QTableWidget& list) {
    const int row = SelectedEditableRow(list);
    TTreeItem* node = AsTreeItem(tree.currentItem());
    if (row < 0 || !node)
        return;
    const std::u16string id = Cell(list, row, pcId);
    const TBackupPath path = EditTarget(tree, *node);
    if (!DeleteProperty(path.BackupName, path.Path, id)) {
        ShowMessageText(u"MsgErrorOk", u"propertydeletefailed", {id, tree.BackupFile()});
        return;
    }
    FillPropertyList(node, list);
}

} // namespace orvex
