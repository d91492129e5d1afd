#pragma once
// The engine's side of an operation on the emulated machines: a failure of a
// machine's own files (EMachineFilesError) ends the whole operation with one red
// line, for everything after it would fail the same way.

#include <exception>

namespace orvex {

// Called in a handler: rethrows the exception being handled when it is a failure
// of a machine's own files, so that the operation's outermost handler ends it.
void PassMachineFilesError(const std::exception& error);

} // namespace orvex
