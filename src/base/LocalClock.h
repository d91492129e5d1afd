#pragma once
// The local wall clock, in place of GetLocalTime; tests put their own clock in.

#include <functional>

namespace orvex {

struct TLocalDateTime {
    int year = 0;  // four digits
    int month = 0; // 1-12
    int day = 0;   // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// The current local date and time (the test clock when one is set).
TLocalDateTime LocalNow();

// Replaces the clock until called again; an empty function restores the real one.
void SetLocalClockForTesting(std::function<TLocalDateTime()> clock);

// Sleeps the calling thread.
void SleepMilliseconds(unsigned milliseconds);

} // namespace orvex
