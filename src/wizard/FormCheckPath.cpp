// The check-path dialog: values of the checked sites whose drive path exists
// nowhere on this machine, rewritten by search and replace, by the folder rules or
// by picking a file, and saved into the backup file.

#include "wizard/FormCheckPath.h"

#include "base/AsciiText.h"
#include "base/CaseFold.h"
#include "engine/Collectors.h"
#include "platform/MachineFacts.h"
#include "support/Dialogs.h"
#include "support/GuiText.h"
#include "support/StringUtils.h"
#include "ui_FormCheckPath.h"
#include "wizard/CheckRows.h"
#include "wizard/CheckTreeWidget.h"
#include "wizard/ColumnFit.h"
#include "wizard/HandlerGuard.h"
#include "wizard/MainForm.h"

#include <QHeaderView>

#include <algorithm>

namespace orvex {

QPointer<TFormCheckPath> FormCheckPath;

namespace {

struct TPathRule {
    std::u16string_view Contains;
    std::u16string_view MustExist;
    std::u16string_view Find;
    std::u16string_view Replace;
};

constexpr TPathRule kPathRules[] = {
    {u"winnt", u"c:\\windows", u"winnt", u"windows"},
    {u"windows", u"c:\\winnt", u"windows", u"winnt"},
    {u"c:\\windows", u"d:\\windows", u"c:\\windows", u"d:\\windows"},
    {u"c:\\winnt", u"d:\\winnt", u"c:\\winnt", u"d:\\winnt"},
};

std::u16string PathOf(std::u16string_view value) { return ExtractPathFromValue(value).Path; }

bool FoldedEqual(char16_t a, char16_t b) { return FoldCase(a) == FoldCase(b); }

bool IsFolderSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Ordinal, ignoring the case of ASCII letters.
bool AsciiLess(std::u16string_view a, std::u16string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char16_t x, char16_t y) { return AsciiLower(x) < AsciiLower(y); });
}

} // namespace

std::u16string CommonPathPrefix(std::u16string_view a, std::u16string_view b) {
    size_t equal = 0;
    while (equal < a.size() && equal < b.size() && FoldedEqual(a[equal], b[equal]))
        ++equal;
    // Whole when one path is a folder of the other (or both are the same).
    const bool aEnded = equal == a.size(), bEnded = equal == b.size();
    if ((aEnded && (bEnded || b[equal] == u'\\')) || (bEnded && a[equal] == u'\\') ||
        (equal > 0 && (aEnded || bEnded) && a[equal - 1] == u'\\'))
        return std::u16string(a.substr(0, equal));
    const size_t slash = a.substr(0, equal).rfind(u'\\');
    return slash == std::u16string_view::npos ? std::u16string() : std::u16string(a.substr(0, slash));
}

std::optional<std::u16string> RewriteByPathRules(std::u16string_view path) {
    for (const TPathRule& rule : kPathRules)
        if (PosCI(rule.Contains, path) > 0 && MachineDirectoryExists(rule.MustExist))
            return StringReplaceAllCI(path, rule.Find, rule.Replace);
    return std::nullopt;
}

std::optional<std::u16string> ReplaceFolder(std::u16string_view path, std::u16string_view from,
                                            std::u16string_view to) {
    if (from.empty())
        return std::nullopt;
    // A from that ends in a separator ends at a folder boundary by itself.
    const bool endsFolder = IsFolderSeparator(from.back());
    std::u16string result;
    size_t copied = 0;
    for (size_t i = 0; i + from.size() <= path.size();) {
        const size_t end = i + from.size();
        if (std::equal(from.begin(), from.end(), path.begin() + static_cast<std::ptrdiff_t>(i), FoldedEqual) &&
            (endsFolder || end == path.size() || IsFolderSeparator(path[end]))) {
            result.append(path.substr(copied, i - copied)).append(to);
            copied = i = end;
        } else {
            ++i;
        }
    }
    if (copied == 0)
        return std::nullopt;
    return result.append(path.substr(copied));
}

std::u16string ReplacePathInValue(std::u16string_view value, std::u16string_view path) {
    const TExtractedPath found = ExtractPathFromValue(value);
    if (found.Path.empty())
        return std::u16string(value);
    return std::u16string(value.substr(0, static_cast<size_t>(found.Start - 1))) + std::u16string(path) +
           std::u16string(value.substr(static_cast<size_t>(found.End)));
}

TFormCheckPath::TFormCheckPath(TMainForm& mainForm)
    : TCheckDialog(mainForm), ui(std::make_unique<Ui::FormCheckPath>()) {
    ui->setupUi(this);
    FitColumnsToContents(*ui->lvNonexistPath);
    // The header is no widget of the form: its clicks are bound here.
    ui->lvNonexistPath->header()->setSectionsClickable(true);
    connect(ui->lvNonexistPath->header(), &QHeaderView::sectionClicked, this,
            &TFormCheckPath::lvNonexistPathColumnClick);
}

TFormCheckPath::~TFormCheckPath() = default;

