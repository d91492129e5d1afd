#include "wizard/CheckTreeWidget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionViewItem>

namespace orvex {

TTreeItem::TTreeItem(TTreeNodeDataPtr record) : QTreeWidgetItem(ItemType), FRecord(std::move(record)) {}

std::u16string TTreeItem::Text() const { return text(0).toStdU16String(); }

TTreeNode* TTreeItem::Parent() const { return AsTreeItem(parent()); }

int TTreeItem::ChildCount() const { return childCount(); }

TTreeNode* TTreeItem::Child(int index) const { return AsTreeItem(child(index)); }

TTreeItem* AsTreeItem(QTreeWidgetItem* item) {
    return item && item->type() == TTreeItem::ItemType ? static_cast<TTreeItem*>(item) : nullptr;
}

TCheckTreeWidget::TCheckTreeWidget(QWidget* parent) : QTreeWidget(parent) {}

QRect TCheckTreeWidget::TextRect(QTreeWidgetItem* item) const {
    const QModelIndex index = indexFromItem(item);
    const QRect cell = visualRect(index);
    if (!index.isValid() || cell.isEmpty())
        return {};
    // The delegate's own layout: text beside the decoration the item has.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = cell;
    option.index = index;
    option.text = item->text(0);
    option.features |= QStyleOptionViewItem::HasDisplay;
    if (!item->icon(0).isNull()) {
        option.icon = item->icon(0);
        option.features |= QStyleOptionViewItem::HasDecoration;
    }
    return style()->subElementRect(QStyle::SE_ItemViewItemText, &option, this);
}

void TCheckTreeWidget::mousePressEvent(QMouseEvent* event) {
    QTreeWidget::mousePressEvent(event);
    emit mouseDown(event->button(), event->position().toPoint());
}

void TCheckTreeWidget::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        emit spaceDown();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

} // namespace orvex
