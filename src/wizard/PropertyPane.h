#pragma once
// A backup tree with its property list beside it (backup page 4, restore page 2)
// and the file the tree was built from: the list reads that file, and every edit
// made through the pane (a property, a deleted node) goes into it, whichever file
// the other pane or the engine uses meanwhile.

#include <string>

class QTableWidget;
class QTreeWidgetItem;

namespace orvex {

class TCheckTreeWidget;
class TFormProperty;
class TMainForm;

class TPropertyPane {
public:
    TPropertyPane(TMainForm& form, TCheckTreeWidget& tree, QTableWidget& list);

    TCheckTreeWidget& Tree() const { return FTree; }
    QTableWidget& List() const { return FList; }
    // The file the tree was last built from; empty before.
    const std::u16string& BackupFile() const { return FBackupFile; }

    // Rebuilds the tree from the file BackupFileName, which becomes the pane's
    // file. A file that cannot be read raises and leaves the pane's file as it was.
    void RefreshTree();
    // Reads the pane's file anew for the list.
    void ReloadDocument();
    // The list shows the properties of node as the pane's file holds them.
    void ShowProperties(QTreeWidgetItem* node);
    // The file changed: the list of the selected node shows it again; the tree and
    // its check marks stay.
    void ShowFileAgain();

    // The property dialog's add and edit of the selected row, and the delete of
    // it; the list changes only when the file did, and a failed write is said.
    void AddProperty();
    void EditProperty();
    void DeleteProperty();
    // Asks "deletenode" and deletes the selected node from the file and the tree.
    void DeleteNode();

private:
    // Writes the dialog's property into the file and shows the file's rows.
    void SaveProperty(const TFormProperty& dialog);

    TMainForm& FForm;
    TCheckTreeWidget& FTree;
    QTableWidget& FList;
    std::u16string FBackupFile;
};

} // namespace orvex
