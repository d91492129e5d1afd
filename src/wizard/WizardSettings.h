#pragma once
// "config.ini" beside the executable: section "main", the last backup file and the
// last restore file. Read at start-up, written by Next on backup page 2 and
// restore page 1; nothing of it is kept in memory between.

#include <string>
#include <string_view>

namespace orvex {

inline constexpr std::u16string_view kBackupMetaFileNameKey = u"BackupMetaFileName";
inline constexpr std::u16string_view kRestoreMetaFileNameKey = u"RestoreMetaFileName";

struct TWizardSettings {
    std::u16string BackupMetaFileName;
    std::u16string RestoreMetaFileName;
};

// folder + "config.ini"
std::u16string SettingsFileName(std::u16string_view folder);

// Both keys, with the defaults: a backup file that is empty or names no existing
// file becomes folder + "Metabase.xml"; a restore file that names no existing file
// becomes empty. A missing or unreadable file reads as empty.
TWizardSettings ReadWizardSettings(std::u16string_view folder);

// Writes one key of section "main"; false when the file could not be written (the
// wizard goes on).
bool WriteWizardSetting(std::u16string_view folder, std::u16string_view key, std::u16string_view value);

} // namespace orvex
