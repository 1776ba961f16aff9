#pragma once
// The numbers on the command lines of the benchmarks.
#include <cstdio>
#include <cstdlib>

namespace bench {

// Argument `index` as a whole number from 1 to `maximum`, or `fallback` when there are fewer
// arguments; anything else prints `usage` and ends the program with exit code 2.
inline unsigned long argument(int argc, char** argv, int index, unsigned long fallback,
                              unsigned long maximum, const char* usage)
{
    if (argc <= index)
        return fallback;
    char* end = nullptr;
    const unsigned long n = std::strtoul(argv[index], &end, 10);
    if (*end != '\0' || n == 0 || n > maximum) {
        std::fprintf(stderr, "usage: %s\n", usage);
        std::exit(2);
    }
    return n;
}

}  // namespace bench
