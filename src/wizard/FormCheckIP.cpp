// The check-IP dialog: bindings of the checked sites to addresses this machine
// lacks, replaced by hand or with free local addresses, saved into the backup file.

#include "wizard/FormCheckIP.h"

#include "base/CaseFold.h"
#include "engine/Collectors.h"
#include "engine/EngineState.h"
#include "engine/LocalMachineFacts.h"
#include "keyedconfig/VeldarFileRoutines.h"
#include "support/GuiText.h"
#include "support/StringUtils.h"
#include "ui_FormCheckIP.h"
#include "wizard/CheckRows.h"
#include "wizard/CheckTreeWidget.h"
#include "wizard/ColumnFit.h"
#include "wizard/HandlerGuard.h"
#include "wizard/MainForm.h"

#include <algorithm>

namespace orvex {

QPointer<TFormCheckIP> FormCheckIP;

namespace {

constexpr std::u16string_view kLoopback = u"127.0.0.1";

bool ContainsIgnoringCase(const std::vector<std::u16string>& list, std::u16string_view text) {
    return std::any_of(list.begin(), list.end(), [text](const std::u16string& entry) {
        return SameTextIgnoreCase(entry, text);
    });
}

// Whole decimal numbers only: no sign, no blanks, no other base.
std::optional<int> AddressPart(std::u16string_view text) {
    if (text.empty() || text.size() > 3)
        return std::nullopt;
    int value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// The binding with its address replaced: the port and host header stay.
std::u16string WithAddress(std::u16string_view binding, std::u16string_view address) {
    const size_t colon = binding.find(u':');
    return std::u16string(address) + std::u16string(colon == std::u16string_view::npos ? u"" : binding.substr(colon));
}

} // namespace

bool IsValidIPv4(std::u16string_view text) {
    std::u16string parts[4];
    if (!SplitString4(text, u".", parts[0], parts[1], parts[2], parts[3]))
        return false;
    for (int i = 0; i < 4; ++i) {
        const std::optional<int> part = AddressPart(parts[i]);
        if (!part || *part > 254 || (i == 0 && *part == 0))
            return false;
    }
    return true;
}

std::u16string BindingAddress(std::u16string_view binding) { return std::u16string(binding.substr(0, binding.find(u':'))); }

TFormCheckIP::TFormCheckIP(TMainForm& mainForm)
    : TCheckDialog(mainForm), ui(std::make_unique<Ui::FormCheckIP>()) {
    ui->setupUi(this);
    FitColumnsToContents(*ui->lvIpList);
}

TFormCheckIP::~TFormCheckIP() = default;

bool TFormCheckIP::IsLocalAddress(std::u16string_view address) const {
    return ContainsIgnoringCase(existipList, address);
}

int TFormCheckIP::validIPCount() {
    FSaved = false;
    GetLocalIPAddresses(existipList);
    if (!IsLocalAddress(kLoopback))
        existipList.emplace_back(kLoopback);
    sourceipList.clear();
    std::vector<std::u16string> bindings;
    GetAllIP(bindings, FMainForm.RestoreTree(), true);
    ui->lvIpList->clear();
    for (const std::u16string& line : bindings) {
        const std::u16string address = BindingAddress(RightOfEqual(line));
        sourceipList.push_back(address);
        if (!IsLocalAddress(address))
            AppendCheckRow(*ui->lvIpList, line);
    }
    return ui->lvIpList->topLevelItemCount();
}

void TFormCheckIP::FormShow() {
    if (ui->lvIpList->topLevelItemCount() == 0)
        validIPCount();
    TranslateTexts(*ui->GroupBox2);
}

void TFormCheckIP::lvIpListClick() {
    RunHandler([this] {
        const QList<QTreeWidgetItem*> selected = ui->lvIpList->selectedItems();
        if (selected.isEmpty())
            return;
        const QTreeWidgetItem& row = *selected.front();
        const std::u16string address = BindingAddress(RowText(row, rcOldValue));
        if (address.empty())
            return;
        const std::u16string replaced = RowText(row, rcNewValue);
        ui->editFrom->setText(QString::fromStdU16String(address));
        ui->editTo->setText(QString::fromStdU16String(replaced.empty() ? address : BindingAddress(replaced)));
    });
}

void TFormCheckIP::btnReplaceClick() {
    RunHandler([this] {
        const std::u16string from = ui->editFrom->text().trimmed().toStdU16String();
        const std::u16string to = ui->editTo->text().trimmed().toStdU16String();
        if (from.empty() || to.empty())
            return;
        if (!IsValidIPv4(from) || !IsValidIPv4(to)) {
            ShowCatalogueDialog(*FMainForm.Catalogue(), FMainForm.Getlingvo(), u"MsgErrorOk", u"restoreisip");
            return;
        }
        // The address itself, not a text inside it: 10.0.0.1 is no part of 110.0.0.12.
        for (QTreeWidgetItem* row : AllRows(*ui->lvIpList)) {
            const std::u16string binding = RowText(*row, rcOldValue);
            if (BindingAddress(binding) != from)
                continue;
            SetRowText(*row, rcNewValue, WithAddress(binding, to));
            SetRowImage(*row, IsLocalAddress(to) ? kRowFits : kRowMissing);
        }
    });
}

void TFormCheckIP::btnAutoClick() {
    RunHandler([this] {
        std::vector<std::u16string> candidates;
        GetLocalIPAddresses(candidates);
        std::erase(candidates, kLoopback);
        const std::vector<QTreeWidgetItem*> rows = AllRows(*ui->lvIpList);
        for (size_t i = 0; i < rows.size(); ++i) {
            if (RowImage(*rows[i]) == kRowFits)
                continue;
            // A local address the backup uses itself would make two sites share it.
            const auto free = std::find_if(candidates.begin(), candidates.end(), [this](const std::u16string& address) {
                return !ContainsIgnoringCase(sourceipList, address);
            });
            if (free == candidates.end())
                continue;
            const std::u16string address = *free;
            candidates.erase(free);
            const std::u16string old = BindingAddress(RowText(*rows[i], rcOldValue));
            for (size_t j = i; j < rows.size(); ++j) {
                const std::u16string binding = RowText(*rows[j], rcOldValue);
                if (BindingAddress(binding) != old)
                    continue;
                SetRowText(*rows[j], rcNewValue, WithAddress(binding, address));
                SetRowImage(*rows[j], kRowFits);
            }
        }
    });
}

void TFormCheckIP::btnSaveClick() {
    RunHandler([this] {
        if (ShowCatalogueDialog(*FMainForm.Catalogue(), FMainForm.Getlingvo(), u"DialogYesNo", u"restoresaveip",
                                {FileNameOnly(BackupFileName())}, FMainForm.DialogYesNoLastLine()) != mrYes)
            return;
        // The key names the binding list; the old binding finds its item.
        SaveRows(*ui->lvIpList, u"@@Item", [this](const std::u16string& binding) {
            return std::optional<bool>(IsLocalAddress(BindingAddress(binding)));
        });
    });
}

} // namespace orvex
