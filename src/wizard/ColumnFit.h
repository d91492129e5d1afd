#pragma once
// Column widths of the wizard's lists: the property lists and the check dialogs'
// lists show whole names and values instead of cutting them at fixed widths.

class QAbstractItemView;

namespace orvex {

// From now on, whenever the rows of view (a table or tree view) change, its
// columns but the last are sized to their header and cell texts; the last one
// takes the rest of the width. The user can still resize every column.
void FitColumnsToContents(QAbstractItemView& view);

} // namespace orvex
