#include "wizard/LogView.h"

#include "base/Utf.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace orvex {

namespace {

// Large enough that a block holds thousands of lines, small enough that the last
// one's unused room is no matter.
constexpr size_t kBlockBytes = 256 * 1024;
constexpr int kTextMargin = 4;

QString ToQString(std::string_view utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

// Home or End, alone or with Ctrl, Shift or both.
bool IsHomeOrEnd(const QKeyEvent& event) {
    const Qt::KeyboardModifiers others =
        event.modifiers() & ~(Qt::ControlModifier | Qt::ShiftModifier | Qt::KeypadModifier);
    return (event.key() == Qt::Key_Home || event.key() == Qt::Key_End) && others == Qt::NoModifier;
}

} // namespace

QColor ColorOf(TColor colour) {
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

void TLogLines::Append(std::u16string_view text, TColor colour) {
    Utf16ToUtf8(text, FUtf8);
    if (FBlocks.empty() || FBlocks.back().capacity() - FBlocks.back().size() < FUtf8.size()) {
        FBlocks.emplace_back();
        FBlocks.back().reserve(std::max(kBlockBytes, FUtf8.size()));
    }
    std::string& block = FBlocks.back();
    FLines.push_back({static_cast<uint32_t>(FBlocks.size() - 1), static_cast<uint32_t>(block.size()),
                      static_cast<uint32_t>(FUtf8.size()), colour});
    block.append(FUtf8);
    if (FUtf8.size() > FLines[FLongest].Length)
        FLongest = FLines.size() - 1;
}

void TLogLines::Clear() {
    FBlocks.clear();
    FBlocks.shrink_to_fit();
    FLines.clear();
    FLines.shrink_to_fit();
    FLongest = 0;
}

std::string_view TLogLines::Text(size_t index) const {
    const TLine& line = FLines[index];
    return std::string_view(FBlocks[line.Block]).substr(line.Offset, line.Length);
}

size_t TLogLines::MemoryBytes() const {
    size_t bytes = FBlocks.capacity() * sizeof(std::string) + FLines.capacity() * sizeof(TLine);
    for (const std::string& block : FBlocks)
        bytes += block.capacity();
    return bytes;
}

TLogView::TLogView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
}

void TLogView::AppendLine(std::u16string_view text, TColor colour) {
    for (;;) {
        const size_t end = text.find_first_of(u"\r\n");
        FLines.Append(text.substr(0, end), colour);
        if (end == std::u16string_view::npos)
            break;
        text.remove_prefix(end + (text.substr(end, 2) == u"\r\n" ? 2 : 1));
    }
    if (!FBatchPosted) {
        FBatchPosted = true;
        QMetaObject::invokeMethod(this, &TLogView::ShowPendingLines, Qt::QueuedConnection);
    }
}

QString TLogView::toPlainText() const {
    QString text;
    for (size_t i = 0; i < FLines.Count(); ++i)
        text += ToQString(FLines.Text(i)) + QLatin1Char('\n');
    return text;
}

QString TLogView::SelectedText() const {
    if (FAnchor < 0)
        return {};
    QStringList lines;
    for (int i = std::min(FAnchor, FCurrent); i <= std::max(FAnchor, FCurrent); ++i)
        lines.append(ToQString(FLines.Text(static_cast<size_t>(i))));
    return lines.join(QLatin1Char('\n'));
}

void TLogView::ShowPendingLines() {
    FBatchPosted = false;
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    FShownCount = static_cast<int>(FLines.Count());
    if (FLines.Count() > 0 && FLines.Longest() != FMeasuredLongest) {
        FMeasuredLongest = FLines.Longest();
        TakeWidth(ToQString(FLines.Text(FMeasuredLongest)));
    }
    UpdateScrollBars();
    if (atEnd)
        bar->setValue(bar->maximum());
    viewport()->update();
}

void TLogView::ScrollToEnd() {
    ShowPendingLines();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TLogView::clear() {
    FLines.Clear();
    FShownCount = 0;
    FMeasuredLongest = kNone;
    FContentWidth = 0;
    FAnchor = FCurrent = -1;
    UpdateScrollBars();
    viewport()->update();
}

void TLogView::copy() const {
    if (FAnchor >= 0)
        QApplication::clipboard()->setText(SelectedText());
}

void TLogView::selectAll() {
    if (FShownCount == 0)
        return;
    FAnchor = 0;
    FCurrent = FShownCount - 1;
    viewport()->update();
}

int TLogView::LineHeight() const { return fontMetrics().lineSpacing(); }

int TLogView::LineAt(int y) const {
    if (FShownCount == 0)
        return -1;
    // Above the view counts as the line before the first shown, so a drag scrolls up.
    const int height = LineHeight();
    const int line = verticalScrollBar()->value() + (y < 0 ? (y - height + 1) / height : y / height);
    return std::clamp(line, 0, FShownCount - 1);
}

void TLogView::UpdateScrollBars() {
    const int visibleLines = std::max(1, viewport()->height() / LineHeight());
    verticalScrollBar()->setRange(0, std::max(0, FShownCount - visibleLines));
    verticalScrollBar()->setPageStep(visibleLines);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setRange(0, std::max(0, FContentWidth + 2 * kTextMargin - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(fontMetrics().averageCharWidth() * 4);
}

void TLogView::TakeWidth(const QString& line) {
    const int width = fontMetrics().horizontalAdvance(line);
    if (width <= FContentWidth)
        return;
    FContentWidth = width;
    horizontalScrollBar()->setRange(0, std::max(0, FContentWidth + 2 * kTextMargin - viewport()->width()));
}

void TLogView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const int height = LineHeight();
    const int ascent = fontMetrics().ascent();
    const int x = kTextMargin - horizontalScrollBar()->value();
    const int first = verticalScrollBar()->value();
    const int last = std::min(FShownCount, first + viewport()->height() / height + 1);
    const int selectedFirst = std::min(FAnchor, FCurrent), selectedLast = std::max(FAnchor, FCurrent);
    for (int i = first; i < last; ++i) {
        const int top = (i - first) * height;
        const QString text = ToQString(FLines.Text(static_cast<size_t>(i)));
        // The widest line by bytes was measured; a line drawn here may yet be wider.
        TakeWidth(text);
        if (FAnchor >= 0 && i >= selectedFirst && i <= selectedLast) {
            painter.fillRect(QRect(0, top, viewport()->width(), height), palette().highlight());
            painter.setPen(palette().color(QPalette::HighlightedText));
        } else {
            painter.setPen(ColorOf(FLines.Colour(static_cast<size_t>(i))));
        }
        painter.drawText(x, top + ascent, text);
    }
}

// Lines scroll a line at a time, not by the pixels the default moves.
void TLogView::scrollContentsBy(int, int) { viewport()->update(); }

void TLogView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void TLogView::Select(int line, bool extend) {
    if (line < 0 || line >= FShownCount)
        return;
    if (!extend || FAnchor < 0)
        FAnchor = line;
    FCurrent = line;
    QScrollBar* bar = verticalScrollBar();
    if (line < bar->value())
        bar->setValue(line);
    else if (line >= bar->value() + bar->pageStep())
        bar->setValue(line - bar->pageStep() + 1);
    viewport()->update();
}

void TLogView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        Select(LineAt(event->position().toPoint().y()), event->modifiers().testFlag(Qt::ShiftModifier));
    QAbstractScrollArea::mousePressEvent(event);
}

void TLogView::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons().testFlag(Qt::LeftButton))
        Select(LineAt(event->position().toPoint().y()), true);
    QAbstractScrollArea::mouseMoveEvent(event);
}

void TLogView::keyPressEvent(QKeyEvent* event) {
    if (event == QKeySequence::Copy) {
        copy();
    } else if (event == QKeySequence::SelectAll) {
        selectAll();
    } else if (IsHomeOrEnd(*event)) {
        // As in a list, to the first or last line whether Ctrl is held or not.
        Select(event->key() == Qt::Key_Home ? 0 : FShownCount - 1,
               event->modifiers().testFlag(Qt::ShiftModifier));
    } else {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

} // namespace orvex
