#include "support/MultiTypeApp.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using namespace orvex;

namespace {

// Records the operations the facade forwards.
class TRecordingApplication : public IServiceApplication {
public:
    explicit TRecordingApplication(std::vector<std::string>& log, bool terminated = false, bool service = false)
        : log_(log), terminated_(terminated), service_(service) {}
    void CreateForm(const TFormFactory& make, TFormRef& reference) override {
        log_.push_back("CreateForm");
        reference = make();
    }
    void Initialize() override { log_.push_back("Initialize"); }
    void Run() override { log_.push_back("Run"); }
    void Terminate() override { log_.push_back("Terminate"); }
    void ProcessMessages() override { log_.push_back("ProcessMessages"); }
    void ShowException(const std::exception& e) override { log_.push_back(std::string("ShowException ") + e.what()); }
    void Restore() override { log_.push_back("Restore"); }
    void Minimize() override { log_.push_back("Minimize"); }
    TWindowHandle GetHandle() override { return 77; }
    std::u16string GetHelpFile() override { return helpFile_; }
    TFormRef GetMainForm() override { return nullptr; }
    bool GetMainFormOnTaskBar() override { return true; }
    TComponentRef GetApplication() override { return this; }
    bool GetShowMainForm() override { return true; }
    bool GetTerminated() override { return terminated_; }
    std::u16string GetTitle() override { return u"Recorder"; }
    void SetHelpFile(const std::u16string& value) override { helpFile_ = value; }
    void SetMainFormOnTaskBar(bool) override {}
    void SetShowMainForm(bool) override {}
    void SetTitle(const std::u16string&) override {}
    TComponentRef FindComponent(std::u16string_view name) override { return name == u"known" ? this : nullptr; }
    bool RunsAsService() override { return service_; }

private:
    std::vector<std::string>& log_;
    std::u16string helpFile_;
    bool terminated_;
    bool service_;
};

class MultiTypeAppTest : public ::testing::Test {
protected:
    void TearDown() override {
        RegisterServiceApplication(nullptr);
        RegisterWindowedApplication(nullptr);
        RegisterConsoleApplication(nullptr);
        SetMainThreadDispatcher(nullptr);
        SetMainThreadExceptionHook(nullptr);
    }
    std::vector<std::string> log_;
};

} // namespace

TEST_F(MultiTypeAppTest, NullImplementationAnswersNothing) {
    TMultiTypeApplication facade;
    EXPECT_EQ(facade.Mode(), TmtaMode::mtamUnknown);
    EXPECT_EQ(facade.Handle(), 0u);
    EXPECT_TRUE(facade.Terminated());
    EXPECT_EQ(facade.Title(), u"");
    EXPECT_EQ(facade.MainForm(), nullptr);
    EXPECT_EQ(facade.Application(), nullptr);
    EXPECT_FALSE(facade.ShowMainForm());
    EXPECT_FALSE(facade.MainFormOnTaskBar());
    EXPECT_EQ(facade.FindComponent(u"x"), nullptr);
    EXPECT_FALSE(facade.IsUIEnabled());
    facade.EnableUI();
    EXPECT_TRUE(facade.IsUIEnabled());
    facade.Run(); // terminated: nothing happens
    facade.Terminate();
}

TEST_F(MultiTypeAppTest, ActiveSlotIsServiceThenWindowedThenConsole) {
    std::vector<std::string> console, windowed, service;
    TMultiTypeApplication facade;
    RegisterConsoleApplication(std::make_shared<TRecordingApplication>(console));
    EXPECT_EQ(facade.Mode(), TmtaMode::mtamConsole);
    EXPECT_FALSE(facade.IsUIEnabled());
    RegisterWindowedApplication(std::make_shared<TRecordingApplication>(windowed));
    EXPECT_EQ(facade.Mode(), TmtaMode::mtamApp);
    EXPECT_TRUE(facade.IsUIEnabled());
    RegisterServiceApplication(std::make_shared<TRecordingApplication>(service, false, true));
    EXPECT_EQ(facade.Mode(), TmtaMode::mtamWinService);
    facade.ProcessMessages();
    RegisterServiceApplication(std::make_shared<TRecordingApplication>(service, false, false));
    EXPECT_EQ(facade.Mode(), TmtaMode::mtamApp);
    EXPECT_EQ(service, std::vector<std::string>{"ProcessMessages"});
    EXPECT_TRUE(windowed.empty());
    EXPECT_TRUE(console.empty());
}

TEST_F(MultiTypeAppTest, FacadeForwardsAndGuardsRun) {
    RegisterWindowedApplication(std::make_shared<TRecordingApplication>(log_));
    TMultiTypeApplication facade;
    int form = 0;
    TFormRef reference = nullptr;
    facade.Initialize();
    facade.CreateForm([&form] { return &form; }, reference);
    EXPECT_EQ(reference, &form);
    facade.Run();
    facade.ShowException(std::runtime_error("boom"));
    facade.Restore();
    facade.Minimize();
    facade.Terminate(); // on the main thread: at once
    facade.SetHelpFile(u"help.pdf");
    EXPECT_EQ(facade.HelpFile(), u"help.pdf");
    EXPECT_EQ(facade.Handle(), 77u);
    EXPECT_NE(facade.FindComponent(u"known"), nullptr);
    EXPECT_EQ(facade.FindComponent(u"unknown"), nullptr);
    facade.PreventRun();
    facade.Run();
    const std::vector<std::string> expected = {"Initialize", "CreateForm", "Run", "ShowException boom",
                                               "Restore", "Minimize", "Terminate"};
    EXPECT_EQ(log_, expected);

    std::vector<std::string> terminatedLog;
    RegisterWindowedApplication(std::make_shared<TRecordingApplication>(terminatedLog, true));
    TMultiTypeApplication other;
    other.Run();
    EXPECT_TRUE(terminatedLog.empty());
}

TEST_F(MultiTypeAppTest, RunInMainThreadCallsAtOnceOnTheMainThread) {
    EXPECT_TRUE(IsMainThread());
    int calls = 0;
    RunInMainThread([&calls] { ++calls; });
    EXPECT_EQ(calls, 1);
    EXPECT_THROW(RunInMainThread([] { throw std::logic_error("x"); }), std::logic_error);
}

TEST_F(MultiTypeAppTest, RunInMainThreadWithoutDispatcherRaisesInsteadOfDropping) {
    bool ran = false;
    std::string failure;
    std::thread worker([&] {
        try {
            RunInMainThread([&ran] { ran = true; });
        } catch (const EMainThreadCallError& e) {
            failure = e.what();
        }
    });
    worker.join();
    EXPECT_FALSE(ran);
    EXPECT_EQ(failure, "No main thread is ready to run the call.");
}

TEST_F(MultiTypeAppTest, DispatchedExceptionPassesTheHookAndComesBack) {
    // A dispatcher that runs the call where it stands, as a stand-in for the GUI thread.
    SetMainThreadDispatcher([](const std::function<void()>& call) { call(); });
    std::string seen;
    SetMainThreadExceptionHook([&seen](std::exception_ptr failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& e) {
            seen = e.what();
        }
    });
    std::string caught;
    int calls = 0;
    std::thread worker([&] {
        RunInMainThread([&calls] { ++calls; });
        try {
            RunInMainThread([] { throw std::runtime_error("inner failure"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
    });
    worker.join();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen, "inner failure");
    EXPECT_EQ(caught, "inner failure");
}
