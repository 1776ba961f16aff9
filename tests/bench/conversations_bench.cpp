// Many short conversations under Wine, as a script that polls with one conversation per reading
// makes them: KOMVAS.exe serves one simulated module, and conversation_client.exe processes,
// each replaced after PER_CLIENT conversations, connect, request D1,W and disconnect until
// CONVERSATIONS have been made (100,000 and 10,000 by default). Prints the rate and the resident
// memory of the server after every client, every conversation that failed, every client that
// hung (no progress for 60 s; it is then ended), then whether a fresh komvas-dde client still
// gets the value and "END" on SYSTEM still stops the server with message 206 and exit code 0.
// Needs WINEPREFIX and the Windows build, as the end-to-end tests do:
//   build/host/bin/conversations_bench [CONVERSATIONS [PER_CLIENT]]
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/bench/arguments.h"
#include "tests/e2e/support/child_process.h"
#include "tests/e2e/support/dde_client.h"
#include "tests/e2e/support/messages.h"
#include "tests/e2e/support/process_figures.h"
#include "tests/e2e/support/server.h"
#include "tests/e2e/support/wine.h"
#include "tools/plcsim/plcsim.h"

namespace {

using Clock = std::chrono::steady_clock;

const char Usage[] = "conversations_bench [CONVERSATIONS [PER_CLIENT]]";

constexpr uint16_t Value = 1234;  // what D1 holds
const std::chrono::seconds HungAfter{60};
// A client that fails this many conversations in a row is ended and the next one started (a
// failed conversation can take 15 s: a request and a disconnect that time out).
constexpr unsigned long GiveUpAfter = 20;

struct ClientRun {
    unsigned long done = 0;  // conversations made, failed ones included
    unsigned long failed = 0;
    bool hung = false;
    bool gaveUp = false;
    std::string firstValue;
};

// One client process for `count` conversations; every wait is bounded.
ClientRun runClient(unsigned long count, unsigned long first)
{
    ClientRun run;
    e2e::SpawnOptions spawn;
    spawn.argv = e2e::wineCommand(std::string(KOMVAS_E2E_BIN_DIR) + "/conversation_client.exe");
    spawn.argv.insert(spawn.argv.end(), {"KOMVAS", "PLC1", "D1,W", std::to_string(count)});
    spawn.environment = e2e::wineEnvironment();
    spawn.mergeStderr = true;
    e2e::ChildProcess client(spawn);
    size_t seen = 0;
    unsigned long inARow = 0;
    for (;;) {
        const std::optional<size_t> at =
            client.waitForLine([](const e2e::OutputLine&) { return true; },
                               std::chrono::duration_cast<e2e::milliseconds>(HungAfter), seen);
        if (!at) {
            run.hung = true;
            std::printf("  client hung after conversation %lu (no progress for %lld s): %s\n",
                        first + run.done, static_cast<long long>(HungAfter.count()),
                        e2e::describe(client.waitExit(e2e::milliseconds(0))).c_str());
            break;
        }
        const std::string text = client.lines()[*at].text;
        seen = *at + 1;
        unsigned long n = 0;
        char what[32] = {0};
        if (text.rfind("value ", 0) == 0) {
            run.firstValue = text.substr(6);
        } else if (std::sscanf(text.c_str(), "progress %lu", &n) == 1) {
            run.done = n;
            inARow = 0;
        } else if (std::sscanf(text.c_str(), "failed %lu %31s", &n, what) == 2) {
            ++run.failed;
            run.done = n;
            if (run.failed <= 20)
                std::printf("  conversation %lu failed: %s\n", first + n - 1, text.c_str());
            std::fflush(stdout);
            if (++inARow == GiveUpAfter) {
                run.gaveUp = true;
                std::printf("  client ended after %lu failed conversations in a row\n", inARow);
                break;
            }
        } else if (std::sscanf(text.c_str(), "done %lu", &n) == 1) {
            run.done = n;
            break;
        } else {
            std::printf("  client: %s\n", text.c_str());
        }
    }
    client.signal(SIGKILL);
    client.waitExit(e2e::milliseconds(10000));
    return run;
}

}  // namespace

