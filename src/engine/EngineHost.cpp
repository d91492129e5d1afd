#include "engine/EngineHost.h"

namespace orvex {

namespace {

class TConsoleLogSink final : public TLogSink {
public:
    void ClearLogWindow() override {}
    void AppendLogLine(std::u16string_view, TColor) override {}
    void WriteInfoLog(std::u16string_view) override {}
    void SetLogFolder(std::u16string_view) override {}
};

class TConsoleHost final : public TEngineHost {
public:
    void ProcessPendingEvents() override {}
    std::u16string BackupMachineName() override { return {}; }
    std::u16string DialogText(std::u16string_view, std::u16string_view) override { return {}; }
    std::u16string DialogYesNoLastLine() override { return {}; }
    bool AskYesNo(const std::u16string&) override { return false; }
    int AskYesNoCancel(const std::u16string&) override { return -1; }
    void ShowWarning(const std::u16string&) override {}
    bool HasCmdLineSwitch(std::u16string_view) override { return false; }
};

TConsoleLogSink ConsoleSink;
TConsoleHost ConsoleHost;
TLogSink* InstalledSink = nullptr;
TEngineHost* InstalledHost = nullptr;

} // namespace

void SetLogSink(TLogSink* sink) { InstalledSink = sink; }
void SetEngineHost(TEngineHost* host) { InstalledHost = host; }
TLogSink& LogSink() { return InstalledSink ? *InstalledSink : ConsoleSink; }
TEngineHost& EngineHost() { return InstalledHost ? *InstalledHost : ConsoleHost; }

TEngineHostScope::TEngineHostScope(TLogSink* sink, TEngineHost* host)
    : FPreviousSink(InstalledSink), FPreviousHost(InstalledHost) {
    InstalledSink = sink;
    InstalledHost = host;
}

TEngineHostScope::~TEngineHostScope() {
    InstalledSink = FPreviousSink;
    InstalledHost = FPreviousHost;
}

} // namespace orvex
