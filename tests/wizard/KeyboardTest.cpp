// The wizard without a mouse: where the focus lands when a page is shown, the Tab
// cycle of each page, Enter as Next, restore page 4 without a choice, and the
// window that the restore question belongs to.

#include "DialogFixture.h"

#include "wizard/FormCheckPath.h"

#include <QPushButton>

#include <algorithm>

namespace orvex::test {
namespace {

using Stops = std::vector<std::string>;

class TKeyboardTest : public TDialogTest {
protected:
    static std::string FocusName() {
        QWidget* focus = QApplication::focusWidget();
        return focus ? U8(focus->objectName()) : std::string("(none)");
    }
    // The stops from the focus round to it again by Tab (or Shift+Tab);
    // "(no wrap)" ends a cycle that never comes back.
    static Stops TabCycle(bool forward) {
        Stops stops{FocusName()};
        QWidget* start = QApplication::focusWidget();
        for (int i = 0; i < 20 && start; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, forward ? Qt::NoModifier : Qt::ShiftModifier);
            if (QApplication::focusWidget() == start)
                return stops;
            stops.push_back(FocusName());
        }
        stops.push_back("(no wrap)");
        return stops;
    }
    // The page's cycle from its first stop, both ways.
    void ExpectCycle(const Stops& expected, const std::string& where) {
        SCOPED_TRACE(where);
        EXPECT_EQ(TabCycle(true), expected);
        Stops backward = expected;
        std::reverse(backward.begin() + 1, backward.end());
        EXPECT_EQ(TabCycle(false), backward);
    }
    // Restore page 4 for the missing paths of Alpha in Dialogs.xml.
    void ToRestorePage4() {
        LoadRestoreFile(CopyFixture("Dialogs.xml"));
        Tick("Web Site: Alpha");
        Click("btnnext");
        Choose({"rbWebsitesExist2", "rbIpNotFound2", "rbPathsValid1"});
        Click("btnnext");
        ASSERT_EQ(Form().ActivePage(), wpRestore4);
    }
    static void Press(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }
};

// Each page: focus on its first control, then its controls in reading order (a
// radio group is one stop, its buttons are reached by the arrow keys), Back, Next or Finish, Cancel, and round again; the
// page control and disabled buttons are no stops.
TEST_F(TKeyboardTest, EveryPageStartsAtItsFirstControlAndTabGoesRound) {
    Form();
    ExpectCycle({"CboxLingvo", "rbBackup", "btnnext", "btnCancel"}, "mode");
    Click("btnnext");
    ExpectCycle({"editMachineName", "btnback", "btnnext", "btnCancel"}, "backup 1");
    Click("btnnext");
    ExpectCycle({"editBackupMetafile", "Button2", "btnback", "btnnext", "btnCancel"}, "backup 2");
    SetText("editBackupMetafile", Temp16("Sites.xml"));
    Click("btnnext");
    ExpectCycle({"editBackupName", "btnback", "btnnext", "btnCancel"}, "backup 3");
    Click("btnnext");
    ExpectCycle({"tvBackup", "lvProperty", "btnback", "btnfinish"}, "backup 4");
    Screenshot("Keyboard-Backup4");

    CloseForm();
    Choose({"rbRestore"});
    Click("btnnext");
    ExpectCycle({"editRestoreMetafile", "btnrestorebrown", "editDestMachine", "btnback", "btnnext", "btnCancel"},
                "restore 1");
    CloseForm();
    ToRestorePage4();
    ExpectCycle({"rbCheckPath1", "btnback", "btnnext", "btnCancel"}, "restore 4");
    Click("btnback");
    ExpectCycle({"rbIpNotFound1", "rbWebsitesExist1", "rbPathsValid1", "btnback", "btnnext", "btnCancel"},
                "restore 3");
    Click("btnback");
    ExpectCycle({"tvRestore", "lvPropertyR", "btnback", "btnnext", "btnCancel"}, "restore 2");
    Click("btnnext");
    Click("btnnext");
    Choose({"rbCheckPath3"});
    Answers = {mrYes};
    Click("btnnext");
    ASSERT_EQ(Form().ActivePage(), wpRestore5);
    ExpectCycle({"rtLog", "btnback", "btnfinish"}, "restore 5");
}

TEST_F(TKeyboardTest, EnterPressesNextUnlessAFocusedButtonTakesIt) {
    EXPECT_TRUE(Find<QPushButton>("btnnext")->isDefault());
    EXPECT_TRUE(Find<QPushButton>("btnfinish")->isDefault());
    const struct {
        int Tabs;        // from the page's first stop
        Qt::Key Key;
        int Page;        // after the key
    } steps[] = {
        {0, Qt::Key_Return, wpBackup1}, // the language combo lets Enter through
        {0, Qt::Key_Enter, wpBackup2},  // so does an edit, with either Enter key
        {2, Qt::Key_Return, wpBackup1}, // a focused Back takes its own Enter
        {2, Qt::Key_Return, wpBackup2}, // as does a focused Next
    };
    Form();
    for (const auto& step : steps) {
        for (int i = 0; i < step.Tabs; ++i)
            Press(Qt::Key_Tab);
        Press(step.Key);
        EXPECT_EQ(Form().ActivePage(), step.Page) << step.Tabs;
    }
    // Where Next refuses, Enter gives the same answer: the sound, and the page stays.
    SetText("editBackupMetafile", Temp16("Sites.xml"));
    Press(Qt::Key_Return);
    ASSERT_EQ(Form().ActivePage(), wpBackup3);
    SetText("editBackupName", u"   ");
    Press(Qt::Key_Return);
    EXPECT_EQ(Form().ActivePage(), wpBackup3);
    EXPECT_TRUE(SoundPlayed());
}

TEST_F(TKeyboardTest, RestorePageFourWithoutAChoiceSoundsAndStays) {
    ToRestorePage4();
    ASSERT_FALSE(SoundPlayed());
    Click("btnnext");
    EXPECT_EQ(Form().ActivePage(), wpRestore4);
    EXPECT_TRUE(SoundPlayed());
    EXPECT_TRUE(Messages.empty());
}

// The question after the check-path dialog belongs to the main window, not to the
// dialog that has just closed.
TEST_F(TKeyboardTest, RestoreQuestionAfterTheCheckDialogBelongsToTheMainWindow) {
    ToRestorePage4();
    Choose({"rbCheckPath1"});
    WithModal<TFormCheckPath>([this] { Click("btnnext"); }, [](TFormCheckPath& dialog) { dialog.close(); });
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(U8(Messages[0].Text), "Are you ready to restore?");
    EXPECT_EQ(Messages[0].Parent, &Form());
}

} // namespace
} // namespace orvex::test
