#pragma once
// Figures of a running process from /proc, for the long runs and the benchmarks.
#include <sys/types.h>

namespace e2e {

// Resident memory in kB (VmRSS); 0 when it cannot be read.
long residentKb(pid_t pid);

// User and system CPU time in seconds; 0 when it cannot be read.
double cpuSeconds(pid_t pid);

}  // namespace e2e
