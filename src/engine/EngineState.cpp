#include "engine/EngineState.h"

namespace orvex {

namespace {
std::u16string CurrentBackupFileName;
int CurrentSiteConflictMode = scmUnset;
} // namespace

const std::u16string& BackupFileName() { return CurrentBackupFileName; }
void SetBackupFileName(std::u16string_view fileName) { CurrentBackupFileName = fileName; }

int SiteConflictMode() { return CurrentSiteConflictMode; }
void SetSiteConflictMode(int mode) { CurrentSiteConflictMode = mode; }

} // namespace orvex
