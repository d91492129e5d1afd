#pragma once
// The check-path dialog: values of the checked sites whose drive path exists
// nowhere on this machine (a row: node key, old value, new value, and a mark
// whether the new path exists), rewritten by search and replace, by the folder
// rules or by picking a file.

#include "wizard/CheckDialog.h"

#include <QPointer>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QTreeWidgetItem;

namespace Ui {
class FormCheckPath;
}

namespace orvex {

// The leading folders two paths share, ignoring case: c:\web\a\x and c:\web\b give
// c:\web, so do c:\web and c:\web\b, while c:\web\ab and c:\web\abc give c:\web
// too (never a cut inside a name). Empty when a is.
std::u16string CommonPathPrefix(std::u16string_view a, std::u16string_view b);
// The path rewritten by the first of the folder rules that applies on this
// machine (winnt to windows where c:\windows exists, windows to winnt where
// c:\winnt exists, c:\windows to d:\windows, c:\winnt to d:\winnt where the
// d: folder exists); nullopt when none does.
std::optional<std::u16string> RewriteByPathRules(std::u16string_view path);
// path with every whole folder from (ignoring case) replaced by to: from must be
// followed by the end of the path or a "\" or "/", so c:\web rewrites c:\web\b
// but not c:\website\b. nullopt when from stands nowhere so.
std::optional<std::u16string> ReplaceFolder(std::u16string_view path, std::u16string_view from,
                                            std::u16string_view to);
// value with its drive path (ExtractPathFromValue) replaced by path.
std::u16string ReplacePathInValue(std::u16string_view value, std::u16string_view path);

class TFormCheckPath : public TCheckDialog {
    Q_OBJECT
public:
    explicit TFormCheckPath(TMainForm& mainForm);
    ~TFormCheckPath() override;

    // Whether the dialog fixes the paths by itself when it opens.
    bool FlagAuto = false;

public slots:
    void lvNonexistPathSelectItem();
    void lvNonexistPathDblClick();
    void lvNonexistPathColumnClick(int column);
    void btnReplaceClick();
    void btnAutoClick();
    void btnBrowseClick();
    void btnSaveClick();

protected:
    void FormShow() override;

private:
    // Orders the rows by the sort column and direction, keeping the selection.
    void SortRows();
    bool lvNonexistPathCompare(const QTreeWidgetItem& first, const QTreeWidgetItem& second) const;

    std::unique_ptr<Ui::FormCheckPath> ui;
    int FSortColumn = 0;
    bool FSortAscending = false; // toggled by each column click, for the program's run
};

// The program's check-path dialog, made by CreateProgramWindows; cleared when freed.
extern QPointer<TFormCheckPath> FormCheckPath;

} // namespace orvex
