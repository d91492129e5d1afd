#include "wizard/WizardHost.h"

#include "engine/ProgressLog.h"
#include "support/CmdLineSwitch.h"
#include "support/Dialogs.h"
#include "support/GuiText.h"
#include "support/LogFile.h"
#include "wizard/HandlerGuard.h"
#include "wizard/LogView.h"
#include "wizard/MainForm.h"

#include <QCoreApplication>

namespace orvex {

bool TEventPacer::Due() {
    const TClock::time_point now = FNow();
    if (FLastPass && now - *FLastPass < FInterval)
        return false;
    FLastPass = now;
    return true;
}

// The view has no editing to switch off.
void TWizardHost::ClearLogWindow() { FForm.LogView().clear(); }

void TWizardHost::AppendLogLine(std::u16string_view text, TColor colour) { FForm.LogView().AppendLine(text, colour); }

void TWizardHost::WriteInfoLog(std::u16string_view text) { ReportInInfoLog(text); }

void TWizardHost::SetLogFolder(std::u16string_view folder) { orvex::SetLogFolder(folder); }

void TWizardHost::ProcessPendingEvents() {
    // Nobody watches the window of an unattended run: its events wait for the end.
    if (!IsUnattendedRun() && FPacer.Due())
        QCoreApplication::processEvents();
}

std::u16string TWizardHost::BackupMachineName() { return FForm.BackupMachineName(); }

std::u16string TWizardHost::DialogText(std::u16string_view type, std::u16string_view id) {
    TVeldarXmlDoc* catalogue = FForm.Catalogue();
    return catalogue ? GetDialogText(*catalogue, FForm.Getlingvo(), type, id) : std::u16string();
}

std::u16string TWizardHost::DialogYesNoLastLine() { return FForm.DialogYesNoLastLine(); }

bool TWizardHost::AnsweredUnattended(const std::u16string& text) {
    if (!IsUnattendedRun())
        return false;
    std::u16string question = text;
    const std::u16string& lastLine = FForm.DialogYesNoLastLine();
    if (!lastLine.empty() && question.ends_with(lastLine))
        question.resize(question.size() - lastLine.size());
    LogBackupWarning(u"Answered No, as nobody can answer in an unattended run: " + question, clLogBlack);
    return true;
}

bool TWizardHost::AskYesNo(const std::u16string& text) {
    return !AnsweredUnattended(text) && orvex::AskYesNo(text);
}

int TWizardHost::AskYesNoCancel(const std::u16string& text) {
    if (AnsweredUnattended(text))
        return mrNo;
    int answer = 0;
    orvex::AskYesNoCancel(text, answer);
    return answer;
}

void TWizardHost::ShowWarning(const std::u16string& text) { orvex::ShowWarning(text); }

bool TWizardHost::HasCmdLineSwitch(std::u16string_view name) { return orvex::HasCmdLineSwitch(name); }

} // namespace orvex
