#include "wizard/CheckDialog.h"

#include "base/TextFormat.h"
#include "engine/EngineState.h"
#include "support/GuiText.h"
#include "support/gui/GuiTextTranslators.h"
#include "wizard/CheckRows.h"
#include "wizard/HandlerGuard.h"
#include "wizard/MainForm.h"

namespace orvex {

TCheckDialog::TCheckDialog(TMainForm& mainForm) : QDialog(&mainForm), FMainForm(mainForm) {}

void TCheckDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    RunHandler([this] { FormShow(); });
}

void TCheckDialog::TranslateTexts(QWidget& replaceGroup) {
    TVeldarXmlDoc& catalogue = *FMainForm.Catalogue();
    const std::u16string lingvo = FMainForm.Getlingvo();
    TranslateControls(u"Restore", catalogue, lingvo, this, u"", u"Caption");
    TranslateControls(u"Restore", catalogue, lingvo, &replaceGroup, u"", u"Caption");
    setWindowTitle(QString::fromStdU16String(GetKeywordText(catalogue, lingvo, objectName().toStdU16String())));
}

void TCheckDialog::SaveRows(QTreeWidget& list, std::u16string_view keySuffix,
                            const std::function<std::optional<bool>(const std::u16string& newValue)>& fits) {
    const std::optional<bool> saved = SaveNewValues(list, keySuffix, fits);
    if (!saved)
        FMainForm.ShowMessageText(u"MsgErrorOk", u"savechangesfailed", {BackupFileName()});
    else if (*saved)
        FSaved = true;
}

void TCheckDialog::FormClose() {
    RunHandler([this] {
        if (FSaved)
            FMainForm.RestoreFileSaved();
    });
}

} // namespace orvex
