#pragma once
// The Windows-side test program replaces the global operator new with one that can be told to
// fail, so that tests can see what an operation leaves behind when memory runs out at any of
// its allocations. Disarmed it allocates as the library's own does. Not for use while more than
// one thread allocates.

namespace testing_support {

// Lets `n` allocations through and throws std::bad_alloc at the next one; then disarms.
void FailAllocationAfter(long n);
// Disarms without failing.
void StopFailingAllocations();
// True when an allocation failed since the last FailAllocationAfter.
bool AllocationFailed();

} // namespace testing_support
