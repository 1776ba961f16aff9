// Items made and deleted without end under Wine, as workbooks opened and closed all day make
// them: KOMVAS.exe reads one simulated module, and four advise_client.exe processes at a time, a
// DDEML client and a raw DDE client in CF_TEXT and in CF_UNICODETEXT, each on sixteen items of
// its own, start and stop advise loops until ITEMS items have been made and deleted (100,000 by
// default); each client is replaced after PER_CLIENT items (1,000 by default). Prints the
// server's resident memory at the start and after every 10,000 items made (message 221), the
// failures the clients report, whether every item was deleted again (the last 227 shows 0) and
// whether "END" on SYSTEM still stops the server with message 206 and exit code 0. KOMVAS.exe
// may be another build's, to compare builds. Needs WINEPREFIX and the Windows build, as the
// end-to-end tests do:
//   build/host/bin/advise_bench [ITEMS [PER_CLIENT [KOMVAS.exe]]]
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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

const char Usage[] = "advise_bench [ITEMS [PER_CLIENT [KOMVAS.exe]]]";

constexpr unsigned long Span = 16;  // items of one client
constexpr unsigned long ReportEvery = 10000;
const std::chrono::seconds HungAfter{60};

// One kind of client on its own items.
struct Lane {
    Lane(const char* kind, const char* format, unsigned long first)
        : kind(kind), format(format), first(first)
    {
    }
    const char* kind;
    const char* format;
    unsigned long first;  // address of its first item
    std::unique_ptr<e2e::ChildProcess> client;
    std::size_t seen = 0;  // output lines read
    Clock::time_point lastLine;
    unsigned long made = 0;  // items of finished clients
    unsigned long failed = 0, missing = 0;
};

void start(Lane& lane, unsigned long count)
{
    e2e::SpawnOptions spawn;
    spawn.argv = e2e::wineCommand(std::string(KOMVAS_E2E_BIN_DIR) + "/advise_client.exe");
    spawn.argv.insert(spawn.argv.end(), {lane.kind, lane.format, "PLC1", std::to_string(lane.first),
                                         std::to_string(Span), std::to_string(count)});
    spawn.environment = e2e::wineEnvironment();
    spawn.mergeStderr = true;
    lane.client = std::make_unique<e2e::ChildProcess>(spawn);
    lane.seen = 0;
    lane.lastLine = Clock::now();
}

// Reads what the lane's client printed; true once it has ended, by itself or for hanging.
bool finished(Lane& lane)
{
    const std::vector<e2e::OutputLine> lines = lane.client->lines();
    bool done = false;
    for (; lane.seen < lines.size(); ++lane.seen) {
        const std::string& text = lines[lane.seen].text;
        lane.lastLine = Clock::now();
        unsigned long n = 0, failed = 0, missing = 0;
        if (std::sscanf(text.c_str(), "done %lu failed %lu missing %lu", &n, &failed, &missing) ==
            3) {
            lane.made += n;
            lane.failed += failed;
            lane.missing += missing;
            done = true;
        } else if (text.rfind("progress ", 0) != 0) {
            std::printf("  %s %s client: %s\n", lane.kind, lane.format, text.c_str());
        }
    }
    if (!done && Clock::now() - lane.lastLine > HungAfter) {
        std::printf("  %s %s client hung (no output for %lld s)\n", lane.kind, lane.format,
                    static_cast<long long>(HungAfter.count()));
        ++lane.failed;
        done = true;
    }
    if (!done && !lane.client->running()) {
        std::printf("  %s %s client ended without finishing: %s\n", lane.kind, lane.format,
                    e2e::describe(lane.client->waitExit(e2e::milliseconds(0))).c_str());
        ++lane.failed;
        done = true;
    }
    if (done) {
        lane.client->signal(SIGKILL);
        lane.client->waitExit(e2e::milliseconds(10000));
        lane.client.reset();
    }
    return done;
}

}  // namespace

