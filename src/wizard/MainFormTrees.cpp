// The main window's handlers of the backup and restore trees.

#include "wizard/MainForm.h"

#include "engine/SiteConflicts.h"
#include "ui_MainForm.h"
#include "wizard/BackupTree.h"
#include "wizard/PropertyPane.h"

#include <QMenu>

namespace orvex {

void TMainForm::ReloadXml(TPropertyPane& pane) {
    TBusyScope busy(*this);
    ui->LoadFileBar->setValue(10);
    pane.Tree().clear();
    pane.List().setRowCount(0);
    pane.RefreshTree();
    ui->LoadFileBar->setValue(80);
    pane.ReloadDocument();
    ui->LoadFileBar->setValue(90);
    if (pane.Tree().topLevelItemCount() > 0)
        pane.ShowProperties(pane.Tree().topLevelItem(0));
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
    Guarded([this, node] { FBackupPane->ShowProperties(node); }, true);
}

void TMainForm::tvRestoreChange(QTreeWidgetItem* node) {
    Guarded([this, node] { FRestorePane->ShowProperties(node); }, true);
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
    Guarded([this] { FRestorePane->DeleteNode(); });
}

void TMainForm::actionDeleteNodeBExecute() {
    Guarded([this] { FBackupPane->DeleteNode(); });
}

} // namespace orvex
