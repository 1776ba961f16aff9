// Long run of advise updates under Wine: KOMVAS.exe reads a simulated module whose 60 items
// change on every read, one komvas-dde client advises them, until the given number of updates
// has arrived (1,000,000 by default). Prints the rate, the resident memory of the server and the
// client once values flow and at the end, the updates without a number or with another item's
// number (must be 0), and whether "END" on SYSTEM still stops the server with message 206 and
// exit code 0. Needs WINEPREFIX and the Windows build, as the end-to-end tests do:
//   build/host/bin/longrun_bench [UPDATES]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/e2e/support/long_run.h"
#include "tests/e2e/support/wine.h"

int main(int argc, char** argv)
{
    e2e::LongRunOptions options;
    options.updates = 1000000;
    if (argc > 1) {
        char* end = nullptr;
        const unsigned long long n = std::strtoull(argv[1], &end, 10);
        if (*end != '\0' || n == 0 || n > 100000000ull) {
            std::fprintf(stderr, "usage: longrun_bench [UPDATES from 1 to 100000000]\n");
            return 2;
        }
        options.updates = static_cast<std::size_t>(n);
    }
    const std::string problem = e2e::wineSetupProblem();
    if (!problem.empty()) {
        std::fprintf(stderr, "longrun_bench: %s\n", problem.c_str());
        return 2;
    }
    options.progress = [](std::size_t updates, double seconds) {
        std::printf("  %zu updates after %.0f s\n", updates, seconds);
        std::fflush(stdout);
    };
    std::printf("long run: %u items changing on every read, until %zu advise updates\n",
                options.items, options.updates);
    const e2e::LongRunResult run = e2e::runLongRun(options);
    if (!run.failure.empty())
        std::printf("FAILED: %s\n", run.failure.c_str());
    std::printf("updates received:        %zu in %.1f s (%.0f per second)\n", run.updates,
                run.seconds, run.seconds > 0 ? run.updates / run.seconds : 0.0);
    std::printf("server resident memory:  %ld kB once values flow, %ld kB at the end\n",
                run.serverStartKb, run.serverEndKb);
    std::printf("client resident memory:  %ld kB once values flow, %ld kB at the end\n",
                run.clientStartKb, run.clientEndKb);
    std::printf("empty or wrong values:   %zu%s%s\n", run.bad, run.bad ? ", first: " : "",
                run.firstBad.c_str());
    std::printf("stops on END with 206 and exit code 0: %s\n", run.stoppedOnEnd ? "yes" : "no");
    const bool good = run.failure.empty() && run.bad == 0 && run.stoppedOnEnd;
    if (!good) std::printf("%s\n", run.serverTranscript.c_str());
    return good ? 0 : 1;
}
