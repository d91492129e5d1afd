// Linked only into the test build of the program (orvex_stopping): it stops itself
// (SIGSTOP) at the install step that ORVEX_STOP_AT_STEP names, where a test that
// waits for the stop kills it, however busy the machine is.

#include "platform/DefaultMachine.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string_view>

namespace {

using orvex::TInstallStep;

// In the order of TInstallStep.
constexpr std::string_view kStepNames[] = {"folder", "temporary folder", "marked",  "drives",
                                           "files",  "durable",          "renamed", "done"};
static_assert(std::size(kStepNames) == static_cast<size_t>(TInstallStep::isDone) + 1);

// The step ORVEX_STOP_AT_STEP names; none when it is unset. Another name ends the
// program: the test that set it would otherwise wait for a stop that never comes.
std::optional<TInstallStep> NamedStep() {
    const char* name = std::getenv("ORVEX_STOP_AT_STEP");
    if (!name)
        return std::nullopt;
    const auto found = std::find(std::begin(kStepNames), std::end(kStepNames), name);
    if (found == std::end(kStepNames)) {
        std::fprintf(stderr, "ORVEX_STOP_AT_STEP names no install step: \"%s\"\n", name);
        std::_Exit(2);
    }
    return static_cast<TInstallStep>(found - std::begin(kStepNames));
}

const std::optional<TInstallStep> gStopAt = NamedStep();

void StopAt(TInstallStep step) {
    if (step == gStopAt)
        ::raise(SIGSTOP);
}

const bool gWatching = gStopAt && (orvex::WatchInstallSteps(StopAt), true);

} // namespace
