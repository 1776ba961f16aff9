#include "tests/e2e/support/long_run.h"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/e2e/support/child_process.h"
#include "tests/e2e/support/dde_client.h"
#include "tests/e2e/support/messages.h"
#include "tests/e2e/support/process_figures.h"
#include "tests/e2e/support/server.h"
#include "tests/e2e/support/wine.h"
#include "tools/plcsim/plcsim.h"

namespace e2e {

namespace {

using Clock = std::chrono::steady_clock;

// The lines a file gains, read as they come.
class FileTail {
public:
    explicit FileTail(std::string path) : path(std::move(path)) { }

    // Complete lines written since the last call.
    std::vector<std::string> next()
    {
        std::vector<std::string> lines;
        std::ifstream file(path, std::ios::binary);
        if (!file)
            return lines;
        file.seekg(static_cast<std::streamoff>(offset));
        std::string chunk((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        offset += chunk.size();
        pending += chunk;
        size_t start = 0;
        for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
            std::string line = pending.substr(start, end - start);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(std::move(line));
        }
        pending.erase(0, start);
        return lines;
    }

private:
    std::string path;
    size_t offset = 0;
    std::string pending;
};

// An update line of `komvas-dde advise`: date, time, item, value. True when the item is Dn,W
// and its value is a number whose low six bits are n's: each item counts up from its own
// number in steps of 64, so a value that turns up under another item shows.
bool goodUpdate(const std::string& line)
{
    std::istringstream words(line);
    std::string date, time, item, value, more;
    words >> date >> time >> item >> value;
    if (value.empty() || (words >> more) || item.size() < 4 || item[0] != 'D' ||
        item.compare(item.size() - 2, 2, ",W") != 0)
        return false;
    char* end = nullptr;
    const long number = std::strtol(value.c_str(), &end, 10);
    if (*end != '\0')
        return false;
    const long n = std::strtol(item.c_str() + 1, nullptr, 10);
    return ((number % 65536 + 65536) % 65536) % 64 == n % 64;
}

}  // namespace

LongRunResult runLongRun(const LongRunOptions& options)
{
    LongRunResult result;
    plcsim::Simulator simulator(plcsim::Form::Binary);
    const unsigned port = simulator.start();
    for (unsigned i = 1; i <= options.items; ++i)
        simulator.setWord(1, "D", i, uint16_t(i));

    Server server;
    server.start(iniSection("PLC1", port, "BINARY"));
    if (!server.waitReady()) {
        result.failure = "the server did not start";
        result.serverTranscript = server.transcript();
        return result;
    }

    char pattern[] = "/tmp/komvas-longrun-XXXXXX";
    if (!mkdtemp(pattern)) {
        result.failure = "mkdtemp failed";
        return result;
    }
    const std::string folder = pattern;
    const std::string updates = folder + "/updates.txt";

    // Wine ends a synchronous advise start at the first DDE message of its conversation, so
    // the loops start while the module holds its answers back and nothing changes.
    simulator.addFault(plcsim::Fault::delay(6000));
    SpawnOptions spawn;
    spawn.argv = {"sh",           "-c",      "exec wine \"$0\" \"$@\" > '" + updates + "'",
                  ddeClientExe(), "--topic", "PLC1",
                  "advise"};
    for (unsigned i = 1; i <= options.items; ++i)
        spawn.argv.push_back("D" + std::to_string(i) + ",W");
    spawn.environment = wineEnvironment();
    ChildProcess client(spawn);

    FileTail tail(updates);
    size_t shown = 0;  // the current values the client prints once its loops run
    const Clock::time_point advised = Clock::now() + std::chrono::seconds(60);
    while (shown < options.items && Clock::now() < advised && client.running()) {
        shown += tail.next().size();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (shown < options.items) {
        result.failure = "the client did not start its advise loops: " +
                         describe(client.waitExit(milliseconds(0)));
        for (const OutputLine& line : client.lines())
            result.failure += "\n  " + line.text;
    } else {
        simulator.clearFaults();
        for (unsigned i = 1; i <= options.items; ++i)
            simulator.addDemo(plcsim::parseDemo(plcsim::DemoKind::Counter,
                                                "D" + std::to_string(i) + ",64,per-read"));

        // At least 300 updates a second, or the run has failed; a pause of 30 s ends it too.
        const Clock::time_point start = Clock::now();
        const Clock::time_point deadline =
            start + std::chrono::seconds(120 + options.updates / 300);
        Clock::time_point lastArrival = start;
        size_t lastReport = 0;
        while (result.updates < options.updates) {
            const Clock::time_point now = Clock::now();
            if (now > deadline || now - lastArrival > std::chrono::seconds(30)) {
                result.failure = "updates stopped after " + std::to_string(result.updates);
                break;
            }
            const std::vector<std::string> lines = tail.next();
            if (lines.empty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                continue;
            }
            lastArrival = now;
            for (const std::string& line : lines) {
                ++result.updates;
                if (!goodUpdate(line) && result.bad++ == 0)
                    result.firstBad = line;
            }
            result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
            if (result.serverStartKb == 0 && result.updates >= options.updates / 20) {
                result.serverStartKb = residentKb(server.pid());
                result.clientStartKb = residentKb(client.pid());
            }
            if (options.progress && result.updates - lastReport >= 100000) {
                lastReport = result.updates;
                options.progress(result.updates, result.seconds);
            }
        }
        result.serverEndKb = residentKb(server.pid());
        result.clientEndKb = residentKb(client.pid());
    }

    client.signal(SIGINT);  // the client stops its loops and disconnects
    client.waitExit(std::chrono::seconds(20));
    const ToolResult end = runTool({"--topic", "SYSTEM", "execute", "END"});
    const std::optional<int> exitCode = server.waitExit(std::chrono::seconds(30));
    result.stoppedOnEnd = end.exitCode == 0 && exitCode == 0 &&
                          server.waitForLine(msg::ended(0), milliseconds(0)).has_value();
    result.serverTranscript = server.transcript();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return result;
}

}  // namespace e2e
