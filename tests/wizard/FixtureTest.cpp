// The fixtures' lookups: a missing widget fails the test with its name, in the
// main window and inside a modal dialog alike, and never hands back null.

#include "DialogFixture.h"

#include <QDialog>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest-spi.h>

namespace orvex::test {
namespace {

class TFixtureTest : public TDialogTest {
protected:
    void SetUp() override {
        TDialogTest::SetUp();
        LoadRestoreFile(CopyFixture("Restore.xml"));
    }
};

TEST_F(TFixtureTest, AMissingWidgetFailsWithItsName) {
    const std::vector<std::pair<std::function<void()>, std::string>> lookups = {
        {[this] { Find<QPushButton>("btnNowhere"); }, "no QPushButton named \"btnNowhere\""},
        {[this] { Find<QLineEdit>("btnnext"); }, "no QLineEdit named \"btnnext\""},  // there, but of another kind
        {[this] { Click("btnNowhere"); }, "no QAbstractButton named \"btnNowhere\""},
        {[this] { Trigger("actionNowhere"); }, "no QAction named \"actionNowhere\""},
        {[this] { SetText("editNowhere", u"x"); }, "no QLineEdit named \"editNowhere\""},
        {[this] { In<QLabel>(Form(), "LabelNowhere"); }, "no QLabel named \"LabelNowhere\""},
        {[this] { Tick("Web Site: Nowhere"); }, "no node \"Web Site: Nowhere\" in tvRestore"},
    };
    for (const auto& [lookup, message] : lookups) {
        try {
            lookup();
            ADD_FAILURE() << "found: " << message;
        } catch (const EMissingWidget& missing) {
            EXPECT_EQ(missing.what(), message);
        }
    }
    EXPECT_NE(Find<QPushButton>("btnnext"), nullptr);
}

TEST_F(TFixtureTest, AControlMissingInAModalDialogFailsAndClosesIt) {
    ::testing::TestPartResultArray failures;
    {
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
        Find<TCheckTreeWidget>("tvRestore")->setCurrentItem(RestoreNode("Web Site: Default Web Site"));
        Find<QTableWidget>("lvPropertyR")->selectRow(0);
        WithModal<QDialog>([this] { Trigger("actionPropertyAddR"); },
                           [](QDialog& dialog) { ClickIn(dialog, "btnNowhere"); });
    }
    ASSERT_EQ(failures.size(), 1);
    const ::testing::TestPartResult& failure = failures.GetTestPartResult(0);
    EXPECT_TRUE(failure.nonfatally_failed());
    EXPECT_NE(std::string(failure.message()).find("no QAbstractButton named \"btnNowhere\""), std::string::npos)
        << failure.message();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
} // namespace orvex::test
