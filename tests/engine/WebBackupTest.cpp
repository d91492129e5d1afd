#include "engine/WebBackup.h"

#include "BackupFixture.h"
#include "engine/BackupGrammar.h"
#include "engine/BackupPaths.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

using test::TBackupFixture;

class WebBackupTest : public TBackupFixture {};

TEST_F(WebBackupTest, DefaultMachineBacksUpCleanly) {
    EnsureBackupFile();
    EXPECT_TRUE(BackupMachine(u"WEBSRV1Sites", u"localhost"));
    for (const auto& line : Sink.AllLines()) std::cout << line << "\n";
    EXPECT_FALSE(BackupErrorFlag());
    std::cout << FileBytes().substr(0, 3000);
}

} // namespace
} // namespace orvex
