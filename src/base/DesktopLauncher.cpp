#include "base/DesktopLauncher.h"

#include "base/Utf.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace orvex {

namespace {

constexpr const char* kHandler = "xdg-open";

// The full path of program on PATH, or empty.
std::string FindOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string_view rest = path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const size_t colon = rest.find(':');
        std::string candidate(rest.substr(0, colon));
        if (candidate.empty())
            candidate.push_back('.');
        candidate.push_back('/');
        candidate.append(program);
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string_view::npos)
            return {};
        rest.remove_prefix(colon + 1);
    }
}

} // namespace

bool LaunchDesktopHandler(std::u16string_view target) {
    const std::string argument = Utf16ToUtf8(target);
    const std::string program = FindOnPath(kHandler);
    if (program.empty() || argument.find('\0') != std::string::npos)
        return false;
    // Everything the children need is made before fork: after it only
    // async-signal-safe calls are allowed.
    const char* argv[] = {kHandler, argument.c_str(), nullptr};
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return false;
    const pid_t child = fork();
    if (child < 0) {
        close(report[0]);
        close(report[1]);
        return false;
    }
    if (child == 0) {
        // The intermediate child leaves at once, so the handler is adopted by init
        // and never lingers as our zombie.
        close(report[0]);
        const pid_t handler = fork();
        if (handler == 0) {
            execve(program.c_str(), const_cast<char* const*>(argv), environ);
            const int failure = errno;
            [[maybe_unused]] ssize_t ignored = write(report[1], &failure, sizeof failure);
            _exit(127);
        }
        _exit(handler < 0 ? 1 : 0);
    }
    close(report[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // The pipe closes on a successful exec; a failed one writes its errno first.
    int failure = 0;
    ssize_t got;
    do
        got = read(report[0], &failure, sizeof failure);
    while (got < 0 && errno == EINTR);
    close(report[0]);
    return got == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace orvex
