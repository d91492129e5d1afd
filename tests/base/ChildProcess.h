#pragma once
// Forked child processes for tests of what two processes do at the same time.

#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>

namespace orvex::testing {

// A forked child process that runs take() (which takes hold of something, such as
// a machine's lock), reports its result and keeps going until Release().
class THoldingChild {
public:
    template <class TTake>
    explicit THoldingChild(TTake take) {
        int ready[2], go[2];
        if (::pipe(ready) != 0 || ::pipe(go) != 0) std::abort();
        FPid = ::fork();
        if (FPid == 0) {
            char byte = 'n';
            try {
                take();
                byte = 'y';
            } catch (...) {
            }
            (void)!::write(ready[1], &byte, 1);
            (void)!::read(go[0], &byte, 1);
            ::_exit(0);
        }
        char byte = 0;
        (void)!::read(ready[0], &byte, 1);
        FTook = byte == 'y';
        FGo = go[1];
        ::close(ready[0]);
        ::close(ready[1]);
        ::close(go[0]);
    }
    ~THoldingChild() { Release(); }
    THoldingChild(const THoldingChild&) = delete;
    THoldingChild& operator=(const THoldingChild&) = delete;

    bool Took() const { return FTook; }
    void Release() {
        if (FPid <= 0) return;
        (void)!::write(FGo, "g", 1);
        ::close(FGo);
        ::waitpid(FPid, nullptr, 0);
        FPid = 0;
    }

private:
    pid_t FPid = 0;
    int FGo = -1;
    bool FTook = false;
};

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
inline constexpr bool kAddressSanitizer = __has_feature(address_sanitizer);
#else
inline constexpr bool kAddressSanitizer = false;
#endif

// Limits this process's address space to what it has mapped now and room bytes
// more, so that allocations past that fail. False where that cannot show a
// failure: under AddressSanitizer, whose shadow memory takes any room given.
inline bool LimitMemoryToRoomFor(size_t room) {
    if (kAddressSanitizer)
        return false;
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0;
    statm >> pages;
    const rlim_t bytes = pages * static_cast<size_t>(::sysconf(_SC_PAGESIZE)) + room;
    const rlimit limit{bytes, bytes};
    return ::setrlimit(RLIMIT_AS, &limit) == 0;
}

// Runs call in a forked child; its exit status 0 when call returned true.
template <class TCall>
bool InChild(TCall call) {
    const pid_t child = ::fork();
    if (child == 0) {
        bool ok = false;
        try {
            ok = call();
        } catch (...) {
        }
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The id of a process that has just ended: no process of that id is running.
inline pid_t GonePid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

// Runs call in a forked child; true when the child was killed by SIGKILL (a test
// hook raised it at the step it waits for), false when it ended by itself.
template <class TCall>
bool KilledInChild(TCall call) {
    const pid_t child = ::fork();
    if (child == 0) {
        try {
            call();
        } catch (...) {
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// Mounts source on target (bound there, by default) in a mount namespace of this
// process's own, which a forked child takes for good; false where that is not
// allowed.
inline bool MountPrivately(const char* source, const char* target, const char* type = nullptr,
                           unsigned long flags = MS_BIND) {
    return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount(source, target, type, flags, nullptr) == 0;
}

// True when a process other than this one could lock path (a file or a folder) at
// once. A forked child shares this process's locks, so it asks flock itself on a
// handle of its own.
inline bool FreeForOthers(const std::string& path) {
    return InChild([&] {
        const int handle = ::open(path.c_str(), O_RDONLY);
        return handle >= 0 && ::flock(handle, LOCK_EX | LOCK_NB) == 0;
    });
}

} // namespace orvex::testing
