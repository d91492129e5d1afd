#pragma once
// The engine's only ways back into the program around it: a log sink for the log
// window and the info log, and a host for questions, switches and facts of the
// main window. The wizard installs its own; tests install in-memory ones. Without
// one installed the engine answers as a console program would (no output, every
// question No, no switch given).

#include <cstdint>
#include <string>
#include <string_view>

namespace orvex {

// 24-bit colour, red in the low byte and blue in the high byte.
using TColor = uint32_t;
inline constexpr TColor clLogBlue = 0xFF0000;   // progress
inline constexpr TColor clLogGreen = 0x008000;  // items created, restored or listed
inline constexpr TColor clLogBlack = 0;         // notes
inline constexpr TColor clLogRed = 255;         // failures

class TLogSink {
public:
    virtual ~TLogSink() = default;
    // Empties the log window and makes it read-only.
    virtual void ClearLogWindow() = 0;
    // Appends text and a line break to the log window, the text in colour.
    virtual void AppendLogLine(std::u16string_view text, TColor colour) = 0;
    // One line of the dated info log file.
    virtual void WriteInfoLog(std::u16string_view text) = 0;
    virtual void SetLogFolder(std::u16string_view folder) = 0;
};

class TEngineHost {
public:
    virtual ~TEngineHost() = default;
    // Lets the GUI handle what is pending (repaint, input) during a long run.
    // Offered once per log line: a host may let most offers pass.
    virtual void ProcessPendingEvents() = 0;
    // The machine typed on backup page 1; named in info-log lines.
    virtual std::u16string BackupMachineName() = 0;
    // A dialog text of the catalogue in the current language (English fallback),
    // "%s" placeholders unfilled: type "DialogYesNo", id "backupexist".
    virtual std::u16string DialogText(std::u16string_view type, std::u16string_view id) = 0;
    // The line the wizard adds below every yes/no question.
    virtual std::u16string DialogYesNoLastLine() = 0;
    // The dialog front ends: yes/no (true on Yes), yes/no/cancel (6 Yes, 7 No,
    // 2 Cancel, -1 without a GUI) and the warning message.
    virtual bool AskYesNo(const std::u16string& text) = 0;
    virtual int AskYesNoCancel(const std::u16string& text) = 0;
    virtual void ShowWarning(const std::u16string& text) = 0;
    // The command-line switch test, as the support library answers it ("/o").
    virtual bool HasCmdLineSwitch(std::u16string_view name) = 0;
};

// Installs the sink and host (nullptr restores the console behaviour). The caller
// keeps ownership and keeps them alive while installed.
void SetLogSink(TLogSink* sink);
void SetEngineHost(TEngineHost* host);
TLogSink& LogSink();
TEngineHost& EngineHost();

// Installs a sink and host for one scope and restores the previous ones after.
class TEngineHostScope {
public:
    TEngineHostScope(TLogSink* sink, TEngineHost* host);
    ~TEngineHostScope();
    TEngineHostScope(const TEngineHostScope&) = delete;
    TEngineHostScope& operator=(const TEngineHostScope&) = delete;

private:
    TLogSink* FPreviousSink;
    TEngineHost* FPreviousHost;
};

} // namespace orvex
