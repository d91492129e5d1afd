#pragma once
// The two values the wizard sets for the engine.

#include <string>
#include <string_view>

namespace orvex {

// Full path of the backup file that every engine operation loads and saves; set
// by the wizard before each engine call.
const std::u16string& BackupFileName();
void SetBackupFileName(std::u16string_view fileName);

// What a restore does with a site that exists already.
enum : int {
    scmUnset = 0,      // before the user chooses; treated like scmCreateNew
    scmOverwrite = 1,
    scmCreateNew = 2,  // give the site the smallest free number
    scmSkip = 3,
    scmAsk = 4,
};
int SiteConflictMode();
void SetSiteConflictMode(int mode);

} // namespace orvex
