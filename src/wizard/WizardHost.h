#pragma once
// The engine's log sink and host while the main window lives: log lines go into
// the window's log view, warnings into the dated info log, questions through the
// dialog front ends with the catalogue's texts in the window's language.

#include "engine/EngineHost.h"

#include <chrono>
#include <optional>

namespace orvex {

class TMainForm;

// Answers whether the event loop is due again: at the first offer, then once an
// interval has passed since it last was. A run offers the loop a pass per log
// line; a pass per interval keeps the window live at a fraction of the cost.
class TEventPacer {
public:
    using TClock = std::chrono::steady_clock;
    using TNow = TClock::time_point (*)();

    explicit TEventPacer(std::chrono::milliseconds interval, TNow now = &TClock::now)
        : FInterval(interval), FNow(now) {}
    bool Due();
    // The next offer is due.
    void Restart() { FLastPass.reset(); }

private:
    std::chrono::milliseconds FInterval;
    TNow FNow;
    std::optional<TClock::time_point> FLastPass;
};

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

    // A run starts: its first line gives the window a pass at once.
    void StartRun() { FPacer.Restart(); }

private:
    // In an unattended run a question is answered No with a warning in the logs.
    bool AnsweredUnattended(const std::u16string& text);

    TMainForm& FForm;
    TEventPacer FPacer{std::chrono::milliseconds(50)};
};

} // namespace orvex
