#include "base/FileLock.h"

#include "base/Module.h"
#include "base/SafePath.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace orvex {

namespace {

// The locks this process holds, by device and inode: flock would make a second
// open of the same file in this process wait for the first.
struct THeldLock {
    int Handle = -1;
    int Count = 0;
};
std::mutex gHeldMutex;
std::map<std::pair<uint64_t, uint64_t>, THeldLock> gHeld;

} // namespace

int LockWaitMilliseconds() {
    if (const char* text = EnvironmentVariableUtf8("ORVEX_LOCK_WAIT_MS")) {
        int value = 0;
        const char* end = text + std::strlen(text);
        if (auto result = std::from_chars(text, end, value); result.ec == std::errc() && result.ptr == end && value >= 0)
            return value;
    }
    return 60000;
}

bool TFileLock::Acquire(const std::string& path) {
    Release();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(LockWaitMilliseconds());
    auto pause = std::chrono::milliseconds(2);
    while (true) {
        // Never waits to open: a pipe put in its place is locked like anything else.
        const int handle = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (handle < 0)
            return false;
        struct stat info {};
        if (::fstat(handle, &info) != 0) {
            ::close(handle);
            return false;
        }
        const auto key = std::make_pair(uint64_t(info.st_dev), uint64_t(info.st_ino));
        {
            std::lock_guard guard(gHeldMutex);
            if (auto it = gHeld.find(key); it != gHeld.end()) {
                ::close(handle);
                ++it->second.Count;
                FHeld = true;
                FDevice = key.first;
                FInode = key.second;
                return true;
            }
        }
        if (::flock(handle, LOCK_EX | LOCK_NB) == 0) {
            // The holder before us may have replaced the file: lock what path names now.
            struct stat now {};
            if (::stat(path.c_str(), &now) == 0 && SameFile(now, info)) {
                std::lock_guard guard(gHeldMutex);
                gHeld[key] = {handle, 1};
                FHeld = true;
                FDevice = key.first;
                FInode = key.second;
                return true;
            }
            ::close(handle);
            continue;
        }
        ::close(handle);
        if (std::chrono::steady_clock::now() >= deadline)
            throw EFileLockError("Cannot lock \"" + path + "\": another program is writing it (waited " +
                                 std::to_string(LockWaitMilliseconds() / 1000) + " s)");
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

void TFileLock::Release() {
    if (!FHeld)
        return;
    FHeld = false;
    std::lock_guard guard(gHeldMutex);
    auto it = gHeld.find({FDevice, FInode});
    if (it != gHeld.end() && --it->second.Count == 0) {
        ::close(it->second.Handle);  // closing the last handle releases the flock
        gHeld.erase(it);
    }
}

int TFileLock::Handle() const {
    if (!FHeld)
        return -1;
    std::lock_guard guard(gHeldMutex);
    const auto it = gHeld.find({FDevice, FInode});
    return it == gHeld.end() ? -1 : it->second.Handle;
}

bool TFileLock::StillAt(const std::string& path) const {
    struct stat info {};
    return FHeld && ::stat(path.c_str(), &info) == 0 && uint64_t(info.st_dev) == FDevice &&
           uint64_t(info.st_ino) == FInode;
}

} // namespace orvex
