// Advise updates at scale under Wine: KOMVAS.exe serves PLCS simulated modules (binary form)
// holding ITEMS one-word items in all (D1,W on, spread evenly over the PLCs, each PLC with its own
// item names so that no post reaches another topic's loops), CLIENTS komvas-dde
// script clients advise them (each item once; a client keeps to one topic), then every value
// changes on every read. After a warm-up of 5 s it counts the updates the clients receive for
// SECONDS and the CPU time of the server's process meanwhile, and prints updates per second and
// the server's CPU time per update. KOMVAS.exe may be another build's, to compare builds run
// interleaved in one sitting (runs of one build vary by 20-40 % on a shared machine).
// Needs WINEPREFIX and the Windows build, as the end-to-end tests do:
//   build/host/bin/scale_bench PLCS ITEMS CLIENTS SECONDS [KOMVAS.exe]
//   build/host/bin/scale_bench 8 10000 10 30
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/support/child_process.h"
#include "tests/e2e/support/dde_client.h"
#include "tests/e2e/support/messages.h"
#include "tests/e2e/support/process_figures.h"
#include "tests/e2e/support/server.h"
#include "tests/e2e/support/wine.h"
#include "tools/plcsim/plcsim.h"

namespace {

using Clock = std::chrono::steady_clock;

bool readNumber(const char* text, unsigned long minimum, unsigned long maximum, unsigned& value)
{
    char* end = nullptr;
    const unsigned long n = std::strtoul(text, &end, 10);
    if (*text == '\0' || *end != '\0' || n < minimum || n > maximum) return false;
    value = static_cast<unsigned>(n);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    unsigned plcs = 0, items = 0, clients = 0, seconds = 0;
    if ((argc != 5 && argc != 6) || !readNumber(argv[1], 1, 64, plcs) ||
        !readNumber(argv[2], 1, 100000, items) || !readNumber(argv[3], 1, 64, clients) ||
        !readNumber(argv[4], 1, 3600, seconds) || items < plcs) {
        std::fprintf(stderr, "usage: scale_bench PLCS ITEMS CLIENTS SECONDS [KOMVAS.exe]\n");
        return 2;
    }
    const std::string exe = argc == 6 ? argv[5] : e2e::komvasExe();
    const std::string problem = e2e::wineSetupProblem();
    if (!problem.empty()) {
        std::fprintf(stderr, "scale_bench: %s\n", problem.c_str());
        return 2;
    }

    // The modules, each holding its items' numbers, and the server's KOMVAS.ini.
    const unsigned perPlc = items / plcs;
    const auto first = [perPlc](unsigned plc) { return plc * perPlc + 1; };
    std::vector<std::unique_ptr<plcsim::Simulator>> modules;
    std::string ini;
    for (unsigned p = 0; p < plcs; ++p) {
        modules.push_back(std::make_unique<plcsim::Simulator>(plcsim::Form::Binary));
        const unsigned port = modules.back()->start();
        for (unsigned i = first(p); i < first(p) + perPlc; ++i)
            modules.back()->setWord(1, "D", i, uint16_t(i));
        ini += e2e::iniSection("PLC" + std::to_string(p + 1), port, "BINARY");
    }
    char pattern[] = "/tmp/komvas-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const std::string folder = pattern;
    std::ofstream(folder + "/KOMVAS.ini", std::ios::binary) << ini;

    e2e::SpawnOptions spawn;
    spawn.argv = e2e::wineCommand(exe);
    spawn.folder = folder;
    spawn.environment = e2e::wineEnvironment();
    spawn.mergeStderr = true;
    e2e::ChildProcess server(spawn);
    int result = 1;
    std::vector<std::unique_ptr<e2e::DdeClient>> scripts;
    if (!server.waitForLine([](const e2e::OutputLine& l) { return l.text == e2e::msg::ready; },
                            e2e::startTimeout)) {
        std::printf("FAILED: the server did not start\n");
    } else {
        // Client c advises on PLC (c mod PLCS) every item n with n mod (its PLC's clients) equal
        // to its rank among them. Wine ends a synchronous advise start at the first DDE message
        // of its conversation, so an advise that looks refused is asked again, up to three times.
        std::vector<std::thread> starters;
        unsigned refused = 0;
        std::vector<unsigned> refusals(clients, 0);
        for (unsigned c = 0; c < clients; ++c)
            scripts.push_back(
                std::make_unique<e2e::DdeClient>("PLC" + std::to_string(c % plcs + 1)));
        // The modules hold their answers meanwhile (less than the link's time-out), so that few
        // values arrive while the loops start.
        for (auto& module : modules) module->addFault(plcsim::Fault::delay(8000));
        const Clock::time_point adviseStart = Clock::now();
        for (unsigned c = 0; c < clients; ++c) {
            starters.emplace_back([&, c] {
                const unsigned plc = c % plcs;
                const unsigned sharing = clients / plcs + (plc < clients % plcs ? 1 : 0);
                const unsigned rank = c / plcs;
                for (unsigned n = first(plc); n < first(plc) + perPlc; ++n) {
                    if (n % sharing != rank) continue;
                    const std::string line = "advise D" + std::to_string(n) + ",W";
                    int attempts = 0;
                    std::string answer;
                    while ((answer = scripts[c]->command(line)) != "ok" && ++attempts < 3) {
                    }
                    if (attempts == 3 && refusals[c]++ == 0 && c == 0)
                        std::printf("  first refusal of client 1: %s\n", answer.c_str());
                }
            });
        }
        for (std::thread& starter : starters) starter.join();
        for (unsigned r : refusals) refused += r;
        for (auto& module : modules) module->clearFaults();
        const double adviseSeconds =
            std::chrono::duration<double>(Clock::now() - adviseStart).count();

        for (unsigned p = 0; p < plcs; ++p)
            for (unsigned i = first(p); i < first(p) + perPlc; ++i)
                modules[p]->addDemo(plcsim::parseDemo(plcsim::DemoKind::Counter,
                                                  "D" + std::to_string(i) + ",1,per-read"));
        std::this_thread::sleep_for(std::chrono::seconds(5));

        const auto updates = [&] {
            size_t all = 0;
            for (const auto& script : scripts) all += script->events().size();
            return all;
        };
        const size_t updatesBefore = updates();
        const double cpuBefore = e2e::cpuSeconds(server.pid());
        const Clock::time_point start = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const double cpu = e2e::cpuSeconds(server.pid()) - cpuBefore;
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        const size_t counted = updates() - updatesBefore;

        std::printf("%s: %u PLCs, %u items, %u clients (%u advise starts refused three times, %.0f s "
                    "to advise)\n",
                    exe.c_str(), plcs, perPlc * plcs, clients, refused, adviseSeconds);
        std::printf("  %zu updates in %.1f s: %.0f updates/s, server CPU %.2f s, %.3f ms per "
                    "update\n",
                    counted, elapsed, counted / elapsed, cpu,
                    counted > 0 ? 1000.0 * cpu / double(counted) : 0.0);
        std::fflush(stdout);
        result = counted > 0 ? 0 : 1;
        for (auto& module : modules) module->clearDemos();
    }
    // The server stops first: the clients then find their conversations gone and end at once.
    const e2e::ToolResult end = e2e::runTool({"--topic", "SYSTEM", "execute", "END"});
    if (!server.waitExit(std::chrono::seconds(60))) {
        std::printf("the server did not stop on END (%s)\n",
                    end.exitCode ? std::to_string(*end.exitCode).c_str() : "no exit");
        result = 1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return result;
}
