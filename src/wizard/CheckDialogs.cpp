#include "wizard/CheckDialogs.h"

#include "ui_FormCheckIP.h"
#include "ui_FormCheckPath.h"

namespace orvex {

QPointer<TFormCheckIP> FormCheckIP;
QPointer<TFormCheckPath> FormCheckPath;

TFormCheckIP::TFormCheckIP(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::FormCheckIP>()) {
    ui->setupUi(this);
}

TFormCheckIP::~TFormCheckIP() = default;

int TFormCheckIP::validIPCount() { return 0; }

TFormCheckPath::TFormCheckPath(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::FormCheckPath>()) {
    ui->setupUi(this);
}

TFormCheckPath::~TFormCheckPath() = default;

} // namespace orvex
