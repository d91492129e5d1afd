#pragma once
// The check-IP and check-path dialogs: created once at start-up, hidden, and shown
// modally from restore pages 3 and 4.

#include <QDialog>
#include <QPointer>

#include <memory>

namespace Ui {
class FormCheckIP;
class FormCheckPath;
} // namespace Ui

namespace orvex {

class TFormCheckIP : public QDialog {
    Q_OBJECT
public:
    explicit TFormCheckIP(QWidget* parent = nullptr);
    ~TFormCheckIP() override;

    // Fills the dialog's rows with the binding addresses of the checked sites that
    // this machine lacks and gives their number.
    virtual int validIPCount();

private:
    std::unique_ptr<Ui::FormCheckIP> ui;
};

class TFormCheckPath : public QDialog {
    Q_OBJECT
public:
    explicit TFormCheckPath(QWidget* parent = nullptr);
    ~TFormCheckPath() override;

    // Whether the dialog fixes the paths by itself when it opens.
    bool FlagAuto = false;

private:
    std::unique_ptr<Ui::FormCheckPath> ui;
};

// The two dialogs of the program, made by CreateProgramWindows; cleared when they
// are freed.
extern QPointer<TFormCheckIP> FormCheckIP;
extern QPointer<TFormCheckPath> FormCheckPath;

} // namespace orvex
