#include "base/LocalClock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace orvex {

namespace {

std::function<TLocalDateTime()>& TestClock() {
    static std::function<TLocalDateTime()> clock;
    return clock;
}

} // namespace

TLocalDateTime LocalNow() {
    if (const auto& clock = TestClock())
        return clock();
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm parts {};
    localtime_r(&now.tv_sec, &parts);
    TLocalDateTime result;
    result.year = parts.tm_year + 1900;
    result.month = parts.tm_mon + 1;
    result.day = parts.tm_mday;
    result.hour = parts.tm_hour;
    result.minute = parts.tm_min;
    result.second = parts.tm_sec;
    result.millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return result;
}

void SetLocalClockForTesting(std::function<TLocalDateTime()> clock) { TestClock() = std::move(clock); }

void SleepMilliseconds(unsigned milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace orvex
