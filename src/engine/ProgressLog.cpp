#include "engine/ProgressLog.h"

#include "base/Module.h"
#include "base/TextFormat.h"

namespace orvex {

namespace {

bool ErrorFlag = false;

void LogToFile(std::u16string_view format, std::u16string_view text, TColor colour) {
    LogLine(text, colour);
    LogSink().WriteInfoLog(FormatTolerant(format, {EngineHost().BackupMachineName(), text},
                                          TMissingValue::StaysVisible));
    ErrorFlag = true;
}

} // namespace

void LogLine(std::u16string_view text, TColor colour) {
    LogSink().AppendLogLine(text, colour);
    EngineHost().ProcessPendingEvents();
}

void LogBackupWarning(std::u16string_view text, TColor colour) {
    LogToFile(u"WARNING during backup of %s: %s", text, colour);
}

void LogBackupError(std::u16string_view text, TColor colour) {
    LogToFile(u"ERROR during backup of %s: %s", text, colour);
}

void LogBackupException(std::u16string_view text, TColor colour) {
    LogToFile(u"EXCEPTION during backup of %s: %s", text, colour);
}

bool BackupErrorFlag() { return ErrorFlag; }

void InitLog() {
    LogSink().ClearLogWindow();
    ErrorFlag = false;
    LogSink().SetLogFolder(ExecutableFolder());
}

} // namespace orvex
