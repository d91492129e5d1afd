// The log window: every line kept with its colour across the store's blocks, a
// restore's log on restore page 5, whole lines selected and copied, Clear Log, and
// the pace at which a run lets the event loop in.

#include "WizardFixture.h"

#include "engine/ProgressLog.h"
#include "wizard/CheckTreeWidget.h"

#include <QClipboard>
#include <QScrollBar>

#include <functional>

namespace orvex::test {
namespace {

class TLogViewTest : public TWizardTest {
protected:
    TLogView* View() { return Find<TLogView>("rtLog"); }

    // A restore of the fixture's Shop site, ending on restore page 5.
    void RestoreShop() {
        LoadRestoreFile(CopyFixture("Restore.xml"));
        auto* tree = Find<TCheckTreeWidget>("tvRestore");
        tree->setCurrentItem(tree->topLevelItem(0)->child(1));
        QTest::keyClick(tree, Qt::Key_Space);
        Click("btnnext");
        Choose({"rbWebsitesExist2", "rbIpNotFound2", "rbPathsValid2"});
        Answers = {mrYes};
        Click("btnnext");
        ASSERT_EQ(Form().ActivePage(), wpRestore5);
        QApplication::processEvents();
    }

    // The middle of a line of the view, and a press there as a user makes it.
    QPoint OnLine(int line) {
        const int height = View()->fontMetrics().lineSpacing();
        return QPoint(40, line * height + height / 2);
    }
    void ClickLine(int line, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(View()->viewport(), Qt::LeftButton, modifiers, OnLine(line));
    }

