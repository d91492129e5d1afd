#include "wizard/CheckRows.h"

#include "engine/BackupFileEdits.h"
#include "engine/ProgressLog.h"
#include "support/StringUtils.h"

#include <QIcon>

namespace orvex {

namespace {

constexpr int kImageIndexRole = Qt::UserRole + 1;

QString Q(std::u16string_view text) { return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())); }

} // namespace

QTreeWidgetItem* AppendCheckRow(QTreeWidget& list, std::u16string_view line) {
    auto* row = new QTreeWidgetItem(&list);
    SetRowText(*row, rcAddress, LeftOfEqual(line));
    SetRowText(*row, rcOldValue, RightOfEqual(line));
    SetRowImage(*row, kRowMissing);
    return row;
}

std::u16string RowText(const QTreeWidgetItem& row, int column) { return row.text(column).toStdU16String(); }

void SetRowText(QTreeWidgetItem& row, int column, std::u16string_view text) { row.setText(column, Q(text)); }

int RowImage(const QTreeWidgetItem& row) { return row.data(rcAddress, kImageIndexRole).toInt(); }

void SetRowImage(QTreeWidgetItem& row, int image) {
    static const QIcon images[] = {QIcon(QStringLiteral(":/CheckRows/0.png")), QIcon(QStringLiteral(":/CheckRows/1.png"))};
    row.setData(rcAddress, kImageIndexRole, image);
    row.setIcon(rcAddress, images[image == kRowFits ? 0 : 1]);
}

std::vector<QTreeWidgetItem*> AllRows(const QTreeWidget& list) {
    std::vector<QTreeWidgetItem*> rows;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        rows.push_back(list.topLevelItem(i));
    return rows;
}

std::optional<bool> SaveNewValues(QTreeWidget& list, std::u16string_view keySuffix,
                                  const std::function<std::optional<bool>(const std::u16string& newValue)>& fits) {
    std::vector<QTreeWidgetItem*> rows;
    std::vector<TValueRewrite> rewrites;
    for (QTreeWidgetItem* row : AllRows(list)) {
        if (row->text(rcNewValue).isEmpty())
            continue;
        rows.push_back(row);
        rewrites.push_back(
            {RowText(*row, rcAddress) + std::u16string(keySuffix), RowText(*row, rcOldValue), RowText(*row, rcNewValue)});
    }
    if (rewrites.empty())
        return false;
    const std::optional<std::vector<bool>> written = RewriteValuesByKey(rewrites);
    if (!written)
        return std::nullopt;
    bool saved = false;
    for (size_t i = 0; i < rows.size(); ++i) {
        QTreeWidgetItem* row = rows[i];
        if (!(*written)[i]) {
            LogLine(u"Save node error! address=" + RowText(*row, rcAddress), clLogBlack);
            continue;
        }
        saved = true;
        const std::u16string value = RowText(*row, rcNewValue);
        const std::optional<bool> done = fits(value);
        if (done && *done) {
            delete row;
        } else if (done) {
            SetRowText(*row, rcOldValue, value);
            SetRowText(*row, rcNewValue, u"");
            SetRowImage(*row, kRowMissing);
        }
    }
    return saved;
}

} // namespace orvex
