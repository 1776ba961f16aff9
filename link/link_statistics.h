#pragma once
// What one link has seen of its PLC since start: the answers and failures counted, when the
// last failure was, and how long the last complete pass over the PLC's items took. Read by the
// SYSTEM topic's Statistics item. Pure: the link passes in the clock's readings.
#include <cstdint>

#include "shell/local_time.h"

namespace fam3 {

struct LinkStatistics {
    std::uint64_t answers = 0;       // answers to read commands that delivered values
    std::uint64_t timeOuts = 0;      // read commands or probes left unanswered (223, 224)
    std::uint64_t errorAnswers = 0;  // the module answered with its error code
    std::uint64_t unreadable = 0;    // answers that could not be interpreted (status -3)
    std::uint64_t linkFailures = 0;  // a connect or a send failed (222)
    bool failed = false;             // whether lastFailure holds a failure
    local_time::LocalTime lastFailure;
    // Milliseconds of the last complete pass, -1 before the first one has completed.
    std::int64_t passMs = -1;

    // The link moved from one read request to the next at `nowMs` of a millisecond counter:
    // a pass begins with the first request after the empty one and is complete at the empty
    // request that follows its last.
    void NextRequest(bool wasEmpty, bool isEmpty, std::uint64_t nowMs)
    {
        if (wasEmpty && !isEmpty) {
            passStartMs = nowMs;
            passing = true;
        } else if (!wasEmpty && isEmpty && passing) {
            passMs = static_cast<std::int64_t>(nowMs - passStartMs);
            passing = false;
        }
    }

private:
    bool passing = false;
    std::uint64_t passStartMs = 0;
};

}  // namespace fam3
