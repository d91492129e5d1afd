#pragma once
// The windowed implementation of the application facade, over QApplication, and the
// GUI thread's part of RunInMainThread.

#include "support/MultiTypeApp.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace orvex {

// Forwards every operation to the QApplication. Forms are QWidget*; the first one
// created becomes the main form.
class TGUIApplication final : public IMultiTypeApplication {
public:
    void CreateForm(const TFormFactory& instanceClass, TFormRef& reference) override;
    void Initialize() override;
    // Shows the main form (unless ShowMainForm is false) and runs the event loop.
    void Run() override;
    void Terminate() override;
    void ProcessMessages() override;
    void ShowException(const std::exception& e) override;
    void Restore() override;
    void Minimize() override;
    TWindowHandle GetHandle() override;
    std::u16string GetHelpFile() override;
    TFormRef GetMainForm() override;
    bool GetMainFormOnTaskBar() override;
    TComponentRef GetApplication() override;
    bool GetShowMainForm() override;
    bool GetTerminated() override;
    std::u16string GetTitle() override;
    void SetHelpFile(const std::u16string& value) override;
    void SetMainFormOnTaskBar(bool value) override;
    void SetShowMainForm(bool value) override;
    void SetTitle(const std::u16string& value) override;
    TComponentRef FindComponent(std::u16string_view name) override;

private:
    QPointer<QWidget> mainForm_;
    std::u16string helpFile_;
    bool mainFormOnTaskBar_ = false;
    bool showMainForm_ = true;
    bool terminated_ = false;
};

// Registers a TGUIApplication as the windowed implementation and lets other threads
// run calls on the GUI thread. Called once by main after the QApplication exists.
void InstallGuiApplication();

// Runs call on the GUI thread and waits for it (a blocking queued invocation); an
// exception it raises is raised again here. On the GUI thread it calls at once.
// Raises EMainThreadCallError when there is no QApplication.
void RunOnGuiThread(const std::function<void()>& call);

// The component of that name and class owned by the application object, or nullptr.
template <class T>
T* FindComponentOf(const QString& name) {
    QObject* found = static_cast<QObject*>(MultiTypeApplication().FindComponent(name.toStdU16String()));
    return qobject_cast<T*>(found);
}

} // namespace orvex
