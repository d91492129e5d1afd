#pragma once
// Exclusive advisory locks (flock) on a file or a folder, so that two processes
// never read, change and write the same thing at once. A file that is replaced by
// a rename (an atomic save) while a process waits is locked in its new form. Locks
// of the same file taken again in one process share the first one.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace orvex {

// The wait for a lock ran out: "Cannot lock "<path>": another program is writing it
// (waited 60 s)".
class EFileLockError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How long a writer waits for another one: $ORVEX_LOCK_WAIT_MS, else 60 seconds.
int LockWaitMilliseconds();

class TFileLock {
public:
    TFileLock() = default;
    ~TFileLock() { Release(); }
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

    // Waits up to LockWaitMilliseconds() for the lock on path. False, holding
    // nothing, when path cannot be opened (it does not exist); EFileLockError when
    // the time runs out.
    bool Acquire(const std::string& path);
    void Release();
    bool Held() const { return FHeld; }

    // True while path still names the locked file or folder: it was not removed,
    // moved away or replaced since it was locked.
    bool StillAt(const std::string& path) const;
    // The open handle of the locked file or folder, wherever it was moved since
    // (for calls relative to a locked folder); -1 when nothing is held.
    int Handle() const;

private:
    bool FHeld = false;
    uint64_t FDevice = 0;
    uint64_t FInode = 0;
};

} // namespace orvex
