#pragma once
// The log window. A restore logs a line per property, over a million for a large
// backup, so the lines live in one compact store (UTF-8 text in large blocks and
// a small index entry per line) and the view draws only the lines it shows:
// appending costs the same at the millionth line as at the first. New lines are
// shown in one batch on the next pass of the event loop. Whole lines are selected
// (click, drag, Shift+click, Ctrl+A) and copied (Ctrl+C) as plain text.

#include "engine/EngineHost.h"

#include <QAbstractScrollArea>
#include <QColor>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

// 0x00BBGGRR as a Qt colour.
QColor ColorOf(TColor colour);

// Every line of the log with its colour.
class TLogLines {
public:
    // One line; text holds no line break.
    void Append(std::u16string_view text, TColor colour);
    void Clear();
    size_t Count() const { return FLines.size(); }
    std::string_view Text(size_t index) const;
    TColor Colour(size_t index) const { return FLines[index].Colour; }
    // The line with the most bytes, or 0 when there is none.
    size_t Longest() const { return FLongest; }
    // The heap the lines hold.
    size_t MemoryBytes() const;

private:
    struct TLine {
        uint32_t Block;
        uint32_t Offset;
        uint32_t Length;
        TColor Colour;
    };
    std::vector<std::string> FBlocks;  // each keeps its capacity: views into it stay valid
    std::vector<TLine> FLines;
    size_t FLongest = 0;
    std::string FUtf8;  // reused for each line's conversion
};

class TLogView : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit TLogView(QWidget* parent = nullptr);

    // Appends text in colour as a line; a line break inside it (CR LF, CR or LF)
    // starts a further line of the same colour.
    void AppendLine(std::u16string_view text, TColor colour);
    const TLogLines& Lines() const { return FLines; }
    // Every line, each followed by "\n".
    QString toPlainText() const;
    // The selected lines joined by "\n"; empty without a selection.
    QString SelectedText() const;
    // The lines appended since the last batch are shown; the view follows the end
    // when it showed the end before, so a user reading further up is left there.
    void ShowPendingLines();
    // Shows the last line and follows the end from now on.
    void ScrollToEnd();

public slots:
    void clear();
    void copy() const;
    void selectAll();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    void scrollContentsBy(int dx, int dy) override;

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    int LineHeight() const;
    // The line at a height in the viewport, clamped to the shown lines; -1 when none is.
    int LineAt(int y) const;
    void UpdateScrollBars();
    // Widens the scrollable width to a line's width.
    void TakeWidth(const QString& line);
    void Select(int line, bool extend);

    TLogLines FLines;
    int FShownCount = 0;
    bool FBatchPosted = false;
    size_t FMeasuredLongest = kNone;
    int FContentWidth = 0;
    // The selected lines run from the anchor to the current line; -1 for none.
    int FAnchor = -1;
    int FCurrent = -1;
};

} // namespace orvex
