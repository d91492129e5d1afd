#pragma once
// The check-IP dialog: bindings of the checked sites to addresses this machine
// lacks (a row: node key, old binding, new binding, and a mark whether the new
// address is local), replaced by hand or with free local addresses.

#include "wizard/CheckDialog.h"

#include <QPointer>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Ui {
class FormCheckIP;
}

namespace orvex {

// Four decimal parts between dots, the first 1 to 254, the others 0 to 254.
// Anything else, a part that is no number included, is invalid.
bool IsValidIPv4(std::u16string_view text);
// The address of a binding: the text before its first ":" (all of it without one).
std::u16string BindingAddress(std::u16string_view binding);

class TFormCheckIP : public TCheckDialog {
    Q_OBJECT
public:
    explicit TFormCheckIP(TMainForm& mainForm);
    ~TFormCheckIP() override;

    // Fills the rows with the bindings of the checked sites whose address this
    // machine lacks and gives their number.
    int validIPCount();

public slots:
    void lvIpListClick();
    void btnReplaceClick();
    void btnAutoClick();
    void btnSaveClick();

protected:
    void FormShow() override;

private:
    bool IsLocalAddress(std::u16string_view address) const;

    std::unique_ptr<Ui::FormCheckIP> ui;
    std::vector<std::u16string> existipList;  // this machine's addresses and 127.0.0.1
    std::vector<std::u16string> sourceipList; // every address the checked sites use
};

// The program's check-IP dialog, made by CreateProgramWindows; cleared when freed.
extern QPointer<TFormCheckIP> FormCheckIP;

} // namespace orvex
