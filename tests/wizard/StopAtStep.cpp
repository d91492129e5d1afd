// Linked only into the test build of the program (orvex_stopping): it stops itself
// (SIGSTOP) at the install step that ORVEX_STOP_AT_STEP names, where a test that
// waits for the stop kills it, however busy the machine is.

#include "platform/DefaultMachine.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string_view>

namespace {

// In the order of TInstallStep.
constexpr std::string_view kStepNames[] = {"folder", "temporary folder", "marked",  "drives",
                                           "files",  "durable",          "renamed", "done"};
static_assert(std::size(kStepNames) == static_cast<size_t>(orvex::TInstallStep::isDone) + 1);

// The index of the step named; -1 when none is. Another name ends the program: the
// test that set it would otherwise wait for a stop that never comes.
const long gStopAt = [] {
    const char* name = std::getenv("ORVEX_STOP_AT_STEP");
    if (!name)
        return -1L;
    const auto found = std::find(std::begin(kStepNames), std::end(kStepNames), name);
    if (found == std::end(kStepNames)) {
        std::fprintf(stderr, "ORVEX_STOP_AT_STEP names no install step: \"%s\"\n", name);
        std::_Exit(2);
    }
    orvex::WatchInstallSteps([](orvex::TInstallStep step) {
        if (static_cast<long>(step) == gStopAt)
            ::raise(SIGSTOP);
    });
    return static_cast<long>(found - std::begin(kStepNames));
}();

} // namespace
