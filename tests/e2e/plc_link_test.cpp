// The PLC link seen from the module's side: the read commands that reach it, byte for byte,
// the retries of an unreachable or silent module, and how the link stays in step with the
// answers when one comes late.
#include <cstring>
#include <regex>
#include <thread>

#include "tests/e2e/support/fixture.h"
#include "tests/e2e/support/quiet_module.h"
#include "tools/plcsim/plcsim.h"

namespace e2e {
namespace {

using plcsim::Bytes;
using Clock = std::chrono::steady_clock;

Bytes text(const char* s)
{
    return Bytes(s, s + std::strlen(s));
}

std::string describe(const std::vector<Bytes>& commands)
{
    std::string out;
    for (const Bytes& command : commands)
        out += "\n  " + plcsim::describeBytes(command);
    return out.empty() ? "\n  (none)" : out;
}

// The commands of one whole pass over the schedule: the second pass in the record that begins
// with `first` (the pass under way when the record was cleared may be cut). Empty when it does
// not come in time.
std::vector<Bytes> nextPass(const plcsim::Simulator& simulator, const Bytes& first, size_t commands,
                            milliseconds timeout = milliseconds(30000))
{
    const auto end = Clock::now() + timeout;
    do {
        const std::vector<plcsim::Datagram> record = simulator.datagrams();
        int starts = 0;
        for (size_t i = 0; i < record.size(); ++i) {
            if (record[i].bytes != first || ++starts < 2)
                continue;
            if (i + commands > record.size())
                break;
            std::vector<Bytes> pass;
            for (size_t k = i; k < i + commands; ++k)
                pass.push_back(record[k].bytes);
            return pass;
        }
        std::this_thread::sleep_for(milliseconds(100));
    } while (Clock::now() < end);
    return {};
}

struct GroupingCase {
    const char* name;
    plcsim::Form form;
    const char* mode;
    // D1 to D64 as one-word items, M1 and M172 as bits, and D1 on CPU 2.
    std::vector<Bytes> pass;
    // The same with M173 in place of M172.
    std::vector<Bytes> passApart;
};

const GroupingCase groupings[] = {
    {"Ascii",
     plcsim::Form::Ascii,
     "ASCII",
     {text("01WRDD1,63\r\n"), text("01WRDD64,01\r\n"), text("01BRDM1,172\r\n"),
      text("02WRDD1,01\r\n")},
     {text("01WRDD1,63\r\n"), text("01WRDD64,01\r\n"), text("01BRDM1,001\r\n"),
      text("01BRDM173,001\r\n"), text("02WRDD1,01\r\n")}},
    {"Binary",
     plcsim::Form::Binary,
     "BINARY",
     {
         // command, CPU, length 8, device code, address number, count
         {0x11, 0x01, 0x00, 0x08, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01, 0x00, 0x3F},  // D1, 63
         {0x11, 0x01, 0x00, 0x08, 0x00, 0x04, 0x00, 0x00, 0x00, 0x40, 0x00, 0x01},  // D64, 1
         {0x01, 0x01, 0x00, 0x08, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x01, 0x00, 0xAC},  // M1, 172
         {0x11, 0x02, 0x00, 0x08, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01},  // 2D1, 1
     },
     {
         {0x11, 0x01, 0x00, 0x08, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01, 0x00, 0x3F},  // D1, 63
         {0x11, 0x01, 0x00, 0x08, 0x00, 0x04, 0x00, 0x00, 0x00, 0x40, 0x00, 0x01},  // D64, 1
         {0x01, 0x01, 0x00, 0x08, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01},  // M1, 1
         {0x01, 0x01, 0x00, 0x08, 0x00, 0x0D, 0x00, 0x00, 0x00, 0xAD, 0x00, 0x01},  // M173, 1
         {0x11, 0x02, 0x00, 0x08, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01},  // 2D1, 1
     }},
};

class Grouping : public ServerTest, public testing::WithParamInterface<GroupingCase> {
protected:
    void SetUp() override
    {
        const unsigned port = simulator.start();
        simulator.setForm(GetParam().form);
        startServing(iniSection("PLC1", port, GetParam().mode));
    }

    // Changes the items while the module holds its answers back, then starts a fresh record.
    void quietly(DdeClient& client, const std::vector<std::string>& lines)
    {
        runQuietly(simulator, client, lines, 8000);
        simulator.clearDatagrams();
    }

