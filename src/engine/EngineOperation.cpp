#include "engine/EngineOperation.h"

#include "platform/EmulatedMachine.h"

namespace orvex {

void PassMachineFilesError(const std::exception& error) {
    if (dynamic_cast<const EMachineFilesError*>(&error)) throw;
}

} // namespace orvex