int main(int argc, char** argv)
{
    const unsigned long total = bench::argument(argc, argv, 1, 100000, 100000000ul, Usage);
    const unsigned long perClient = bench::argument(argc, argv, 2, 1000, 100000000ul, Usage);
    e2e::ServerOptions options;
    if (argc > 3)
        options.program = argv[3];
    const std::string problem = e2e::wineSetupProblem();
    if (!problem.empty()) {
        std::fprintf(stderr, "advise_bench: %s\n", problem.c_str());
        return 2;
    }
    plcsim::Simulator simulator(plcsim::Form::Binary);
    const unsigned port = simulator.start();
    e2e::Server server(options);
    server.start(e2e::iniSection("PLC1", port, "BINARY"));
    if (!server.waitReady()) {
        std::printf("FAILED: the server did not start\n%s\n", server.transcript().c_str());
        return 1;
    }
    std::vector<Lane> lanes;
    lanes.emplace_back("ddeml", "text", 1);
    lanes.emplace_back("ddeml", "unicode", 1 + Span);
    lanes.emplace_back("raw", "text", 1 + 2 * Span);
    lanes.emplace_back("raw", "unicode", 1 + 3 * Span);

    // Message 221 up to its count: every line that holds it is one item made.
    const std::string registered = e2e::msg::registered(0);
    const std::string made = registered.substr(0, registered.rfind(" 0 ") + 1);
    std::printf("%lu items made and deleted through advise loops by %zu clients at a time, a new "
                "client every %lu items\n",
                total, lanes.size(), perClient);
    const long startKb = e2e::residentKb(server.pid());
    std::printf("%8s items: server %6ld kB\n", "0", startKb);

    unsigned long items = 0, started = 0, nextReport = ReportEvery;
    long firstReportKb = 0;
    std::size_t lineSeen = 0;
    const Clock::time_point begun = Clock::now();
    for (;;) {
        for (Lane& lane : lanes) {
            if (lane.client && !finished(lane))
                continue;
            if (started < total) {
                const unsigned long count = std::min(perClient, total - started);
                start(lane, count);
                started += count;
            }
        }
        while (const std::optional<std::size_t> at =
                   server.waitForLineContaining(made, e2e::milliseconds(0), lineSeen)) {
            lineSeen = *at + 1;
            if (++items == nextReport) {
                const long kb = e2e::residentKb(server.pid());
                if (firstReportKb == 0)
                    firstReportKb = kb;
                const double seconds = std::chrono::duration<double>(Clock::now() - begun).count();
                std::printf("%8lu items: server %6ld kB, %+6ld kB since %lu items, %.0f items a "
                            "second\n",
                            items, kb, kb - firstReportKb, ReportEvery, items / seconds);
                std::fflush(stdout);
                nextReport += ReportEvery;
            }
        }
        const bool busy = std::any_of(lanes.begin(), lanes.end(),
                                      [](const Lane& lane) { return lane.client != nullptr; });
        if (!busy)
            break;
        if (!server.running()) {
            std::printf("FAILED: the server ended\n%s\n", server.transcript().c_str());
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }

    unsigned long failed = 0, missing = 0;
    for (const Lane& lane : lanes) {
        std::printf("%s %s: %lu items, %lu failures, %lu values missing\n", lane.kind, lane.format,
                    lane.made, lane.failed, lane.missing);
        failed += lane.failed;
        missing += lane.missing;
    }
    const long endKb = e2e::residentKb(server.pid());
    std::printf("server resident memory: %ld kB at the start, %ld kB after %lu items, %ld kB at "
                "the end (%+.1f bytes an item after the first %lu)\n",
                startKb, firstReportKb, ReportEvery, endKb,
                items > ReportEvery ? 1024.0 * (endKb - firstReportKb) / (items - ReportEvery)
                                    : 0.0,
                ReportEvery);
    // Every 221 has its 227, and the last 227 shows 0.
    const std::string deletedText = e2e::msg::deleted(0);
    const std::string deleted = deletedText.substr(0, deletedText.rfind(" 0 ") + 1);
    unsigned long deletions = 0;
    std::string lastDeletion;
    for (const e2e::OutputLine& line : server.lines()) {
        if (line.text.find(deleted) != std::string::npos) {
            ++deletions;
            lastDeletion = line.text;
        }
    }
    const bool balanced = deletions == items && lastDeletion == deletedText;
    std::printf("items deleted again: %lu of %lu, the last 227 shows 0: %s\n", deletions, items,
                lastDeletion == deletedText ? "yes" : "no");
    const e2e::ToolResult end = e2e::runTool({"--topic", "SYSTEM", "execute", "END"});
    const std::optional<int> exitCode = server.waitExit(std::chrono::seconds(30));
    const bool stopped = end.exitCode == 0 && exitCode == 0 &&
                         server.waitForLine(e2e::msg::ended(0), e2e::milliseconds(0)).has_value();
    std::printf("stops on END with 206 and exit code 0: %s\n", stopped ? "yes" : "no");
    return failed == 0 && missing == 0 && balanced && stopped ? 0 : 1;
}
