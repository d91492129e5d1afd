#pragma once
// What the check-IP and check-path dialogs share: both are created once at
// start-up, hidden, and shown modally from restore pages 3 and 4; both list values
// of the checked sites that do not fit this machine and save the rewritten values
// into the backup file, after which the main window reloads its restore tree.

#include <QDialog>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

class QShowEvent;
class QTreeWidget;

namespace orvex {

class TMainForm;

class TCheckDialog : public QDialog {
    Q_OBJECT
public:
    // The dialog saved the backup file since its rows were last filled.
    bool Saved() const { return FSaved; }

public slots:
    void FormClose();

protected:
    explicit TCheckDialog(TMainForm& mainForm);

    void showEvent(QShowEvent* event) override;
    virtual void FormShow() = 0;
    // The dialog's controls and those of its replace group from the main window's
    // catalogue, its caption from the keyword named like the dialog.
    void TranslateTexts(QWidget& replaceGroup);
    // SaveNewValues, marking the dialog saved; a file that cannot be loaded or
    // saved is said with an error message.
    void SaveRows(QTreeWidget& list, std::u16string_view keySuffix,
                  const std::function<std::optional<bool>(const std::u16string& newValue)>& fits);

    TMainForm& FMainForm;
    bool FSaved = false;
};

} // namespace orvex
