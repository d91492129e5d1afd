#pragma once
// Time limits of the scale tests, which catch work that grows faster than the input.

#include <chrono>
#include <cstdint>

namespace orvex::test {

// The budget for a run measured in an optimised build; unoptimised or sanitised
// builds are allowed ten times as long.
inline constexpr int64_t TimeBudgetMs(int64_t optimisedMs) {
#if defined(__SANITIZE_ADDRESS__) || !defined(NDEBUG)
    return optimisedMs * 10;
#else
    return optimisedMs;
#endif
}

// Milliseconds since start.
inline int64_t MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

} // namespace orvex::test
