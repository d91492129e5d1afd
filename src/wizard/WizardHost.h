#pragma once
// The engine's log sink and host while the main window lives: log lines go into
// the window's log view, warnings into the dated info log, questions through the
// dialog front ends with the catalogue's texts in the window's language.

#include "engine/EngineHost.h"

#include <QColor>

class QTextEdit;

namespace orvex {

class TMainForm;

class TWizardHost final : public TLogSink, public TEngineHost {
public:
    explicit TWizardHost(TMainForm& form) : FForm(form) {}

    void ClearLogWindow() override;
    void AppendLogLine(std::u16string_view text, TColor colour) override;
    void WriteInfoLog(std::u16string_view text) override;
    void SetLogFolder(std::u16string_view folder) override;

    void ProcessPendingEvents() override;
    std::u16string BackupMachineName() override;
    std::u16string DialogText(std::u16string_view type, std::u16string_view id) override;
    std::u16string DialogYesNoLastLine() override;
    bool AskYesNo(const std::u16string& text) override;
    int AskYesNoCancel(const std::u16string& text) override;
    void ShowWarning(const std::u16string& text) override;
    bool HasCmdLineSwitch(std::u16string_view name) override;

private:
    // In an unattended run a question is answered No with a warning in the logs.
    bool AnsweredUnattended(const std::u16string& text);

    TMainForm& FForm;
};

// 0x00BBGGRR as a Qt colour.
QColor ColorOf(TColor colour);

// Appends text at the end of richEdit in colour, then a line break (not coloured)
// when addLineBreak is set; the caret is left at the start of the new text.
void AppendRichText(QTextEdit& richEdit, std::u16string_view text, TColor colour, bool addLineBreak);

} // namespace orvex
