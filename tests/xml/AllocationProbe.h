#pragma once
// While a TAllocationProbe lives (one at a time), operator new on its thread
// counts what it hands out and can run out of memory from a chosen allocation
// on, like a full heap: for the paths that must use memory in proportion to
// their work and fail cleanly. The test binary replaces the global operator new
// and delete for this (AllocationProbe.cpp); without a probe they are plain
// malloc and free.

#include <cstddef>

namespace orvex::test {

class TAllocationProbe {
public:
    // failFrom: the allocation, counted from 1, from which on operator new raises
    // std::bad_alloc; 0: none fails.
    explicit TAllocationProbe(size_t failFrom = 0);
    ~TAllocationProbe();
    TAllocationProbe(const TAllocationProbe&) = delete;
    TAllocationProbe& operator=(const TAllocationProbe&) = delete;

    // Bytes handed out in all.
    size_t Bytes() const { return FBytes; }
    bool Refused() const { return FFailFrom != 0 && FAllocations >= FFailFrom; }

    // The body of the replaced operator new.
    static void* Allocate(size_t size);

private:
    size_t FFailFrom;
    size_t FAllocations = 0;
    size_t FBytes = 0;
};

} // namespace orvex::test
