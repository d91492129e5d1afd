#include "wizard/ColumnFit.h"

#include <QHeaderView>
#include <QTableView>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

namespace orvex {

namespace {

QHeaderView* ColumnHeader(QAbstractItemView& view) {
    if (auto* table = qobject_cast<QTableView*>(&view))
        return table->horizontalHeader();
    if (auto* tree = qobject_cast<QTreeView*>(&view))
        return tree->header();
    return nullptr;
}

void FitColumns(QAbstractItemView& view, QHeaderView& header) {
    for (int column = 0; column + 1 < header.count(); ++column)
        header.resizeSection(column, std::max(view.sizeHintForColumn(column), header.sectionSizeHint(column)));
}

} // namespace

void FitColumnsToContents(QAbstractItemView& view) {
    QHeaderView* header = ColumnHeader(view);
    if (!header)
        return;
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(true);
    // Lists are filled row by row: one fit after the whole burst, when the event
    // loop runs again, instead of one per row.
    auto* pending = new QTimer(&view);
    pending->setSingleShot(true);
    pending->setInterval(0);
    QObject::connect(pending, &QTimer::timeout, &view, [&view, header] { FitColumns(view, *header); });
    const auto refit = [pending] { pending->start(); };
    QAbstractItemModel* model = view.model();
    QObject::connect(model, &QAbstractItemModel::rowsInserted, pending, refit);
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, pending, refit);
    QObject::connect(model, &QAbstractItemModel::modelReset, pending, refit);
    QObject::connect(model, &QAbstractItemModel::dataChanged, pending, refit);
    QObject::connect(model, &QAbstractItemModel::layoutChanged, pending, refit);
    QObject::connect(model, &QAbstractItemModel::headerDataChanged, pending, refit);
}

} // namespace orvex
