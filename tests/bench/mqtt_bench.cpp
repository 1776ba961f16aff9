// komvas-mqtt.exe at work, with figures: the real KOMVAS.exe under Wine, simulated modules,
// Debian's mosquitto on a loopback port, mosquitto_sub as the subscriber.
//   mqtt_bench scale SECONDS   2,000 items over 4 PLCs, all changing on every read: updates per
//                              second reaching the subscriber against those KOMVAS delivers to
//                              komvas-dde clients of the same items in the same run, latency
//                              from a change in the simulator to the subscriber (p50, p95), the
//                              bridge's CPU per update and memory per item
//   mqtt_bench two-pcs         two KOMVAS installations as two PCs (a second Wine prefix, each
//                              with its PLC, KOMVAS and bridge) into one broker; one is stopped
//   mqtt_bench outages CYCLES  broker and KOMVAS outages in turn, the bridge's resident memory
//                              after each
// Needs WINEPREFIX and the Windows build, as the end-to-end tests do.
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <ctime>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/support/dde_client.h"
#include "tests/e2e/support/mqtt.h"
#include "tests/e2e/support/process_figures.h"
#include "tests/e2e/support/server.h"
#include "tests/e2e/support/wine.h"
#include "tools/plcsim/plcsim.h"

namespace {

using namespace e2e;
using Clock = std::chrono::steady_clock;

double wallSeconds()
{
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// One PC: simulated PLCs named PREFIX1.., each with `perPlc` words D1,W.., KOMVAS.exe and the
// bridge with one line per item.
struct Pc {
    std::vector<std::unique_ptr<plcsim::Simulator>> plcs;
    std::string ini;
    std::string items;
    Server server;
    std::unique_ptr<Bridge> bridge;

    Pc(const std::string& name, unsigned plcCount, unsigned perPlc)
    {
        for (unsigned p = 0; p < plcCount; ++p) {
            plcs.push_back(std::make_unique<plcsim::Simulator>(plcsim::Form::Binary));
            const std::string plc = name + std::to_string(p + 1);
            ini += iniSection(plc, plcs.back()->start(), "BINARY");
            for (unsigned i = 1; i <= perPlc; ++i)
                items += plc + "!D" + std::to_string(i) + ",W\r\n";
        }
    }
    bool start(const Broker& broker, const std::string& mqtt)
    {
        server.start(ini);
        bridge = std::make_unique<Bridge>("[MQTT]\r\nPORT=" + std::to_string(broker.port()) +
                                          "\r\n" + mqtt + "[ITEMS]\r\n" + items);
        return server.waitReady();
    }
    // Every item changes on every read (or stops changing).
    void changing(bool on, unsigned perPlc)
    {
        for (auto& plc : plcs) {
            plc->clearDemos();
            for (unsigned i = 1; on && i <= perPlc; ++i)
                plc->addDemo(plcsim::parseDemo(plcsim::DemoKind::Counter,
                                               "D" + std::to_string(i) + ",1,per-read"));
        }
    }
};

// Waits for a good value of `topic` from the subscriber's message `from` on.
bool goodValue(const Subscriber& sub, const std::string& topic, size_t from = 0,
               std::chrono::milliseconds timeout = mqttTimeout)
{
    for (;;) {
        const std::optional<size_t> at = sub.waitFor(topic + "\t{\"value\":", from, timeout);
        if (!at)
            return false;
        if (sub.lines()[*at].text.find("\"quality\":\"good\"") != std::string::npos)
            return true;
        from = *at + 1;
    }
}

int scale(unsigned duration)
{
    constexpr unsigned plcCount = 4, perPlc = 500;
    Broker broker;
    if (!broker.start())
        return std::printf("FAILED: no broker\n"), 1;
    Pc pc("PLC", plcCount, perPlc);
    pc.items += "PLC1!D1000,W\r\n";  // the probe of the latency
    const Clock::time_point setUp = Clock::now();
    if (!pc.start(broker, "PREFIX=bench\r\n"))
        return std::printf("FAILED: KOMVAS did not start\n"), 1;
    // komvas-dde clients of the same items, one per PLC.
    std::vector<std::unique_ptr<DdeClient>> clients;
    for (unsigned p = 1; p <= plcCount; ++p) {
        clients.push_back(std::make_unique<DdeClient>("PLC" + std::to_string(p)));
        for (unsigned i = 1; i <= perPlc; ++i) {
            const std::string line = "advise D" + std::to_string(i) + ",W";
            if (clients.back()->command(line) != "ok")
                return std::printf("FAILED: %s refused\n", line.c_str()), 1;
        }
    }
    Subscriber sub(broker, "bench/#", {}, "%U\t%t\t%p");
    // Set up once the bridge has published a good value of every item: it has then advised
    // them all and asked for the value of each.
    std::set<std::string> published;
    for (const Clock::time_point begun = Clock::now();
         published.size() < plcCount * perPlc + 1 && seconds(begun) < 300;
         std::this_thread::sleep_for(std::chrono::milliseconds(500))) {
        for (const OutputLine& line : sub.lines()) {
            const std::size_t topic = line.text.find('\t') + 1,
                              payload = line.text.find('\t', topic);
            if (topic != 0 && payload != std::string::npos &&
                line.text.find("\"quality\":\"good\"", payload) != std::string::npos)
                published.insert(line.text.substr(topic, payload - topic));
        }
    }
    if (published.size() < plcCount * perPlc + 1)
        return std::printf("FAILED: good values of %zu items only\n%s", published.size(),
                           pc.bridge->transcript().c_str()),
               1;
    const long idleKb = residentKb((*pc.bridge)->pid());
    // A bridge of one item beside it: what the items add to the process.
    long oneItemKb = 0;
    {
        Subscriber one(broker, "one/#");
        Bridge small("[MQTT]\r\nPORT=" + std::to_string(broker.port()) +
                     "\r\nPREFIX=one\r\nCLIENTID=one\r\n[ITEMS]\r\nPLC1!D1,W\r\n");
        if (goodValue(one, "one/PLC1/D1,W")) {
            std::this_thread::sleep_for(std::chrono::seconds(2));
            oneItemKb = residentKb(small->pid());
        }
    }
    std::printf("set-up: %u items advised by the bridge and by komvas-dde in %.0f s; bridge "
                "resident %ld kB, a bridge of one item %ld kB: %.0f bytes per item\n",
                plcCount * perPlc, seconds(setUp), idleKb, oneItemKb,
                (idleKb - oneItemKb) * 1024.0 / (plcCount * perPlc - 1));
    pc.changing(true, perPlc);
    std::this_thread::sleep_for(std::chrono::seconds(5));

    // A probe item on PLC1 that the benchmark itself changes, for the latency.
    const auto ddeUpdates = [&] {
        std::size_t all = 0;
        for (const auto& c : clients)
            all += c->events().size();
        return all;
    };
    // The probe: a word of PLC1 that the benchmark itself sets, four times a second.
    using Probes = std::vector<std::pair<unsigned, double>>;  // value, when it was set
    unsigned probeValue = 0;
    const auto probe = [&](double forSeconds, Probes& probes) {
        const Clock::time_point begun = Clock::now();
        while (seconds(begun) < forSeconds) {
            probes.push_back({++probeValue, wallSeconds()});
            pc.plcs[0]->setWord(1, "D", 1000, static_cast<uint16_t>(probeValue));
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
    };
    const std::size_t ddeBefore = ddeUpdates();
    const std::size_t mqttBefore = sub.lines().size();
    const double cpuBefore = cpuSeconds((*pc.bridge)->pid());
    const Clock::time_point start = Clock::now();
    Probes busyProbes, quietProbes;
    probe(duration, busyProbes);
    const double elapsed = seconds(start);
    const double cpu = cpuSeconds((*pc.bridge)->pid()) - cpuBefore;
    const std::size_t dde = ddeUpdates() - ddeBefore;
    const std::size_t mqttAfter = sub.lines().size();
    const std::size_t mqtt = mqttAfter - mqttBefore;
    const long busyKb = residentKb((*pc.bridge)->pid());
    pc.changing(false, perPlc);
    std::printf("%zu updates to komvas-dde in %.1f s: %.0f/s; %zu to the MQTT subscriber: %.0f/s "
                "(%.1f %%)\nbridge CPU %.2f s: %.3f ms per update; resident %ld kB\n",
                dde, elapsed, dde / elapsed, mqtt, mqtt / elapsed,
                100.0 * mqtt / std::max<std::size_t>(dde, 1), cpu, mqtt ? 1000.0 * cpu / mqtt : 0.0,
                busyKb);
    // Then the probe alone changes: the latency of one value where nothing queues before it.
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const std::size_t quietFrom = sub.lines().size();
    probe(20, quietProbes);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const std::vector<OutputLine> lines = sub.lines();

    // Latency: from setting the probe's value to its arrival at the subscriber ("%U" is the
    // arrival's Unix time).
    const std::string probeTopic = "\tbench/PLC1/D1000,W\t{\"value\":";
    const auto probeLatencies = [&](std::size_t from, std::size_t to, const Probes& probes) {
        std::vector<double> latencies;
        for (std::size_t i = from; i < to && i < lines.size(); ++i) {
            const std::string& text = lines[i].text;
            const std::size_t at = text.find(probeTopic);
            if (at == std::string::npos)
                continue;
            const unsigned k = static_cast<unsigned>(
                std::strtoul(text.c_str() + at + probeTopic.size(), nullptr, 10));
            for (const auto& [value, set] : probes) {
                if (value == k)
                    latencies.push_back(std::strtod(text.c_str(), nullptr) - set);
            }
        }
        return latencies;
    };
    // From the bridge's receipt (the payload's time) to the subscriber, for every message.
    std::vector<double> bridgeLatencies;
    for (std::size_t i = mqttBefore; i < mqttAfter; ++i) {
        const std::string& text = lines[i].text;
        const std::size_t time = text.find("\"time\":\"");
        std::tm t = {};
        int ms = 0, offsetHours = 0, offsetMinutes = 0;
        if (time != std::string::npos &&
            std::sscanf(text.c_str() + time + 8, "%d-%d-%dT%d:%d:%d.%d%d:%d", &t.tm_year, &t.tm_mon,
                        &t.tm_mday, &t.tm_hour, &t.tm_min, &t.tm_sec, &ms, &offsetHours,
                        &offsetMinutes) == 9) {
            t.tm_year -= 1900;
            t.tm_mon -= 1;
            const double received = double(timegm(&t)) + ms / 1000.0 - offsetHours * 3600.0 -
                                    (offsetHours < 0 ? -1 : 1) * offsetMinutes * 60.0;
            bridgeLatencies.push_back(std::strtod(text.c_str(), nullptr) - received);
        }
    }
    const auto percentiles = [](const char* what, std::vector<double> all) {
        std::sort(all.begin(), all.end());
        if (!all.empty())
            std::printf("latency %s (%zu messages): p50 %.0f ms, p95 %.0f ms\n", what, all.size(),
                        1000 * all[all.size() / 2], 1000 * all[all.size() * 95 / 100]);
    };
    percentiles("from a change in the simulator to the subscriber, every item changing",
                probeLatencies(mqttBefore, mqttAfter, busyProbes));
    percentiles("from a change in the simulator to the subscriber, the probe alone changing",
                probeLatencies(quietFrom, lines.size(), quietProbes));
    percentiles("from the bridge's receipt to the subscriber, every item changing",
                bridgeLatencies);
    return mqtt > 0 ? 0 : 1;
}

int twoPcs()
{
    constexpr unsigned perPc = 50;
    Broker broker;
    if (!broker.start())
        return std::printf("FAILED: no broker\n"), 1;
    Subscriber sub(broker, "komvas/#");
    // PC B: a copy of the prefix with a wineserver of its own, so that its KOMVAS and bridge see
    // nothing of PC A's DDE.
    char folder[] = "/tmp/komvas-bench-pc-b-XXXXXX";
    const std::string prefixA = std::getenv("WINEPREFIX");
    const std::string prefixB = mkdtemp(folder) ? folder : "";
    if (prefixB.empty() || std::system(("cp -a '" + prefixA + "/.' " + prefixB).c_str()) != 0)
        return std::printf("FAILED: cannot copy the prefix\n"), 1;
    std::system(("(WINEPREFIX=" + prefixB + " wineserver -p >/dev/null 2>&1 &)").c_str());
    int result = 1;
    {
        Pc a("LINEA", 1, perPc), b("LINEB", 1, perPc);
        const bool started = a.start(broker, "CLIENTID=pc-a\r\n");
        setWineSite({"", prefixB});
        const bool startedB = b.start(broker, "CLIENTID=pc-b\r\n");
        setWineSite({});
        a.changing(true, perPc);
        b.changing(true, perPc);
        if (started && startedB && goodValue(sub, "komvas/LINEA1/D1,W") &&
            goodValue(sub, "komvas/LINEB1/D1,W")) {
            std::printf("one subscriber to komvas/# sees both PCs: %zu messages so far\n",
                        sub.lines().size());
            // PC A's KOMVAS ends.
            runTool({"--topic", "SYSTEM", "execute", "END"});
            const std::optional<size_t> stale = sub.waitFor("komvas/LINEA1/D1,W\t{\"value\":");
            const std::optional<size_t> staleA = sub.waitFor("\"quality\":\"stale\"");
            std::this_thread::sleep_for(std::chrono::seconds(5));
            std::size_t staleLinesA = 0, staleLinesB = 0, goodB = 0;
            for (const OutputLine& line : sub.lines()) {
                const bool isStale = line.text.find("\"stale\"") != std::string::npos;
                staleLinesA += isStale && line.text.find("LINEA") != std::string::npos;
                staleLinesB += isStale && line.text.find("LINEB") != std::string::npos;
            }
            const std::vector<OutputLine> lines = sub.lines();
            for (std::size_t i = staleA.value_or(lines.size()); i < lines.size(); ++i)
                goodB += lines[i].text.find("LINEB") != std::string::npos &&
                         lines[i].text.find("\"good\"") != std::string::npos;
            std::printf("PC A's KOMVAS ended: %zu stale messages of PC A, %zu of PC B; %zu good "
                        "values of PC B since\n",
                        staleLinesA, staleLinesB, goodB);
            result = stale && staleLinesA >= perPc && staleLinesB == 0 && goodB > 0 ? 0 : 1;
        } else {
            std::printf("FAILED: no values from both PCs\n%s%s", sub.transcript().c_str(),
                        b.bridge ? b.bridge->transcript().c_str() : "");
        }
        setWineSite({"", prefixB});
        b.bridge.reset();
        runTool({"--topic", "SYSTEM", "execute", "END"});
        b.server.waitExit();
        setWineSite({});
    }
    std::system(("WINEPREFIX=" + prefixB + " wineserver -k").c_str());
    std::filesystem::remove_all(prefixB);
    return result;
}

int outages(unsigned cycles)
{
    Broker broker;
    if (!broker.start())
        return std::printf("FAILED: no broker\n"), 1;
    Pc pc("PLC", 1, 200);
    if (!pc.start(broker, "KEEPALIVE=5\r\n"))
        return std::printf("FAILED: KOMVAS did not start\n"), 1;
    pc.changing(true, 200);
    {
        Subscriber sub(broker, "komvas/#");
        if (!goodValue(sub, "komvas/PLC1/D200,W"))
            return std::printf("FAILED: no values\n%s", pc.bridge->transcript().c_str()), 1;
    }
    const pid_t bridge = (*pc.bridge)->pid();
    std::printf("bridge resident memory with values flowing: %ld kB\n", residentKb(bridge));
    for (unsigned c = 1; c <= cycles; ++c) {
        broker.stop();  // 30 s without a broker, every value changing meanwhile
        std::this_thread::sleep_for(std::chrono::seconds(30));
        const long brokerAway = residentKb(bridge);
        broker.start();
        Subscriber sub(broker, "komvas/#");
        // After 30 s away the bridge's next attempt may be up to 37.5 s off (30 s and a quarter).
        const bool back = goodValue(sub, "komvas/PLC1/D200,W", 0, std::chrono::seconds(75));
        runTool({"--topic", "SYSTEM", "execute", "END"});  // 20 s without KOMVAS
        pc.server.waitExit();
        std::this_thread::sleep_for(std::chrono::seconds(20));
        const long komvasAway = residentKb(bridge);
        pc.server.start();
        pc.server.waitReady();
        const bool flowing = goodValue(sub, "komvas/PLC1/D200,W", sub.lines().size());
        std::printf("cycle %u: resident %ld kB after 30 s without a broker, %ld kB after 20 s "
                    "without KOMVAS, %ld kB with values flowing again%s\n",
                    c, brokerAway, komvasAway, residentKb(bridge),
                    back ? (flowing ? "" : " (values did not come back after KOMVAS)")
                         : " (values did not come back after the broker)");
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string problem =
        wineSetupProblem().empty() ? mqttSetupProblem() : wineSetupProblem();
    const std::string mode = argc > 1 ? argv[1] : "";
    const unsigned number =
        argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 0;
    if (!problem.empty()) {
        std::fprintf(stderr, "mqtt_bench: %s\n", problem.c_str());
        return 2;
    }
    if (mode == "scale" && number > 0)
        return scale(number);
    if (mode == "two-pcs")
        return twoPcs();
    if (mode == "outages" && number > 0)
        return outages(number);
    std::fprintf(stderr, "usage: mqtt_bench scale SECONDS | two-pcs | outages CYCLES\n");
    return 2;
}
