#include "support/gui/MultiTypeAppGui.h"

#include "ModalDriver.h"

#include <QAbstractButton>
#include <QEventLoop>
#include <QMessageBox>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

using namespace orvex;
using namespace orvex::testing;

namespace {

class MultiTypeAppGuiTest : public ::testing::Test {
protected:
    void SetUp() override { InstallGuiApplication(); }
    void TearDown() override {
        RegisterWindowedApplication(nullptr);
        SetMainThreadDispatcher(nullptr);
    }
};

// Runs work on another thread while the GUI thread keeps its event loop going.
template <class TWork>
void OnWorkerThread(TWork work) {
    std::atomic<bool> done = false;
    std::thread worker([&] {
        work();
        done = true;
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done)
            loop.quit();
    });
    poll.start(5);
    loop.exec();
    worker.join();
}

} // namespace

TEST_F(MultiTypeAppGuiTest, FacadeIsWindowedAndForwardsToQt) {
    TMultiTypeApplication facade;
    EXPECT_EQ(facade.Mode(), TmtaMode::mtamApp);
    EXPECT_TRUE(facade.IsUIEnabled());
    EXPECT_EQ(facade.Application(), QCoreApplication::instance());
    EXPECT_FALSE(facade.Terminated());
    EXPECT_TRUE(facade.ShowMainForm());

    std::unique_ptr<QWidget> first;
    std::unique_ptr<QWidget> second;
    TFormRef reference = nullptr;
    facade.CreateForm([&first] { return (first = std::make_unique<QWidget>()).get(); }, reference);
    EXPECT_EQ(reference, first.get());
    facade.CreateForm([&second] { return (second = std::make_unique<QWidget>()).get(); }, reference);
    EXPECT_EQ(reference, second.get());
    EXPECT_EQ(facade.MainForm(), first.get());

    facade.SetTitle(u"Orvex \u00DC");
    EXPECT_EQ(facade.Title(), u"Orvex \u00DC");
    facade.SetHelpFile(u"/opt/orvex/manual.pdf");
    EXPECT_EQ(facade.HelpFile(), u"/opt/orvex/manual.pdf");

    auto* probe = new QTimer(qApp);
    probe->setObjectName(QStringLiteral("probeTimer"));
    EXPECT_EQ(facade.FindComponent(u"probeTimer"), probe);
    EXPECT_EQ(FindComponentOf<QTimer>(QStringLiteral("probeTimer")), probe);
    EXPECT_EQ(FindComponentOf<QThread>(QStringLiteral("probeTimer")), nullptr);
    EXPECT_EQ(facade.FindComponent(u"nothing"), nullptr);
    delete probe;
}

TEST_F(MultiTypeAppGuiTest, RunShowsTheMainFormUntilTerminated) {
    TMultiTypeApplication facade;
    auto form = std::make_unique<QWidget>();
    TFormRef reference = nullptr;
    facade.CreateForm([&form] { return form.get(); }, reference);
    bool visibleWhileRunning = false;
    QTimer::singleShot(0, [&] {
        visibleWhileRunning = form->isVisible();
        facade.Terminate();
    });
    facade.Run();
    EXPECT_TRUE(visibleWhileRunning);
    EXPECT_TRUE(facade.Terminated());
    facade.Run(); // terminated: returns at once
}

TEST_F(MultiTypeAppGuiTest, ShowExceptionShowsItsMessage) {
    QString shown;
    ActOnNextModal([&shown](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        shown = box->text();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    MultiTypeApplication().ShowException(std::runtime_error("Cannot open file \"x\"."));
    EXPECT_EQ(shown, QStringLiteral("Cannot open file \"x\"."));
}

TEST_F(MultiTypeAppGuiTest, CallsFromOtherThreadsRunOnTheGuiThread) {
    bool onGuiThread = false;
    int calls = 0;
    std::string failure;
    OnWorkerThread([&] {
        RunInMainThread([&] {
            onGuiThread = QThread::currentThread() == qApp->thread();
            ++calls;
        });
        try {
            RunInMainThread([] { throw std::runtime_error("failed on the GUI thread"); });
        } catch (const std::runtime_error& e) {
            failure = e.what();
        }
    });
    EXPECT_TRUE(onGuiThread);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(failure, "failed on the GUI thread");
}

TEST_F(MultiTypeAppGuiTest, GuiThreadCallsAtOnce) {
    int calls = 0;
    RunOnGuiThread([&calls] { ++calls; });
    EXPECT_EQ(calls, 1);
}
