// A workbook closing under Wine: a komvas-dde script client advises ITEMS one-word items of a
// simulated module (10,000 by default) and disconnects: one DDE callback deletes them all and
// logs 227 for each, while another client requests SYSTEM's Status over and over. Prints the
// disconnect's time until the last 227, the other client's longest wait, and the server's writes
// on the day's log file, counted by perf on the kernel's write tracepoints for its descriptor
// (one a WriteFile), which does not stop the process. Wine 8 ignores FILE_FLAG_WRITE_THROUGH:
// the waits leave out a PC's disk. Needs WINEPREFIX, the Windows build and perf:
//   build/host/bin/disconnect_bench [ITEMS [KOMVAS.exe of another build]]
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/e2e/support/dde_client.h"
#include "tests/e2e/support/messages.h"
#include "tests/e2e/support/server.h"
#include "tests/e2e/support/wine.h"
#include "tools/plcsim/plcsim.h"

int main(int argc, char** argv)
{
    const unsigned long items = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10000;
    const e2e::ServerOptions options{false, "", argc > 2 ? argv[2] : ""};
    if (argc > 3 || items == 0 || !e2e::wineSetupProblem().empty())
        return std::fprintf(stderr, "usage: disconnect_bench [ITEMS [KOMVAS.exe]]\n"), 2;
    plcsim::Simulator module(plcsim::Form::Binary);
    e2e::Server server(options);
    server.start(e2e::iniSection("PLC1", module.start(), "BINARY"));
    if (!server.waitReady())
        return std::printf("%s", server.transcript().c_str()), 1;
    e2e::DdeClient workbook("PLC1"), other("SYSTEM");
    for (unsigned long n = 1; n <= items; ++n) {
        if (workbook.command("advise D" + std::to_string(n) + ",W") != "ok")
            return std::printf("advise of D%lu,W refused\n%s", n, workbook.transcript().c_str()), 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(5));  // every value has come
    std::string fd = "-1", pid = std::to_string(server.pid());
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + pid + "/fd")) {
        if (std::filesystem::read_symlink(entry).string().find("/KOMVAS-") != std::string::npos)
            fd = entry.path().filename().string();
    }
    e2e::SpawnOptions counting;
    counting.argv = {"perf", "stat", "-x,", "-p", pid};
    for (const std::string call : {"write", "pwrite64"})
        counting.argv.insert(counting.argv.end(),
                             {"-e", "syscalls:sys_enter_" + call, "--filter", "fd == " + fd});
    counting.mergeStderr = true;
    e2e::ChildProcess perf(counting);
    std::this_thread::sleep_for(std::chrono::seconds(1));  // perf has attached
    using Clock = std::chrono::steady_clock;
    const auto since = [](Clock::time_point t) {
        return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
    };
    std::atomic<bool> measuring(true);
    double longest = 0;
    std::thread requests([&] {
        while (measuring) {
            const Clock::time_point sent = Clock::now();
            other.request("Status");
            longest = std::max(longest, since(sent));
        }
    });
    const Clock::time_point start = Clock::now();
    workbook.command("disconnect");
    const bool deleted =
        server.waitForLine(e2e::msg::deleted(0), std::chrono::minutes(2)).has_value();
    const double took = since(start);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    measuring = false;
    requests.join();
    perf.signal(SIGINT);
    perf.waitExit(std::chrono::seconds(10));
    unsigned long long writes = 0;
    for (const e2e::OutputLine& line : perf.lines())
        writes +=
            line.text.find("sys_enter_") != std::string::npos ? std::atoll(line.text.c_str()) : 0;
    std::printf("%lu items: disconnect %.0f ms%s, the other client's longest wait %.0f ms, %llu "
                "writes on the log file (descriptor %s)\n",
                items, took, deleted ? "" : " (no last 227)", longest, writes, fd.c_str());
    return deleted ? 0 : 1;
}
