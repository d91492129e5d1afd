// The main window's handlers of the backup and restore trees.

#include "wizard/MainForm.h"

#include "base/TextFormat.h"
#include "engine/BackupDocument.h"
#include "engine/BackupFileEdits.h"
#include "engine/BackupPaths.h"
#include "engine/EngineState.h"
#include "engine/SiteConflicts.h"
#include "support/Dialogs.h"
#include "support/GuiText.h"
#include "ui_MainForm.h"
#include "wizard/BackupTree.h"

#include <QMenu>

namespace orvex {

void TMainForm::ReloadXml(TCheckTreeWidget& tree, QTableWidget& list) {
    TBusyScope busy(*this);
    ui->LoadFileBar->setValue(10);
    tree.clear();
    list.setRowCount(0);
    RefreshBackupTree(tree);
    ui->LoadFileBar->setValue(80);
    LoadCachedBackupDocument();
    ui->LoadFileBar->setValue(90);
    if (tree.topLevelItemCount() > 0)
        FillPropertyList(AsTreeItem(tree.topLevelItem(0)), list);
    ui->LoadFileBar->setValue(100);
}

int TMainForm::SelectedSiteCount(TCheckTreeWidget& tree) {
    TSiteList allSites, selectedSites;
    ListBackupSites(tree, allSites, selectedSites);
    return static_cast<int>(selectedSites.size());
}

void TMainForm::tvMouseDown(Qt::MouseButton button, const QPoint& position) {
    Guarded([this, button, position] {
        auto* tree = qobject_cast<TCheckTreeWidget*>(sender());
        TTreeItem* node = tree ? AsTreeItem(tree->itemAt(position)) : nullptr;
        if (!node)
            return;
        tree->setCurrentItem(node);
        const QRect text = tree->TextRect(node);
        if (position.x() >= text.left() - 18 && position.x() <= text.left() - 6 && position.y() >= text.top() &&
            position.y() <= text.bottom())
            ToggleNodeCheck(*node);
        if (button == Qt::RightButton)
            (tree == ui->tvRestore ? ui->PopupRestore : ui->PopupBackup)
                ->exec(tree->viewport()->mapToGlobal(position));
    });
}

void TMainForm::tvSpaceDown() {
    Guarded([this] {
        auto* tree = qobject_cast<TCheckTreeWidget*>(sender());
        if (TTreeItem* node = tree ? AsTreeItem(tree->currentItem()) : nullptr)
            ToggleNodeCheck(*node);
    });
}

void TMainForm::tvBackupChange(QTreeWidgetItem* node) {
    Guarded([this, node] { FillPropertyList(AsTreeItem(node), *ui->lvProperty); }, true);
}

void TMainForm::tvRestoreChange(QTreeWidgetItem* node) {
    Guarded([this, node] { FillPropertyList(AsTreeItem(node), *ui->lvPropertyR); }, true);
}

void TMainForm::actionSelectAllSitesRExecute() {
    Guarded([this] {
        TTreeItem* node = AsTreeItem(ui->tvRestore->currentItem());
        if (!node) {
            NoiseForError();
            return;
        }
        while (TTreeItem* parent = AsTreeItem(node->parent()))
            node = parent;
        for (int i = 0; i < node->childCount(); ++i) {
            TTreeItem* site = AsTreeItem(node->child(i));
            if (site && NodeClassName(*site) == u"IIsWebServer") {
                SetNodeState(*site, true, true);
                SetChildrenChecked(*site);
                UpdateParentState(*site);
            }
        }
    });
}

void TMainForm::actionDeleteNodeRExecute() {
    Guarded([this] { DeleteNode(*ui->tvRestore); });
}

void TMainForm::actionDeleteNodeBExecute() {
    Guarded([this] { DeleteNode(*ui->tvBackup); });
}

void TMainForm::DeleteNode(TCheckTreeWidget& tree) {
    TTreeItem* node = AsTreeItem(tree.currentItem());
    if (!node)
        return;
    const std::u16string& file = BackupFileName();
    const std::u16string fileName = file.substr(file.rfind(u'/') + 1);
    const std::u16string question =
        FormatTolerant(GetDialogText(*ZDoc, Getlingvo(), u"DialogYesNo", u"deletenode"), {fileName});
    if (!AskYesNo(question + FKeywordDialogYesNoLastLine))
        return;
    const TBackupPath path = GetTreeNodeADsPath(*node);
    // The tree shows the file: it changes only when the file did.
    if (!DeleteXmlNode(path.BackupName, path.Path)) {
        ShowMessageText(u"MsgErrorOk", u"deletenodefailed", {node->Text(), file});
        return;
    }
    DeleteTreeNode(node);
}

} // namespace orvex