void TFormCheckPath::FormShow() {
    FSaved = false;
    std::vector<std::u16string> lines;
    GetNonexistPath(lines, FMainForm.RestoreTree(), true);
    ui->lvNonexistPath->clear();
    FSortColumn = 0;
    for (const std::u16string& line : lines)
        AppendCheckRow(*ui->lvNonexistPath, line);
    SortRows();
    if (FlagAuto)
        btnAutoClick();
    TranslateTexts(*ui->GroupBox4);
}

void TFormCheckPath::SortRows() {
    QTreeWidget& list = *ui->lvNonexistPath;
    const QList<QTreeWidgetItem*> selected = list.selectedItems();
    std::vector<QTreeWidgetItem*> rows;
    while (list.topLevelItemCount() > 0)
        rows.push_back(list.takeTopLevelItem(0));
    std::stable_sort(rows.begin(), rows.end(), [this](const QTreeWidgetItem* first, const QTreeWidgetItem* second) {
        return lvNonexistPathCompare(*first, *second);
    });
    for (QTreeWidgetItem* row : rows)
        list.addTopLevelItem(row);
    for (QTreeWidgetItem* row : selected)
        row->setSelected(true);
}

bool TFormCheckPath::lvNonexistPathCompare(const QTreeWidgetItem& first, const QTreeWidgetItem& second) const {
    const auto key = [this](const QTreeWidgetItem& row) {
        return FSortColumn == rcAddress ? RowText(row, rcAddress) : PathOf(RowText(row, FSortColumn));
    };
    return FSortAscending ? AsciiLess(key(first), key(second)) : AsciiLess(key(second), key(first));
}

void TFormCheckPath::lvNonexistPathColumnClick(int column) {
    RunHandler([this, column] {
        FSortAscending = !FSortAscending;
        FSortColumn = column;
        SortRows();
    });
}

void TFormCheckPath::lvNonexistPathSelectItem() {
    RunHandler([this] {
        bool first = true;
        std::u16string from = ui->editFrom->text().toStdU16String();
        for (const QTreeWidgetItem* row : AllRows(*ui->lvNonexistPath)) {
            if (!row->isSelected())
                continue;
            const std::u16string path = PathOf(RowText(*row, rcOldValue));
            from = first ? path : CommonPathPrefix(from, path);
            first = false;
            ui->editFrom->setText(QString::fromStdU16String(from));
            ui->editTo->setText(QString::fromStdU16String(from));
        }
    });
}

void TFormCheckPath::lvNonexistPathDblClick() {
    RunHandler([this] {
        const QList<QTreeWidgetItem*> selected = ui->lvNonexistPath->selectedItems();
        if (selected.isEmpty())
            return;
        const std::u16string path = PathOf(RowText(*selected.front(), rcOldValue));
        if (path.empty())
            return;
        ui->editFrom->setText(QString::fromStdU16String(path));
        ui->editTo->setText(QString::fromStdU16String(RewriteByPathRules(path).value_or(path)));
    });
}

void TFormCheckPath::btnReplaceClick() {
    RunHandler([this] {
        const std::u16string from = ui->editFrom->text().trimmed().toStdU16String();
        const std::u16string to = ui->editTo->text().trimmed().toStdU16String();
        if (from.empty() || to.empty())
            return;
        for (QTreeWidgetItem* row : AllRows(*ui->lvNonexistPath)) {
            const std::u16string value = RowText(*row, rcOldValue);
            const std::optional<std::u16string> rewritten = ReplaceFolder(PathOf(value), from, to);
            if (!rewritten)
                continue;
            SetRowText(*row, rcNewValue, ReplacePathInValue(value, *rewritten));
            SetRowImage(*row, MachinePathExists(*rewritten) ? kRowFits : kRowMissing);
        }
        ui->editTo->clear();
    });
}

void TFormCheckPath::btnAutoClick() {
    RunHandler([this] {
        int count = 0;
        for (QTreeWidgetItem* row : AllRows(*ui->lvNonexistPath)) {
            const std::u16string value = RowText(*row, rcOldValue);
            const std::u16string path = PathOf(value);
            if (path.empty())
                continue;
            const std::u16string rewritten = RewriteByPathRules(path).value_or(path);
            if (!MachinePathExists(rewritten))
                continue;
            SetRowText(*row, rcNewValue, ReplacePathInValue(value, rewritten));
            SetRowImage(*row, kRowFits);
            ++count;
        }
        ShowCatalogueDialog(*FMainForm.Catalogue(), FMainForm.Getlingvo(), u"MsgInfoOk", u"restorefixpathscount",
                            {count});
    });
}

void TFormCheckPath::btnBrowseClick() {
    RunHandler([this] {
        const std::u16string to = ui->editTo->text().toStdU16String();
        std::u16string chosen = to.substr(0, to.find_last_of(u"\\/") + 1);
        if (OpenFileDialog(chosen, u"", u"All files (*.*)|*.*"))
            ui->editTo->setText(QString::fromStdU16String(chosen));
    });
}

void TFormCheckPath::btnSaveClick() {
    RunHandler([this] {
        // A value without a path stays as it is.
        SaveRows(*ui->lvNonexistPath, u"", [](const std::u16string& value) -> std::optional<bool> {
            const std::u16string path = PathOf(value);
            return path.empty() ? std::nullopt : std::optional<bool>(MachinePathExists(path));
        });
    });
}

} // namespace orvex
