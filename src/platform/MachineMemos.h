#pragma once
// A switch for tests: with it set, every memo of the emulated machines (listed in
// EmulatedMachine.h) is passed by and its answer worked out afresh, so that a
// test can show that the memos change no result.

namespace orvex {

void BypassMachineMemos(bool bypass);
bool MachineMemosBypassed();

} // namespace orvex
