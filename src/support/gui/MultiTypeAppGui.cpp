#include "support/gui/MultiTypeAppGui.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace orvex {

void TGUIApplication::CreateForm(const TFormFactory& instanceClass, TFormRef& reference) {
    reference = instanceClass();
    if (!mainForm_ && reference)
        mainForm_ = static_cast<QWidget*>(reference);
}

void TGUIApplication::Initialize() {}

void TGUIApplication::Run() {
    if (mainForm_ && showMainForm_)
        mainForm_->show();
    QApplication::exec();
    terminated_ = true;
}

void TGUIApplication::Terminate() {
    terminated_ = true;
    QCoreApplication::quit();
}

void TGUIApplication::ProcessMessages() { QCoreApplication::processEvents(); }

void TGUIApplication::ShowException(const std::exception& e) {
    QMessageBox box(QMessageBox::Critical, QGuiApplication::applicationDisplayName(),
                    QString::fromUtf8(e.what()), QMessageBox::Ok, mainForm_);
    box.exec();
}

void TGUIApplication::Restore() {
    if (!mainForm_)
        return;
    mainForm_->showNormal();
    mainForm_->raise();
    mainForm_->activateWindow();
}

void TGUIApplication::Minimize() {
    if (mainForm_)
        mainForm_->showMinimized();
}

TWindowHandle TGUIApplication::GetHandle() {
    return mainForm_ ? static_cast<TWindowHandle>(mainForm_->effectiveWinId()) : 0;
}

std::u16string TGUIApplication::GetHelpFile() { return helpFile_; }

TFormRef TGUIApplication::GetMainForm() { return mainForm_.data(); }

bool TGUIApplication::GetMainFormOnTaskBar() { return mainFormOnTaskBar_; }

TComponentRef TGUIApplication::GetApplication() { return QCoreApplication::instance(); }

bool TGUIApplication::GetShowMainForm() { return showMainForm_; }

bool TGUIApplication::GetTerminated() { return terminated_; }

std::u16string TGUIApplication::GetTitle() { return QGuiApplication::applicationDisplayName().toStdU16String(); }

void TGUIApplication::SetHelpFile(const std::u16string& value) { helpFile_ = value; }

void TGUIApplication::SetMainFormOnTaskBar(bool value) { mainFormOnTaskBar_ = value; }

void TGUIApplication::SetShowMainForm(bool value) { showMainForm_ = value; }

void TGUIApplication::SetTitle(const std::u16string& value) {
    QGuiApplication::setApplicationDisplayName(QString::fromStdU16String(value));
}

TComponentRef TGUIApplication::FindComponent(std::u16string_view name) {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return nullptr;
    const QString wanted = QString::fromUtf16(name.data(), static_cast<qsizetype>(name.size()));
    return application->findChild<QObject*>(wanted, Qt::FindDirectChildrenOnly);
}

void InstallGuiApplication() {
    RegisterWindowedApplication(std::make_shared<TGUIApplication>());
    SetMainThreadDispatcher(RunOnGuiThread);
}

void RunOnGuiThread(const std::function<void()>& call) {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        throw EMainThreadCallError("No main thread is ready to run the call.");
    if (QThread::currentThread() == application->thread()) {
        call();
        return;
    }
    std::exception_ptr failure;
    // No exception may cross the event loop: it is caught there and raised again here.
    const bool delivered = QMetaObject::invokeMethod(
        application,
        [&call, &failure] {
            try {
                call();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (!delivered)
        throw EMainThreadCallError("No main thread is ready to run the call.");
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace orvex
