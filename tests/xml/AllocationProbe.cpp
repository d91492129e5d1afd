#include "AllocationProbe.h"

#include <cstdlib>
#include <new>

namespace orvex::test {

namespace {

thread_local TAllocationProbe* tProbe = nullptr;

} // namespace

TAllocationProbe::TAllocationProbe(size_t failFrom) : FFailFrom(failFrom) { tProbe = this; }

TAllocationProbe::~TAllocationProbe() { tProbe = nullptr; }

void* TAllocationProbe::Allocate(size_t size) {
    if (TAllocationProbe* probe = tProbe) {
        ++probe->FAllocations;
        if (probe->Refused())
            throw std::bad_alloc();
        probe->FBytes += size;
    }
    void* memory = std::malloc(size ? size : 1);
    if (!memory)
        throw std::bad_alloc();
    return memory;
}

} // namespace orvex::test

void* operator new(size_t size) { return orvex::test::TAllocationProbe::Allocate(size); }
void* operator new[](size_t size) { return orvex::test::TAllocationProbe::Allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, size_t) noexcept { std::free(memory); }
