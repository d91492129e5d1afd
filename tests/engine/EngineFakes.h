#pragma once
// In-memory log sink and host for engine tests.

#include "base/Utf.h"
#include "engine/EngineHost.h"

#include <string>
#include <vector>

namespace orvex::test {

struct TLoggedLine {
    std::u16string Text;
    TColor Colour;
};

class TMemoryLogSink : public TLogSink {
public:
    std::vector<TLoggedLine> Lines;
    std::vector<std::u16string> InfoLog;
    std::u16string LogFolder;
    int Clears = 0;

    void ClearLogWindow() override {
        Lines.clear();
        ++Clears;
    }
    void AppendLogLine(std::u16string_view text, TColor colour) override { Lines.push_back({std::u16string(text), colour}); }
    void WriteInfoLog(std::u16string_view text) override { InfoLog.emplace_back(text); }
    void SetLogFolder(std::u16string_view folder) override { LogFolder = folder; }

    // Lines of one colour, as UTF-8 for readable failures.
    std::vector<std::string> LinesIn(TColor colour) const {
        std::vector<std::string> out;
        for (const auto& line : Lines)
            if (line.Colour == colour) out.push_back(Utf16ToUtf8(line.Text));
        return out;
    }
    std::vector<std::string> AllLines() const {
        std::vector<std::string> out;
        for (const auto& line : Lines) out.push_back(Utf16ToUtf8(line.Text));
        return out;
    }
};

class TMemoryHost : public TEngineHost {
public:
    std::u16string MachineName = u"web1";
    std::vector<std::u16string> Switches;
    std::vector<std::u16string> Questions;
    std::vector<std::u16string> Warnings;
    bool Answer = false;
    int PendingPasses = 0;

    void ProcessPendingEvents() override { ++PendingPasses; }
    std::u16string BackupMachineName() override { return MachineName; }
    std::u16string DialogText(std::u16string_view type, std::u16string_view id) override {
        if (type == u"DialogYesNo" && id == u"backupexist")
            return u"A backup named %s already exists. Are you sure you want to overwrite it?";
        return u"?" + std::u16string(type) + u"." + std::u16string(id);
    }
    std::u16string DialogYesNoLastLine() override { return u"\r\n\r\nYes or No?"; }
    bool AskYesNo(const std::u16string& text) override {
        Questions.push_back(text);
        return Answer;
    }
    int AskYesNoCancel(const std::u16string& text) override {
        Questions.push_back(text);
        return Answer ? 6 : 7;
    }
    void ShowWarning(const std::u16string& text) override { Warnings.push_back(text); }
    bool HasCmdLineSwitch(std::u16string_view name) override {
        for (const auto& s : Switches)
            if (s == name) return true;
        return false;
    }
};

} // namespace orvex::test
