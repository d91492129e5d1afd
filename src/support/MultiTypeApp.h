#pragma once
// The application facade: library code asks one object for application services
// (main window, message loop, showing an exception) whether the program is windowed,
// a console program or a service. The facade forwards to the registered
// implementation, or to one that does nothing. Windows and the application object
// are opaque here (QWidget* and QApplication* in the GUI implementation), so this
// core stays free of Qt.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace orvex {

enum class TmtaMode { mtamUnknown = 0, mtamWinService = 1, mtamApp = 2, mtamConsole = 3 };

using TFormRef = void*;
using TComponentRef = void*;
using TWindowHandle = uintptr_t;
// Makes one form; stands for the form class passed to CreateForm.
using TFormFactory = std::function<TFormRef()>;

class IMultiTypeApplication {
public:
    virtual ~IMultiTypeApplication() = default;
    // Creates a form through instanceClass into reference; the first form created
    // becomes the main form.
    virtual void CreateForm(const TFormFactory& instanceClass, TFormRef& reference) = 0;
    virtual void Initialize() = 0;
    virtual void Run() = 0;
    virtual void Terminate() = 0;
    virtual void ProcessMessages() = 0;
    virtual void ShowException(const std::exception& e) = 0;
    virtual void Restore() = 0;
    virtual void Minimize() = 0;
    virtual TWindowHandle GetHandle() = 0;
    virtual std::u16string GetHelpFile() = 0;
    virtual TFormRef GetMainForm() = 0;
    virtual bool GetMainFormOnTaskBar() = 0;
    virtual TComponentRef GetApplication() = 0;
    virtual bool GetShowMainForm() = 0;
    virtual bool GetTerminated() = 0;
    virtual std::u16string GetTitle() = 0;
    virtual void SetHelpFile(const std::u16string& value) = 0;
    virtual void SetMainFormOnTaskBar(bool value) = 0;
    virtual void SetShowMainForm(bool value) = 0;
    virtual void SetTitle(const std::u16string& value) = 0;
    // The component of that name owned by the application object, or nullptr.
    virtual TComponentRef FindComponent(std::u16string_view name) = 0;
};

// A service implementation also tells whether it really runs as a service.
class IServiceApplication : public IMultiTypeApplication {
public:
    virtual bool RunsAsService() = 0;
};

// Does nothing: handle 0, empty texts, no forms, Terminated true.
class TNullApplication final : public IMultiTypeApplication {
public:
    void CreateForm(const TFormFactory&, TFormRef&) override {}
    void Initialize() override {}
    void Run() override {}
    void Terminate() override {}
    void ProcessMessages() override {}
    void ShowException(const std::exception&) override {}
    void Restore() override {}
    void Minimize() override {}
    TWindowHandle GetHandle() override { return 0; }
    std::u16string GetHelpFile() override { return {}; }
    TFormRef GetMainForm() override { return nullptr; }
    bool GetMainFormOnTaskBar() override { return false; }
    TComponentRef GetApplication() override { return nullptr; }
    bool GetShowMainForm() override { return false; }
    bool GetTerminated() override { return true; }
    std::u16string GetTitle() override { return {}; }
    void SetHelpFile(const std::u16string&) override {}
    void SetMainFormOnTaskBar(bool) override {}
    void SetShowMainForm(bool) override {}
    void SetTitle(const std::u16string&) override {}
    TComponentRef FindComponent(std::u16string_view) override { return nullptr; }
};

// Registration slots: service (A), windowed (B), console (C); nullptr clears a slot.
void RegisterServiceApplication(std::shared_ptr<IServiceApplication> application);
void RegisterWindowedApplication(std::shared_ptr<IMultiTypeApplication> application);
void RegisterConsoleApplication(std::shared_ptr<IMultiTypeApplication> application);

// Slot A if set, else B, else C, else the null implementation.
IMultiTypeApplication& GetActiveApplication();

// The facade; one instance lives as long as the process (MultiTypeApplication()).
class TMultiTypeApplication {
public:
    void CreateForm(const TFormFactory& instanceClass, TFormRef& reference);
    void Initialize();
    // Runs the active implementation unless it is terminated or PreventRun was called.
    void Run();
    // Terminates the active implementation on the main thread.
    void Terminate();
    void ProcessMessages();
    void ShowException(const std::exception& e);
    void Restore();
    void Minimize();
    TWindowHandle Handle();
    std::u16string HelpFile();
    TFormRef MainForm();
    bool MainFormOnTaskBar();
    TComponentRef Application();
    bool ShowMainForm();
    bool Terminated();
    std::u16string Title();
    void SetHelpFile(const std::u16string& value);
    void SetMainFormOnTaskBar(bool value);
    void SetShowMainForm(bool value);
    void SetTitle(const std::u16string& value);

    void PreventRun() { preventRun_ = true; }
    void EnableUI() { uiEnabled_ = true; }
    // True for a windowed program, else whether EnableUI was called.
    bool IsUIEnabled();
    TmtaMode Mode();
    TComponentRef FindComponent(std::u16string_view name);

private:
    bool preventRun_ = false;
    bool uiEnabled_ = false;
};

TMultiTypeApplication& MultiTypeApplication();

// Raised when a call for the main thread cannot be delivered there.
class EMainThreadCallError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Runs a call on the main thread and waits for it; an exception it raises comes back
// to the caller. Set by the GUI unit; empty means there is none.
using TMainThreadDispatcher = std::function<void(const std::function<void()>& call)>;
void SetMainThreadDispatcher(TMainThreadDispatcher dispatcher);

// Sees an exception that a main-thread call raised for another thread, before it is
// raised again there.
using TMainThreadExceptionHook = std::function<void(std::exception_ptr failure)>;
void SetMainThreadExceptionHook(TMainThreadExceptionHook hook);

// True on the thread that started the program.
bool IsMainThread();

// On the main thread calls proc at once. On another thread hands it to the
// dispatcher and waits; its exception is raised again in the calling thread.
// Without a dispatcher it raises EMainThreadCallError.
void RunInMainThread(const std::function<void()>& proc);

} // namespace orvex