    plcsim::Simulator simulator;
};

TEST_P(Grouping, NeighboursShareOneCommandWithinTheLimitsOfTheirDevice)
{
    DdeClient client("PLC1");
    std::vector<std::string> lines = {"advise M1,B", "advise M172,B", "advise 2D1,W"};
    for (int address = 1; address <= 64; ++address)
        lines.push_back("advise D" + std::to_string(address) + ",W");
    quietly(client, lines);
    ASSERT_TRUE(server.waitForLine(msg::registered(67))) << server.transcript();

    const std::vector<Bytes> pass = nextPass(simulator, GetParam().pass.front(), 4);
    EXPECT_EQ(pass, GetParam().pass) << "commands:" << describe(pass);

    // M173 lies one bit too far from M1 for one command.
    quietly(client, {"unadvise M172,B", "advise M173,B"});
    const std::vector<Bytes> apart = nextPass(simulator, GetParam().passApart.front(), 5);
    EXPECT_EQ(apart, GetParam().passApart) << "commands:" << describe(apart);
}

INSTANTIATE_TEST_SUITE_P(Forms, Grouping, testing::ValuesIn(groupings),
                         [](const testing::TestParamInfo<GroupingCase>& info) {
                             return std::string(info.param.name);
                         });

// 501 ticks of the 20 ms timer are about 10 s. Ticks can be late, never early.
constexpr milliseconds retryInterval{10000};
constexpr milliseconds shortestRetry{8000};

using LinkRetries = ServerTest;

TEST_F(LinkRetries, UnreadableAddressAndSilentModuleAreTriedAgainEvery501Ticks)
{
    // A module that never answers, found out in AUTO mode by probing.
    plcsim::Simulator quiet;
    const unsigned port = quiet.start();
    quiet.addFault(plcsim::Fault::silent());
    startServing("[UNREADABLE]\r\nIP=192.168.0.300\r\nMODE=ASCII\r\n" +
                 iniSection("QUIET", port, "AUTO"));

    // The address is not an IPv4 address: connect fails at the first tick, with the system's
    // text of the socket error, and again 501 ticks later.
    const std::regex refused("warning\t: UNREADABLE \\S.*");
    const auto first = server.waitForLineMatching(refused);
    ASSERT_TRUE(first) << server.transcript();
    const auto firstAt = Clock::now();
    const auto second = server.waitForLineMatching(refused, retryInterval * 2, *first + 1);
    ASSERT_TRUE(second) << server.transcript();
    EXPECT_GE(Clock::now() - firstAt, shortestRetry);

    // The silent module: a probe at once, 224 after 501 ticks without a reply, and a new probe.
    const auto noReply = server.waitForLine(msg::notAnFam3("QUIET"), retryInterval * 2);
    ASSERT_TRUE(noReply) << server.transcript();
    ASSERT_TRUE(server.waitForLine(msg::notAnFam3("QUIET"), retryInterval * 2, *noReply + 1))
        << server.transcript();
    ASSERT_TRUE(quiet.waitForDatagrams(3, milliseconds(5000)));
    const std::vector<plcsim::Datagram> probes = quiet.datagrams();
    const Bytes probe = {0x51, 0x01, 0x00, 0x02, 0x0D, 0x0A};
    for (size_t i = 0; i < probes.size(); ++i) {
        EXPECT_EQ(probes[i].bytes, probe) << plcsim::describeBytes(probes[i].bytes);
        if (i > 0) {
            EXPECT_GE(probes[i].received - probes[i - 1].received, shortestRetry);
        }
    }
    // No read command ever went out, so nothing timed out.
    EXPECT_EQ(server.count(msg::timeOut("QUIET")), 0u) << server.transcript();
}

using LinkStateItem = ServerTest;

TEST_F(LinkStateItem, SystemTopicShowsTheModuleGoingSilentAndComingBack)
{
    plcsim::Simulator module;
    const unsigned port = module.start();
    module.setWord(1, "D", 1, 5);
    startServing(iniSection("PLC1", port, "AUTO"));
    ASSERT_TRUE(server.waitForLine(msg::asciiStarted("PLC1"))) << server.transcript();
    DdeClient system("SYSTEM");
    EXPECT_EQ(system.request("PLC1"), "ASCII");
    ASSERT_EQ(system.command("advise PLC1"), "ok");
    DdeClient plc("PLC1");
    runQuietly(module, plc, {"advise D1,W"});
    ASSERT_TRUE(plc.waitForEvent("update D1,W 5")) << plc.transcript();

    module.addFault(plcsim::Fault::silent());
    EXPECT_TRUE(system.waitForEvent("update PLC1 NO ANSWER", milliseconds(25000)))
        << system.transcript() << server.transcript();
    EXPECT_TRUE(plc.waitForEvent("update D1,W #TMOUT")) << plc.transcript();
    module.clearFaults();
    // The probe that follows the time-out may have gone unanswered: the next one comes 501
    // ticks later.
    EXPECT_TRUE(system.waitForEvent("update PLC1 ASCII", milliseconds(30000)))
        << system.transcript() << server.transcript();
    EXPECT_TRUE(plc.waitForEvent("update D1,W 5", answerTimeout, 2)) << plc.transcript();
}

using LateAnswer = ServerTest;

TEST_F(LateAnswer, EveryItemShowsItsOwnValueAgainAfterIt)
{
    // Two stretches whose answers have the same length: without a guard, an answer that comes
    // after its command timed out would be taken for the next command's, and every answer
    // after it for the command after its own.
    plcsim::Simulator simulator;
    const unsigned port = simulator.start();
    simulator.setWord(1, "D", 1, 111);
    simulator.setWord(1, "D", 100, 222);
    startServing(iniSection("PLC1", port));
    DdeClient client("PLC1");
    runQuietly(simulator, client, {"advise D1,W", "advise D100,W"});
    ASSERT_TRUE(client.waitForEvent("update D1,W 111")) << client.transcript();
    ASSERT_TRUE(client.waitForEvent("update D100,W 222")) << client.transcript();

    // The next answer for D1 comes 11 s late, after the link's time-out.
    simulator.clearDatagrams();
    simulator.addFault(plcsim::Fault::delay(11000, 1).at("D1"));
    ASSERT_TRUE(server.waitForLine(msg::timeOut("PLC1"), milliseconds(25000)))
        << server.transcript();
    EXPECT_TRUE(client.waitForEvent("update D1,W #TMOUT")) << client.transcript();

    // Let the late answer arrive and the link make a few passes after it.
    Clock::time_point due{};
    for (const plcsim::Datagram& datagram : simulator.datagrams()) {
        if (datagram.delayMs > 0)
            due = datagram.received + milliseconds(datagram.delayMs);
    }
    ASSERT_NE(due, Clock::time_point{}) << "no answer was held back";
    std::this_thread::sleep_until(due + milliseconds(2000));
    for (int look = 0; look < 3; ++look) {
        EXPECT_EQ(client.request("D1,W"), "111");
        EXPECT_EQ(client.request("D100,W"), "222");
        std::this_thread::sleep_for(milliseconds(500));
    }
}

}  // namespace
}  // namespace e2e
