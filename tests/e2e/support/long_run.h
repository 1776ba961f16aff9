#pragma once
// A long run of advise updates: KOMVAS.exe under Wine reads a simulated module whose items all
// change on every read, and one komvas-dde client advises them until a number of updates has
// arrived. Shared by the end-to-end test (past the 65,536 memory blocks that Wine's DDEML can
// leave behind in a process) and the long-run benchmark.
#include <cstddef>
#include <functional>
#include <string>

namespace e2e {

struct LongRunOptions {
    std::size_t updates = 80000;  // advise updates the client must receive
    unsigned items = 60;          // D1,W to Dn,W, each changing on every read
    // Called now and then with the updates received so far.
    std::function<void(std::size_t updates, double seconds)> progress;
};

struct LongRunResult {
    std::string failure;      // empty when the run went to its end
    std::size_t updates = 0;  // updates received after the items had their first value
    std::size_t bad = 0;      // updates without a number, or with another item's number
    std::string firstBad;     // the first of them, as the client printed it
    double seconds = 0;       // from the first update to the last one counted
    long serverStartKb = 0;   // resident memory of KOMVAS.exe once values flow, and at the end
    long serverEndKb = 0;
    long clientStartKb = 0;  // the same for komvas-dde.exe
    long clientEndKb = 0;
    bool stoppedOnEnd = false;  // "END" on SYSTEM gave message 206 with exit code 0
    std::string serverTranscript;
};

// Runs it; everything it starts it ends. Every wait is bounded.
LongRunResult runLongRun(const LongRunOptions& options);

}  // namespace e2e