    static std::string Clipboard() { return U8(QApplication::clipboard()->text()); }
};

TEST_F(TLogViewTest, EveryLineIsKeptWithItsColour) {
    Form();
    const std::string wide(300000, 'w');  // more than a block of the store
    const struct {
        std::u16string Text;
        TColor Colour;
        std::vector<std::string> Lines;  // what the view holds for it
    } cases[] = {
        {u"plain", clLogBlue, {"plain"}},
        {u"", clLogRed, {""}},
        {u"Gr\u00F6\u00DFe \u4E2D \U0001F600", clLogGreen, {"Gr\u00F6\u00DFe \u4E2D \U0001F600"}},
        {u"one\r\ntwo", clLogBlack, {"one", "two"}},
        {u"cr\rlf\n", 0x123456, {"cr", "lf", ""}},
        {Utf8ToUtf16(wide), clLogBlue, {wide}},
    };
    std::vector<std::pair<std::string, TColor>> expected;
    for (const auto& c : cases) {
        LogLine(c.Text, c.Colour);
        for (const std::string& line : c.Lines)
            expected.emplace_back(line, c.Colour);
    }
    // Enough lines to fill several blocks, each behind the others.
    for (int i = 0; i < 30000; ++i) {
        expected.emplace_back("  Restore property: Key" + std::to_string(i) + "=" + std::string(i % 50, 'v'),
                              i % 2 ? clLogGreen : clLogRed);
        LogLine(Utf8ToUtf16(expected.back().first), expected.back().second);
    }
    const TLogLines& lines = View()->Lines();
    ASSERT_EQ(lines.Count(), expected.size());
    std::string plain;
    for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(lines.Text(i), expected[i].first) << i;
        ASSERT_EQ(lines.Colour(i), expected[i].second) << i;
        plain += expected[i].first + "\n";
    }
    EXPECT_EQ(LogText(), plain);
}

TEST_F(TLogViewTest, RestoreLogIsShownSelectedCopiedAndCleared) {
    for (const char* language : {"English", "German"}) {
        SCOPED_TRACE(language);
        CloseForm();
        if (std::string(language) == "German")
            Trigger("miLingvoDeutsch");
        RestoreShop();
        const TLogLines& lines = View()->Lines();
        ASSERT_GT(lines.Count(), 3u);
        EXPECT_EQ(lines.Text(lines.Count() - 1), "Restore finished.");
        EXPECT_EQ(lines.Colour(lines.Count() - 1), clLogBlue);
        // The view shows every line and has followed the end.
        QScrollBar* bar = View()->verticalScrollBar();
        EXPECT_EQ(bar->maximum(), std::max(0, static_cast<int>(lines.Count()) - bar->pageStep()));
        EXPECT_EQ(bar->value(), bar->maximum());
        Screenshot("Page10-Restore5-Log-" + std::string(language));
    }

    Trigger("popClearLog");
    EXPECT_EQ(View()->verticalScrollBar()->maximum(), 0);
    for (int i = 0; i < 6; ++i)
        LogLine(u"line " + Utf8ToUtf16(std::to_string(i)), i == 1 ? clLogRed : clLogGreen);
    QApplication::processEvents();
    // Each line is drawn in its own colour: count the pixels where that channel
    // stands out (the glyphs' edges are blended with the white ground).
    const QImage drawn = View()->viewport()->grab().toImage();
    const int height = View()->fontMetrics().lineSpacing();
    auto greenOrRed = [](QColor pixel) {
        return pixel.green() > pixel.red() + 50 && pixel.green() > pixel.blue() + 50   ? 'g'
               : pixel.red() > pixel.green() + 50 && pixel.red() > pixel.blue() + 50 ? 'r'
                                                                                     : ' ';
    };
    for (const auto& [line, channel] : {std::pair{0, 'g'}, std::pair{1, 'r'}, std::pair{2, 'g'}}) {
        int matching = 0, other = 0;
        for (int y = line * height; y < (line + 1) * height; ++y)
            for (int x = 0; x < 100; ++x) {
                const char found = greenOrRed(drawn.pixelColor(x, y));
                matching += found == channel;
                other += found != ' ' && found != channel;
            }
        EXPECT_GT(matching, 10) << "line " << line;
        EXPECT_EQ(other, 0) << "line " << line;
    }
    const std::string all = "line 0\nline 1\nline 2\nline 3\nline 4\nline 5";
    const struct {
        const char* Gesture;
        std::function<void()> Select;
        std::string Copied;
    } cases[] = {
        {"click", [&] { ClickLine(2); }, "line 2"},
        {"Shift+click upwards", [&] { ClickLine(4); ClickLine(1, Qt::ShiftModifier); }, "line 1\nline 2\nline 3\nline 4"},
        {"drag",
         [&] {
             QWidget* viewport = View()->viewport();
             const QPointF to = OnLine(2);
             QTest::mousePress(viewport, Qt::LeftButton, {}, OnLine(0));
             QMouseEvent move(QEvent::MouseMove, to, viewport->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
             QApplication::sendEvent(viewport, &move);
             QTest::mouseRelease(viewport, Qt::LeftButton, {}, to.toPoint());
         },
         "line 0\nline 1\nline 2"},
        {"below the last line", [&] { ClickLine(40); }, "line 5"},
        {"Ctrl+A", [&] { QTest::keyClick(View(), Qt::Key_A, Qt::ControlModifier); }, all},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Gesture);
        QApplication::clipboard()->clear();
        c.Select();
        QTest::keyClick(View(), Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(Clipboard(), c.Copied);
    }
    Screenshot("Page10-Restore5-Log-Selected");

    Trigger("popClearLog");
    EXPECT_EQ(LogText(), "");
    EXPECT_EQ(U8(View()->SelectedText()), "");
    QTest::keyClick(View(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(Clipboard(), all) << "an empty selection copies nothing";
}

TEST_F(TLogViewTest, HomeAndEndGoToTheFirstAndLastLine) {
    RestoreShop();
    Trigger("popClearLog");
    constexpr int count = 2000;
    for (int i = 0; i < count; ++i)
        LogLine(u"line " + Utf8ToUtf16(std::to_string(i)), clLogGreen);
    QApplication::processEvents();
    QScrollBar* bar = View()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    ClickLine(2);
    const int anchor = bar->maximum() + 2;
    const struct {
        Qt::Key Key;
        Qt::KeyboardModifiers Modifiers;
        int First, Last;  // the selected lines after it
    } cases[] = {
        {Qt::Key_Home, Qt::ShiftModifier, 0, anchor},
        {Qt::Key_End, Qt::ShiftModifier, anchor, count - 1},
        {Qt::Key_Home, {}, 0, 0},
        {Qt::Key_End, {}, count - 1, count - 1},
        {Qt::Key_Home, Qt::ControlModifier, 0, 0},
        {Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier, 0, count - 1},
        {Qt::Key_End, Qt::ControlModifier, count - 1, count - 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QKeySequence(c.Key | c.Modifiers).toString().toStdString());
        QTest::keyClick(View(), c.Key, c.Modifiers);
        std::string selected = "line " + std::to_string(c.First);
        for (int i = c.First + 1; i <= c.Last; ++i)
            selected += "\nline " + std::to_string(i);
        EXPECT_EQ(U8(View()->SelectedText()), selected);
        EXPECT_EQ(bar->value(), c.Key == Qt::Key_Home ? 0 : bar->maximum());
    }
    Screenshot("Page10-Restore5-Log-End");

    Trigger("popClearLog");
    QTest::keyClick(View(), Qt::Key_Home);
    EXPECT_EQ(U8(View()->SelectedText()), "") << "an empty log has no first line";
}

TEST(TEventPacerTest, DueAtFirstThenOncePerInterval) {
    using namespace std::chrono_literals;
    static TEventPacer::TClock::time_point now;
    TEventPacer pacer(50ms, [] { return now; });
    const std::pair<std::chrono::milliseconds, bool> offers[] = {
        {0ms, true}, {0ms, false}, {49ms, false}, {50ms, true}, {99ms, false}, {100ms, true}, {500ms, true},
    };
    const TEventPacer::TClock::time_point start = now;
    for (const auto& [at, due] : offers) {
        now = start + at;
        EXPECT_EQ(pacer.Due(), due) << at.count() << " ms";
    }
    pacer.Restart();
    EXPECT_TRUE(pacer.Due());
    EXPECT_FALSE(pacer.Due());
}

} // namespace
} // namespace orvex::test
