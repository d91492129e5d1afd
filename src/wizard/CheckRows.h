#pragma once
// What the check-IP and check-path dialogs share: their rows (column 0 the node
// key, 1 the old value, 2 the new value, empty until a rewrite; a mark in column 0
// whether the new value fits this machine), their texts and their save.

#include <QTreeWidget>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

enum : int { rcAddress = 0, rcOldValue = 1, rcNewValue = 2 };
enum : int { kRowFits = 0, kRowMissing = 1 };

// A row from a collector line "key=value" (split at the first "="), marked missing.
QTreeWidgetItem* AppendCheckRow(QTreeWidget& list, std::u16string_view line);
std::u16string RowText(const QTreeWidgetItem& row, int column);
void SetRowText(QTreeWidgetItem& row, int column, std::u16string_view text);
int RowImage(const QTreeWidgetItem& row);
void SetRowImage(QTreeWidgetItem& row, int image);
std::vector<QTreeWidgetItem*> AllRows(const QTreeWidget& list);

// Writes the new value of every row that has one into BackupFileName in one save,
// each by its key with keySuffix behind it. A row that cannot be written is logged
// ("Save node error! address=" and its key) and stays. A written row whose new
// value fits this machine (fits gives true) is done and removed; one that does not
// (false) keeps its new value as its old one, marked missing; nullopt leaves it
// as it is. When the file cannot be loaded or saved it is left as it was, no row
// changes and nullopt is returned; otherwise whether a row was written.
std::optional<bool> SaveNewValues(QTreeWidget& list, std::u16string_view keySuffix,
                                  const std::function<std::optional<bool>(const std::u16string& newValue)>& fits);

} // namespace orvex