int main(int argc, char** argv)
{
    const unsigned long total = bench::argument(argc, argv, 1, 100000, 10000000ul, Usage);
    const unsigned long perClient = bench::argument(argc, argv, 2, 10000, 10000000ul, Usage);
    const std::string problem = e2e::wineSetupProblem();
    if (!problem.empty()) {
        std::fprintf(stderr, "conversations_bench: %s\n", problem.c_str());
        return 2;
    }
    plcsim::Simulator simulator(plcsim::Form::Binary);
    const unsigned port = simulator.start();
    simulator.setWord(1, "D", 1, Value);
    e2e::Server server;
    server.start(e2e::iniSection("PLC1", port, "BINARY"));
    if (!server.waitReady()) {
        std::printf("FAILED: the server did not start\n%s\n", server.transcript().c_str());
        return 1;
    }
    // The link reads an item only while a conversation advises it (a request alone gets
    // "#NOTHING"): one client advises D1,W for the whole run, as a spreadsheet would.
    std::unique_ptr<e2e::DdeClient> keeper;
    try {
        keeper = std::make_unique<e2e::DdeClient>("PLC1");
        keeper->command("advise D1,W");
    } catch (const std::exception& error) {
        std::printf("FAILED: %s\n", error.what());
        return 1;
    }
    if (!keeper->waitForEvent("update D1,W " + std::to_string(Value))) {
        std::printf("FAILED: no value for D1,W\n%s\n", keeper->transcript().c_str());
        return 1;
    }
    std::printf("%lu conversations (connect, request D1,W, disconnect), a new client every %lu\n",
                total, perClient);
    std::printf("server resident memory at the start: %ld kB\n", e2e::residentKb(server.pid()));

    unsigned long made = 0, failed = 0, hung = 0;
    const Clock::time_point start = Clock::now();
    std::string firstValue;
    while (made < total) {
        const unsigned long count = std::min(perClient, total - made);
        const Clock::time_point begun = Clock::now();
        const ClientRun run = runClient(count, made + 1);
        if (firstValue.empty())
            firstValue = run.firstValue;
        failed += run.failed;
        hung += run.hung ? 1 : 0;
        // The remaining conversations of a client that hung or was ended count as made, so
        // that the run ends.
        made += run.hung || run.gaveUp ? count : run.done;
        const double seconds = std::chrono::duration<double>(Clock::now() - begun).count();
        std::printf("%7lu conversations: %6.1f per second, server %ld kB, failed so far %lu\n",
                    made, seconds > 0 ? run.done / seconds : 0.0, e2e::residentKb(server.pid()),
                    failed);
        std::fflush(stdout);
        if (!server.running()) {
            std::printf("FAILED: the server ended\n%s\n", server.transcript().c_str());
            return 1;
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("in all: %lu conversations in %.0f s (%.1f per second), %lu failed, %lu clients "
                "hung; the first value %s\n",
                made, seconds, seconds > 0 ? made / seconds : 0.0, failed, hung,
                firstValue.c_str());

    std::optional<std::string> fresh;
    try {
        e2e::DdeClient client("PLC1");
        fresh = client.request("D1,W");
        client.quit();
    } catch (const std::exception& error) {
        std::printf("a fresh client: %s\n", error.what());
    }
    keeper->quit();
    std::printf("a fresh client gets the value: %s\n",
                fresh == std::to_string(Value) ? "yes"
                                               : ("no: " + fresh.value_or("no data")).c_str());
    const e2e::ToolResult end = e2e::runTool({"--topic", "SYSTEM", "execute", "END"});
    const std::optional<int> exitCode = server.waitExit(std::chrono::seconds(30));
    const bool stopped = end.exitCode == 0 && exitCode == 0 &&
                         server.waitForLine(e2e::msg::ended(0), e2e::milliseconds(0)).has_value();
    std::printf("stops on END with 206 and exit code 0: %s\n", stopped ? "yes" : "no");
    const bool good = failed == 0 && hung == 0 && fresh == std::to_string(Value) && stopped;
    if (!good)
        std::printf("%s\n", server.transcript().c_str());
    return good ? 0 : 1;
}
