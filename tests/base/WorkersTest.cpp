#include "base/Workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <stdexcept>

using namespace orvex;

// Every share runs once, on its own thread; when this thread's share throws, the
// others are still running, and they are joined before the exception arrives here
// (a thread left unjoined would end the program).
TEST(Workers, SharesRunOnceAndAreJoinedWhenThisThreadsShareThrows) {
    for (const bool throws : {false, true}) {
        SCOPED_TRACE(throws ? "this thread's share throws" : "every share returns");
        constexpr size_t kWorkers = 4;
        std::atomic<int> ran[kWorkers] = {};
        std::atomic<int> finished = 0;
        std::latch othersStarted(kWorkers - 1);
        const auto run = [&] {
            RunOnWorkers(kWorkers, [&](size_t worker, size_t workers) {
                EXPECT_EQ(workers, kWorkers);
                ++ran[worker];
                if (worker == 0) {
                    othersStarted.wait();
                    if (throws) throw std::runtime_error("share 0 failed");
                    return;
                }
                othersStarted.count_down();
                ++finished;
            });
        };
        if (throws)
            EXPECT_THROW(run(), std::runtime_error);
        else
            run();
        EXPECT_EQ(finished.load(), int(kWorkers - 1));
        for (const auto& count : ran) EXPECT_EQ(count.load(), 1);
    }
}
