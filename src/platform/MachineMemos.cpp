#include "platform/MachineMemos.h"

#include <atomic>

namespace orvex {

namespace {

std::atomic<bool> gBypassed{false};

} // namespace

void BypassMachineMemos(bool bypass) { gBypassed.store(bypass, std::memory_order_relaxed); }

bool MachineMemosBypassed() { return gBypassed.load(std::memory_order_relaxed); }

} // namespace orvex
