#pragma once
// The check-IP and check-path dialogs: created once at start-up, hidden, and shown
// modally from restore pages 3 and 4. Each lists values of the checked sites that
// do not fit this machine (a row: node key, old value, new value, and a mark
// whether the new value fits), lets the user rewrite them by hand or
// automatically, and saves the rewritten values into the backup file by node key.

#include <QDialog>
#include <QPointer>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QTreeWidgetItem;

namespace Ui {
class FormCheckIP;
class FormCheckPath;
} // namespace Ui

namespace orvex {

class TMainForm;

// --- Rules of the check-IP dialog ---

// Four decimal parts between dots, the first 1 to 254, the others 0 to 254.
// Anything else, a part that is no number included, is invalid.
bool IsValidIPv4(std::u16string_view text);
// The address of a binding: the text before its first ":" (all of it without one).
std::u16string BindingAddress(std::u16string_view binding);

// --- Rules of the check-path dialog ---

// The leading folders two paths share, ignoring case: c:\web\a\x and c:\web\b give
// c:\web, so do c:\web and c:\web\b, while c:\web\ab and c:\web\abc give c:\web
// too (never a cut inside a name). Empty when a is.
std::u16string CommonPathPrefix(std::u16string_view a, std::u16string_view b);
// The path rewritten by the first of the folder rules that applies on this
// machine (winnt to windows where c:\windows exists, windows to winnt where
// c:\winnt exists, c:\windows to d:\windows, c:\winnt to d:\winnt where the
// d: folder exists); nullopt when none does.
std::optional<std::u16string> RewriteByPathRules(std::u16string_view path);
// value with its drive path (ExtractPathFromValue) replaced by path.
std::u16string ReplacePathInValue(std::u16string_view value, std::u16string_view path);

class TFormCheckIP : public QDialog {
    Q_OBJECT
public:
    explicit TFormCheckIP(TMainForm& mainForm);
    ~TFormCheckIP() override;

    // Fills the rows with the bindings of the checked sites whose address this
    // machine lacks and gives their number.
    int validIPCount();
    // The dialog saved the backup file since the rows were last filled.
    bool IpsSaved() const { return FIpsSaved; }

public slots:
    void lvIpListClick();
    void btnReplaceClick();
    void btnAutoClick();
    void btnSaveClick();
    void FormClose();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    bool IsLocalAddress(std::u16string_view address) const;

    TMainForm& FMainForm;
    std::unique_ptr<Ui::FormCheckIP> ui;
    std::vector<std::u16string> existipList;  // this machine's addresses and 127.0.0.1
    std::vector<std::u16string> sourceipList; // every address the checked sites use
    bool FIpsSaved = false;
};

class TFormCheckPath : public QDialog {
    Q_OBJECT
public:
    explicit TFormCheckPath(TMainForm& mainForm);
    ~TFormCheckPath() override;

    // Whether the dialog fixes the paths by itself when it opens.
    bool FlagAuto = false;
    // The dialog saved the backup file since it was last shown.
    bool PathsSaved() const { return FPathsSaved; }

public slots:
    void lvNonexistPathSelectItem();
    void lvNonexistPathDblClick();
    void lvNonexistPathColumnClick(int column);
    void btnReplaceClick();
    void btnAutoClick();
    void btnBrowseClick();
    void btnSaveClick();
    void FormClose();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    // Orders the rows by the sort column and direction, keeping the selection.
    void SortRows();
    bool lvNonexistPathCompare(const QTreeWidgetItem& first, const QTreeWidgetItem& second) const;

    TMainForm& FMainForm;
    std::unique_ptr<Ui::FormCheckPath> ui;
    int FSortColumn = 0;
    bool FSortAscending = false; // toggled by each column click, for the program's run
    bool FPathsSaved = false;
};

// The two dialogs of the program, made by CreateProgramWindows; cleared when they
// are freed.
extern QPointer<TFormCheckIP> FormCheckIP;
extern QPointer<TFormCheckPath> FormCheckPath;

} // namespace orvex
