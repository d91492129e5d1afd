#include "support/gui/DialogsGui.h"

#include <QApplication>
#include <QFileDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>

namespace orvex {

namespace {

QMessageBox::Icon IconOf(TMsgDlgType dlgType) {
    switch (dlgType) {
    case TMsgDlgType::mtWarning:
        return QMessageBox::Warning;
    case TMsgDlgType::mtError:
        return QMessageBox::Critical;
    case TMsgDlgType::mtInformation:
        return QMessageBox::Information;
    case TMsgDlgType::mtConfirmation:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QString TitleOf(TMsgDlgType dlgType) {
    switch (dlgType) {
    case TMsgDlgType::mtWarning:
        return QStringLiteral("Warning");
    case TMsgDlgType::mtError:
        return QStringLiteral("Error");
    case TMsgDlgType::mtInformation:
        return QStringLiteral("Information");
    case TMsgDlgType::mtConfirmation:
        return QStringLiteral("Confirm");
    }
    return {};
}

int ResultOf(QMessageBox::StandardButton button) {
    switch (button) {
    case QMessageBox::Yes:
        return mrYes;
    case QMessageBox::No:
        return mrNo;
    case QMessageBox::Ok:
        return mrOk;
    default:
        return mrCancel;
    }
}

} // namespace

QWidget* DialogParent() {
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible())
        return modal;
    if (QWidget* active = QApplication::activeWindow(); active && active->isVisible())
        return active;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(window) && window->isVisible())
            return window;
    return nullptr;
}

void InstallGuiDialogHooks() {
    MessageDialogHook = GuiMessageDialog;
    OpenFileDialogHook = GuiOpenFileDialog;
}

int GuiMessageDialog(const std::u16string& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons, int32_t) {
    QMessageBox box(IconOf(dlgType), TitleOf(dlgType), QString::fromStdU16String(msg), QMessageBox::NoButton,
                    DialogParent());
    if (buttons & mbYes)
        box.addButton(QMessageBox::Yes);
    if (buttons & mbNo)
        box.addButton(QMessageBox::No);
    if (buttons & mbOK || !(buttons & (mbYes | mbNo | mbCancel)))
        box.addButton(QMessageBox::Ok);
    if (buttons & mbCancel)
        box.addButton(QMessageBox::Cancel);
    if (QAbstractButton* yes = box.button(QMessageBox::Yes))
        box.setDefaultButton(static_cast<QPushButton*>(yes));
    else if (QAbstractButton* ok = box.button(QMessageBox::Ok))
        box.setDefaultButton(static_cast<QPushButton*>(ok));
    // Qt would let Escape press a lone Yes; a hidden Cancel takes Escape instead.
    QAbstractButton* escape = box.button(QMessageBox::Cancel);
    if (!escape)
        escape = box.button(QMessageBox::No);
    if (!escape)
        escape = box.button(QMessageBox::Ok);
    if (!escape) {
        escape = box.addButton(QMessageBox::Cancel);
        escape->hide();
    }
    box.setEscapeButton(escape);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    return clicked ? ResultOf(box.standardButton(clicked)) : mrCancel;
}

bool GuiOpenFileDialog(std::u16string& fileName, const std::u16string& defaultExt, const std::u16string& filter) {
    QFileDialog dialog(DialogParent());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QString::fromStdU16String(defaultExt));
    dialog.setNameFilters(QtNameFilters(filter.empty() ? u"All Files|*.*" : filter));
    const size_t slash = fileName.rfind(u'/');
    const std::u16string folder = slash == std::u16string::npos ? std::u16string() : fileName.substr(0, slash + 1);
    const std::u16string name = slash == std::u16string::npos ? fileName : fileName.substr(slash + 1);
    if (!folder.empty())
        dialog.setDirectory(QString::fromStdU16String(folder));
    dialog.selectFile(QString::fromStdU16String(name));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return false;
    fileName = chosen.first().toStdU16String();
    return true;
}

QStringList QtNameFilters(const std::u16string& filter) {
    const QStringList parts = QString::fromStdU16String(filter).split(QLatin1Char('|'));
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        result << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    if (result.isEmpty())
        result << QStringLiteral("All Files (*)");
    return result;
}

} // namespace orvex
