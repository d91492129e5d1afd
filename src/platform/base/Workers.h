#pragma once
// Work spread over threads: as many as the process may run on, never more than
// the work can use.

#include <algorithm>
#include <cstddef>
#include <thread>
#include <vector>

namespace orvex {

// The processors this process may run on: more threads than that only wait.
size_t UsableProcessors();

// Threads for work on a machine's many sites: one per 16 of them, at least one, at
// most one per processor.
inline size_t WorkersFor(size_t sites) {
    return std::clamp<size_t>(sites / 16, 1, UsableProcessors());
}

// Runs work(worker, workers) on that many threads at once, this one among them.
// Each worker catches its own failures.
template <class TWork> void RunOnWorkers(size_t workers, TWork work) {
    std::vector<std::thread> threads;
    for (size_t worker = 1; worker < workers; ++worker)
        threads.emplace_back(work, worker, workers);
    work(0, workers);
    for (std::thread& thread : threads)
        thread.join();
}

} // namespace orvex
