#include "wizard/PropertyPane.h"

#include "base/CaseFold.h"
#include "base/TextFormat.h"
#include "engine/BackupDocument.h"
#include "engine/BackupFileEdits.h"
#include "engine/BackupPaths.h"
#include "engine/EngineState.h"
#include "support/Dialogs.h"
#include "support/GuiText.h"
#include "wizard/BackupTree.h"
#include "wizard/FormProperty.h"
#include "wizard/MainForm.h"

#include <QTableWidget>

#include <utility>

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

// The engine's file edits write BackupFileName: for one edit it names the pane's file.
template <class TEdit>
bool EditFile(const std::u16string& fileName, TEdit edit) {
    struct TRestore {
        std::u16string Previous;
        ~TRestore() { SetBackupFileName(Previous); }
    } restore{BackupFileName()};
    SetBackupFileName(fileName);
    return edit();
}

} // namespace

TPropertyPane::TPropertyPane(TMainForm& form, TCheckTreeWidget& tree, QTableWidget& list)
    : FForm(form), FTree(tree), FList(list) {}

void TPropertyPane::RefreshTree() {
    // Set first: selecting the first node fills the list from the new file.
    std::u16string previous = std::exchange(FBackupFile, BackupFileName());
    try {
        RefreshBackupTree(FTree);
    } catch (...) {
        FBackupFile = std::move(previous);
        throw;
    }
}

void TPropertyPane::ReloadDocument() { LoadCachedBackupDocument(FBackupFile); }

void TPropertyPane::ShowProperties(QTreeWidgetItem* node) { FillPropertyList(FBackupFile, AsTreeItem(node), FList); }

void TPropertyPane::ShowFileAgain() {
    ReloadDocument();
    ShowProperties(FTree.currentItem());
}

void TPropertyPane::AddProperty() {
    if (SelectedRow(FList) < 0)
        return;
    TFormProperty dialog(FForm, u"Add");
    if (dialog.exec() != QDialog::Accepted)
        return;
    SaveProperty(dialog);
}

void TPropertyPane::EditProperty() {
    const int row = SelectedEditableRow(FList);
    if (row < 0)
        return;
    TFormProperty dialog(FForm, u"Edit");
    dialog.PropertyName = Cell(FList, row, pcId);
    dialog.PropertyType = Cell(FList, row, pcType);
    dialog.PropertyValue = Cell(FList, row, pcValue);
    if (dialog.exec() != QDialog::Accepted)
        return;
    SaveProperty(dialog);
}

void TPropertyPane::SaveProperty(const TFormProperty& dialog) {
    TTreeItem* node = AsTreeItem(FTree.currentItem());
    if (!node)
        return;
    const TBackupPath path = GetTreeNodeADsPath(*node);
    if (!EditFile(FBackupFile, [&] {
            return UpdateProperty(path.BackupName, path.Path, dialog.PropertyName, dialog.PropertyType,
                                  dialog.PropertyValue);
        })) {
        FForm.ShowMessageText(u"MsgErrorOk", u"propertysavefailed", {dialog.PropertyName, FBackupFile});
        return;
    }
    // The list shows the file again, with the property of this id selected; one the
    // list leaves out (unsupported for the node's class, inherited) still gets its row.
    ShowProperties(node);
    for (int row = 0; row < FList.rowCount(); ++row)
        if (SameTextIgnoreCase(Cell(FList, row, pcId), dialog.PropertyName))
            return FList.selectRow(row);
    AppendRow(FList, dialog.PropertyName, dialog.PropertyType, dialog.PropertyValue);
    FList.selectRow(FList.rowCount() - 1);
}

void TPropertyPane::DeleteProperty() {
    const int row = SelectedEditableRow(FList);
    TTreeItem* node = AsTreeItem(FTree.currentItem());
    if (row < 0 || !node)
        return;
    const std::u16string id = Cell(FList, row, pcId);
    const TBackupPath path = GetTreeNodeADsPath(*node);
    if (!EditFile(FBackupFile, [&] { return orvex::DeleteProperty(path.BackupName, path.Path, id); })) {
        FForm.ShowMessageText(u"MsgErrorOk", u"propertydeletefailed", {id, FBackupFile});
        return;
    }
    ShowProperties(node);
}

void TPropertyPane::DeleteNode() {
    TTreeItem* node = AsTreeItem(FTree.currentItem());
    if (!node)
        return;
    const std::u16string fileName = FBackupFile.substr(FBackupFile.rfind(u'/') + 1);
    const std::u16string question = FormatTolerant(
        GetDialogText(*FForm.Catalogue(), FForm.Getlingvo(), u"DialogYesNo", u"deletenode"), {fileName});
    if (!AskYesNo(question + FForm.DialogYesNoLastLine()))
        return;
    const TBackupPath path = GetTreeNodeADsPath(*node);
    // The tree shows the file: it changes only when the file did.
    if (!EditFile(FBackupFile, [&] { return DeleteXmlNode(path.BackupName, path.Path); })) {
        FForm.ShowMessageText(u"MsgErrorOk", u"deletenodefailed", {node->Text(), FBackupFile});
        return;
    }
    DeleteTreeNode(node);
}

} // namespace orvex
