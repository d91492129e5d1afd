#pragma once
// The backup and restore trees: a tree view whose items carry TreeNodeData records
// and three-state check marks, seen by the engine as a TRestoreTree.

#include "engine/RestoreTree.h"

#include <QTreeWidget>

#include <string>
#include <utility>

namespace orvex {

// A tree item that owns its record; deleting the item frees the records of its
// whole subtree.
class TTreeItem final : public QTreeWidgetItem, public TTreeNode {
public:
    static constexpr int ItemType = QTreeWidgetItem::UserType + 1;
    // The image index of the check mark (0, 1 or 3), kept beside the picture.
    static constexpr int ImageIndexRole = Qt::UserRole + 1;

    explicit TTreeItem(TTreeNodeDataPtr record);

    std::u16string Text() const override;
    TTreeNode* Parent() const override;
    int ChildCount() const override;
    TTreeNode* Child(int index) const override;
    TreeNodeData* Data() const override { return FRecord.get(); }

    int ImageIndex() const { return data(0, ImageIndexRole).toInt(); }

private:
    TTreeNodeDataPtr FRecord;
};

// The item as a tree node, or nullptr for none or an item of another kind.
TTreeItem* AsTreeItem(QTreeWidgetItem* item);

class TCheckTreeWidget : public QTreeWidget, public TRestoreTree {
    Q_OBJECT
    // Whether the check marks are drawn (ImageList1) or only kept.
    Q_PROPERTY(bool markImages READ markImages WRITE setMarkImages)

public:
    explicit TCheckTreeWidget(QWidget* parent = nullptr);

    bool markImages() const { return FMarkImages; }
    void setMarkImages(bool value) { FMarkImages = value; }

    int TopLevelCount() const override { return topLevelItemCount(); }
    TTreeNode* TopLevelNode(int index) const override { return AsTreeItem(topLevelItem(index)); }

    // The rectangle of the item's text in viewport coordinates; empty when the
    // item is not shown.
    QRect TextRect(QTreeWidgetItem* item) const;

signals:
    // Any mouse button pressed in the view (after the view selected the item).
    void mouseDown(Qt::MouseButton button, QPoint position);
    // Space pressed with the view focused.
    void spaceDown();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool FMarkImages = false;
};

} // namespace orvex
