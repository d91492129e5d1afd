#pragma once
// Folder syncs that fail on demand. A test binary that includes this (in one
// source file) is linked with -Wl,--wrap=fsync: every fsync of the code under
// test comes here first, and the syncs of folders fail while a
// TFailingFolderSyncs lives.

#include <atomic>
#include <cerrno>
#include <sys/stat.h>

namespace orvex::test {

inline std::atomic<int> gFolderSyncError{0};

class TFailingFolderSyncs {
public:
    explicit TFailingFolderSyncs(int error = EIO) { gFolderSyncError = error; }
    ~TFailingFolderSyncs() { gFolderSyncError = 0; }
    TFailingFolderSyncs(const TFailingFolderSyncs&) = delete;
    TFailingFolderSyncs& operator=(const TFailingFolderSyncs&) = delete;
};

} // namespace orvex::test

extern "C" int __real_fsync(int handle);

extern "C" int __wrap_fsync(int handle) {
    struct stat info {};
    if (const int error = orvex::test::gFolderSyncError.load();
        error && ::fstat(handle, &info) == 0 && S_ISDIR(info.st_mode)) {
        errno = error;
        return -1;
    }
    return __real_fsync(handle);
}
