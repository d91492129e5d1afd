#pragma once
// Work spread over threads: as many as the process may run on, never more than
// the work can use.

#include <algorithm>
#include <cstddef>
#include <exception>
#include <system_error>
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

// Runs work(worker, workers) on that many threads at once, this one among them;
// the shares of threads the system refuses to start are run here too. Each worker
// catches its own failures; should this thread's share throw all the same, the
// other threads are joined before the exception leaves.
template <class TWork> void RunOnWorkers(size_t workers, TWork work) {
    std::vector<std::jthread> threads;  // joined on the way out, however it is left
    threads.reserve(workers);
    size_t started = 1;
    try {
        for (; started < workers; ++started)
            threads.emplace_back(work, started, workers);
    } catch (const std::system_error&) {
    }
    work(0, workers);
    for (size_t worker = started; worker < workers; ++worker)
        work(worker, workers);
}

// Runs work(i) for each i below count, on the threads WorkersFor(count) gives, and
// raises the failure of the lowest i once all have run: the one a single thread
// would meet first.
template <class TWork> void RunEachOnWorkers(size_t count, TWork work) {
    std::vector<std::exception_ptr> failures(count);
    RunOnWorkers(WorkersFor(count), [&](size_t worker, size_t workers) {
        for (size_t i = worker; i < count; i += workers) {
            try {
                work(i);
            } catch (...) {
                failures[i] = std::current_exception();
            }
        }
    });
    for (const std::exception_ptr& failure : failures)
        if (failure)
            std::rethrow_exception(failure);
}

} // namespace orvex
