// The replaced operator new of the Windows-side test program. It lives in a file of its own so
// that the compiler sees its malloc and free only here, never inlined into a caller.
#include "tests/support/allocation_failure.h"

#include <cstdlib>
#include <new>

namespace {
long allowed = -1;  // allocations left before the one that fails; -1 disarmed
bool failed = false;
} // namespace

namespace testing_support {

void FailAllocationAfter(long n)
{
    failed = false;
    allowed = n;
}

void StopFailingAllocations() { allowed = -1; }

bool AllocationFailed() { return failed; }

} // namespace testing_support

void* operator new(std::size_t size)
{
    if (allowed == 0) {
        allowed = -1;
        failed = true;
        throw std::bad_alloc();
    }
    if (allowed > 0)
        --allowed;
    if (void* memory = std::malloc(size != 0 ? size : 1))
        return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
