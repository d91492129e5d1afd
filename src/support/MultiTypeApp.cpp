#include "support/MultiTypeApp.h"

#include <mutex>
#include <thread>

namespace orvex {

namespace {

// Static initialisation runs on the thread that starts the program.
const std::thread::id kMainThread = std::this_thread::get_id();

struct TSlots {
    std::shared_ptr<IServiceApplication> service;
    std::shared_ptr<IMultiTypeApplication> windowed;
    std::shared_ptr<IMultiTypeApplication> console;
    TNullApplication null;
};

TSlots& Slots() {
    static TSlots slots;
    return slots;
}

struct TMainThreadCall {
    std::mutex lock;
    TMainThreadDispatcher dispatcher;
    TMainThreadExceptionHook exceptionHook;
};

TMainThreadCall& MainThreadCall() {
    static TMainThreadCall call;
    return call;
}

} // namespace

void RegisterServiceApplication(std::shared_ptr<IServiceApplication> application) {
    Slots().service = std::move(application);
}

void RegisterWindowedApplication(std::shared_ptr<IMultiTypeApplication> application) {
    Slots().windowed = std::move(application);
}

void RegisterConsoleApplication(std::shared_ptr<IMultiTypeApplication> application) {
    Slots().console = std::move(application);
}

IMultiTypeApplication& GetActiveApplication() {
    TSlots& slots = Slots();
    if (slots.service)
        return *slots.service;
    if (slots.windowed)
        return *slots.windowed;
    if (slots.console)
        return *slots.console;
    return slots.null;
}

void TMultiTypeApplication::CreateForm(const TFormFactory& instanceClass, TFormRef& reference) {
    GetActiveApplication().CreateForm(instanceClass, reference);
}

void TMultiTypeApplication::Initialize() { GetActiveApplication().Initialize(); }

void TMultiTypeApplication::Run() {
    IMultiTypeApplication& active = GetActiveApplication();
    if (!active.GetTerminated() && !preventRun_)
        active.Run();
}

void TMultiTypeApplication::Terminate() {
    RunInMainThread([] { GetActiveApplication().Terminate(); });
}

void TMultiTypeApplication::ProcessMessages() { GetActiveApplication().ProcessMessages(); }
void TMultiTypeApplication::ShowException(const std::exception& e) { GetActiveApplication().ShowException(e); }
void TMultiTypeApplication::Restore() { GetActiveApplication().Restore(); }
void TMultiTypeApplication::Minimize() { GetActiveApplication().Minimize(); }
TWindowHandle TMultiTypeApplication::Handle() { return GetActiveApplication().GetHandle(); }
std::u16string TMultiTypeApplication::HelpFile() { return GetActiveApplication().GetHelpFile(); }
TFormRef TMultiTypeApplication::MainForm() { return GetActiveApplication().GetMainForm(); }
bool TMultiTypeApplication::MainFormOnTaskBar() { return GetActiveApplication().GetMainFormOnTaskBar(); }
TComponentRef TMultiTypeApplication::Application() { return GetActiveApplication().GetApplication(); }
bool TMultiTypeApplication::ShowMainForm() { return GetActiveApplication().GetShowMainForm(); }
bool TMultiTypeApplication::Terminated() { return GetActiveApplication().GetTerminated(); }
std::u16string TMultiTypeApplication::Title() { return GetActiveApplication().GetTitle(); }
void TMultiTypeApplication::SetHelpFile(const std::u16string& value) { GetActiveApplication().SetHelpFile(value); }
void TMultiTypeApplication::SetMainFormOnTaskBar(bool value) { GetActiveApplication().SetMainFormOnTaskBar(value); }
void TMultiTypeApplication::SetShowMainForm(bool value) { GetActiveApplication().SetShowMainForm(value); }
void TMultiTypeApplication::SetTitle(const std::u16string& value) { GetActiveApplication().SetTitle(value); }

bool TMultiTypeApplication::IsUIEnabled() { return Mode() == TmtaMode::mtamApp || uiEnabled_; }

TmtaMode TMultiTypeApplication::Mode() {
    TSlots& slots = Slots();
    if (slots.service)
        return slots.service->RunsAsService() ? TmtaMode::mtamWinService : TmtaMode::mtamApp;
    if (slots.windowed)
        return TmtaMode::mtamApp;
    if (slots.console)
        return TmtaMode::mtamConsole;
    return TmtaMode::mtamUnknown;
}

TComponentRef TMultiTypeApplication::FindComponent(std::u16string_view name) {
    return GetActiveApplication().FindComponent(name);
}

TMultiTypeApplication& MultiTypeApplication() {
    static TMultiTypeApplication facade;
    return facade;
}

void SetMainThreadDispatcher(TMainThreadDispatcher dispatcher) {
    TMainThreadCall& call = MainThreadCall();
    std::lock_guard guard(call.lock);
    call.dispatcher = std::move(dispatcher);
}

void SetMainThreadExceptionHook(TMainThreadExceptionHook hook) {
    TMainThreadCall& call = MainThreadCall();
    std::lock_guard guard(call.lock);
    call.exceptionHook = std::move(hook);
}

bool IsMainThread() { return std::this_thread::get_id() == kMainThread; }

void RunInMainThread(const std::function<void()>& proc) {
    if (IsMainThread()) {
        proc();
        return;
    }
    TMainThreadDispatcher dispatcher;
    TMainThreadExceptionHook exceptionHook;
    {
        TMainThreadCall& call = MainThreadCall();
        std::lock_guard guard(call.lock);
        dispatcher = call.dispatcher;
        exceptionHook = call.exceptionHook;
    }
    // Dropping the call silently would report a failure as success.
    if (!dispatcher)
        throw EMainThreadCallError("No main thread is ready to run the call.");
    try {
        dispatcher(proc);
    } catch (...) {
        if (exceptionHook)
            exceptionHook(std::current_exception());
        throw;
    }
}

} // namespace orvex
