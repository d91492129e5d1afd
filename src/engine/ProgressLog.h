#pragma once
// The coloured progress log of backups and restores. Warnings, errors and
// exceptions also reach the info log file and mark the run as not clean.

#include "engine/EngineHost.h"

#include <string_view>

namespace orvex {

// One line into the log window, then the host is offered a pass of its event loop
// (the wizard takes one every 50 ms or so).
void LogLine(std::u16string_view text, TColor colour);

// LogLine, then "WARNING during backup of %s: %s" / "ERROR during backup of %s: %s" /
// "EXCEPTION during backup of %s: %s" (backup machine name, text) into the info log,
// then BackupErrorFlag is set.
void LogBackupWarning(std::u16string_view text, TColor colour);
void LogBackupError(std::u16string_view text, TColor colour);
void LogBackupException(std::u16string_view text, TColor colour);

// Set by the three routines above; cleared only by InitLog. A run is clean when it
// stays clear.
bool BackupErrorFlag();

// Once at start-up: clears and locks the log window, clears BackupErrorFlag and
// points the info log at the executable's folder.
void InitLog();

} // namespace orvex
