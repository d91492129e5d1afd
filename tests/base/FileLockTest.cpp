#include "base/FileLock.h"

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

using namespace orvex;
using namespace orvex::testing;
namespace fs = std::filesystem;

namespace {

class FileLock : public ::testing::Test {
protected:
    void SetUp() override {
        FFolder = fs::path(::testing::TempDir()) / ("orvex_lock_" + std::to_string(::getpid()) + "_" +
                                                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(FFolder);
        fs::create_directories(FFolder);
        FFile = (FFolder / "backup.xml").string();
        std::ofstream(FFile) << "x";
    }
    void TearDown() override {
        ::unsetenv("ORVEX_LOCK_WAIT_MS");
        fs::remove_all(FFolder);
    }
    fs::path FFolder;
    std::string FFile;
};

} // namespace

TEST_F(FileLock, AnotherProcessWaitsABoundedTime) {
    THoldingChild other([&] {
        static TFileLock lock;  // held until the child ends
        if (!lock.Acquire(FFile)) throw 0;
    });
    ASSERT_TRUE(other.Took());
    ::setenv("ORVEX_LOCK_WAIT_MS", "150", 1);
    TFileLock lock;
    const auto start = std::chrono::steady_clock::now();
    try {
        lock.Acquire(FFile);
        ADD_FAILURE();
    } catch (const EFileLockError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot lock \"" + FFile + "\": another program is writing it (waited 0 s)");
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    EXPECT_FALSE(lock.Held());
    other.Release();
    ASSERT_TRUE(lock.Acquire(FFile));
    TFileLock nested;  // this process does not wait for itself
    ASSERT_TRUE(nested.Acquire(FFile));
    lock.Release();
    EXPECT_FALSE(FreeForOthers(FFile));
    nested.Release();
    EXPECT_TRUE(FreeForOthers(FFile));
}

// A writer waiting for a file that the holder then replaces by a rename (an atomic
// save) locks the new file, not the old one nobody reads any more.
TEST_F(FileLock, AWaiterLocksTheFileThatReplacedTheOld) {
    const std::string next = (FFolder / "next.tmp").string();
    std::ofstream(next) << "new";
    THoldingChild other([&] {
        static TFileLock lock;
        if (!lock.Acquire(FFile)) throw 0;
    });
    ASSERT_TRUE(other.Took());
    TFileLock lock;
    std::thread waiter([&] { lock.Acquire(FFile); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    fs::rename(next, FFile);
    other.Release();
    waiter.join();
    EXPECT_TRUE(lock.StillAt(FFile));
    EXPECT_FALSE(FreeForOthers(FFile));
}
