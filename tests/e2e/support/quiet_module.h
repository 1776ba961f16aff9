#pragma once
// Script lines run while the simulated module holds its answers back. Wine ends a client's
// synchronous transaction at the first DDE message of its conversation, so a value arriving
// during an advise start can make it look refused. The link waits for the held answer (less
// than its 10 s time-out) and goes on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/support/dde_client.h"
#include "tools/plcsim/plcsim.h"

namespace e2e {

inline void runQuietly(plcsim::Simulator& simulator, DdeClient& client,
                       const std::vector<std::string>& lines, int holdMs = 3000)
{
    simulator.addFault(plcsim::Fault::delay(holdMs));
    for (const std::string& line : lines)
        EXPECT_EQ(client.command(line), "ok") << line;
    simulator.clearFaults();
}

}  // namespace e2e
