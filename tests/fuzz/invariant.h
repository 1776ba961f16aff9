#pragma once
// Invariant checks of the fuzz targets. A broken invariant prints the input that broke it and
// aborts, so that the fuzzer keeps the input as a crash and the corpus replay fails.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

// The input under test, set by each target at the start of LLVMFuzzerTestOneInput.
inline const std::uint8_t* currentData;
inline std::size_t currentSize;

[[noreturn]] inline void fail(const char* target, const char* what, int line)
{
    std::fprintf(stderr, "%s:%d: invariant broken: %s\ninput (%zu bytes):", target, line, what,
                 currentSize);
    for (std::size_t i = 0; i < currentSize; ++i)
        std::fprintf(stderr, " %02X", currentData[i]);
    std::fprintf(stderr, "\n");
    std::abort();
}

} // namespace fuzz

// FUZZ_TARGET names the target in the report; each target defines it before the include.
#define CHECK(cond)                                      \
    do {                                                 \
        if (!(cond))                                     \
            fuzz::fail(FUZZ_TARGET, #cond, __LINE__);    \
    } while (0)
