#include "wizard/WizardSettings.h"

#include <QFileInfo>
#include <QSettings>

namespace orvex {

namespace {

QString Q(std::u16string_view text) { return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())); }

QString KeyOf(std::u16string_view key) { return QStringLiteral("main/") + Q(key); }

bool IsExistingFile(const std::u16string& fileName) { return !fileName.empty() && QFileInfo(Q(fileName)).isFile(); }

} // namespace

std::u16string SettingsFileName(std::u16string_view folder) { return std::u16string(folder) + u"config.ini"; }

TWizardSettings ReadWizardSettings(std::u16string_view folder) {
    const QSettings ini(Q(SettingsFileName(folder)), QSettings::IniFormat);
    TWizardSettings settings{ini.value(KeyOf(kBackupMetaFileNameKey)).toString().toStdU16String(),
                             ini.value(KeyOf(kRestoreMetaFileNameKey)).toString().toStdU16String()};
    if (!IsExistingFile(settings.BackupMetaFileName))
        settings.BackupMetaFileName = std::u16string(folder) + u"Metabase.xml";
    if (!IsExistingFile(settings.RestoreMetaFileName))
        settings.RestoreMetaFileName.clear();
    return settings;
}

bool WriteWizardSetting(std::u16string_view folder, std::u16string_view key, std::u16string_view value) {
    QSettings ini(Q(SettingsFileName(folder)), QSettings::IniFormat);
    ini.setValue(KeyOf(key), Q(value));
    ini.sync();
    return ini.status() == QSettings::NoError;
}

} // namespace orvex
