// Advise updates that stay true under load: every client gets its own topic's values, two
// clients of one item both get every item's value, and updates keep coming past the 65,536
// memory blocks that Wine's DDEML can leave behind in a process. The server steps around Wine's
// defects where Wine runs; these tests drive the same DdePostAdvise path that Windows users run.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "tests/e2e/support/fixture.h"
#include "tests/e2e/support/long_run.h"
#include "tests/e2e/support/quiet_module.h"
#include "tools/plcsim/plcsim.h"

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

// The values of one item in the client's update lines, in order; "" for an update whose value
// is not a number.
std::vector<std::string> valuesOf(const DdeClient& client, const std::string& item)
{
    std::vector<std::string> values;
    const std::string prefix = "update " + item + " ";
    for (const std::string& event : client.events())
        if (event.rfind(prefix, 0) == 0)
            values.push_back(event.substr(prefix.size()));
    return values;
}

long number(const std::string& text)
{
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    return (text.empty() || *end != '\0') ? -999999 : value;
}

// Waits until `done` holds or the bound passes.
template <class Done>
bool eventually(Done done, milliseconds bound = answerTimeout)
{
    const Clock::time_point end = Clock::now() + bound;
    while (!done() && Clock::now() < end)
        std::this_thread::sleep_for(milliseconds(200));
    return done();
}

plcsim::Demo everyRead(const std::string& location, int step)
{
    return plcsim::parseDemo(plcsim::DemoKind::Counter,
                             location + "," + std::to_string(step) + ",per-read");
}

class Advise : public ServerTest { };

TEST_F(Advise, EachTopicsClientSeesOnlyItsOwnTopicsValues)
{
    // Two lines with the same PLC program: the same item on both topics.
    plcsim::Simulator line1(plcsim::Form::Binary), line2(plcsim::Form::Binary);
    const unsigned port1 = line1.start(), port2 = line2.start();
    line2.setWord(1, "D", 100, 2222);
    startServing(iniSection("LINE1", port1, "BINARY") + iniSection("LINE2", port2, "BINARY"));
    DdeClient first("LINE1");
    DdeClient second("LINE2");
    line2.addFault(plcsim::Fault::delay(3000));
    runQuietly(line1, first, {"advise D100,W"});
    EXPECT_EQ(second.command("advise D100,W"), "ok");
    line2.clearFaults();
    ASSERT_TRUE(second.waitForEvent("update D100,W 2222")) << second.transcript();

    line1.addDemo(everyRead("D100", 1));
    ASSERT_TRUE(eventually([&] { return valuesOf(first, "D100,W").size() >= 100; }))
        << first.transcript();
    line1.clearDemos();
    settle();

    EXPECT_EQ(valuesOf(second, "D100,W"), std::vector<std::string>{"2222"})
        << "LINE2's client got LINE1's values\n"
        << second.transcript();
    const std::vector<std::string> own = valuesOf(first, "D100,W");
    for (size_t i = 1; i < own.size(); ++i)
        ASSERT_EQ(number(own[i]), number(own[i - 1]) + 1)
            << "LINE1's client missed a change at update " << i << "\n"
            << first.transcript();
}

TEST_F(Advise, TwoClientsOfTheSameItemsBothGetEveryItemsValue)
{
    plcsim::Simulator module(plcsim::Form::Binary);
    const unsigned port = module.start();
    startServing(iniSection("PLC1", port, "BINARY"));
    DdeClient first("PLC1"), second("PLC1");
    std::vector<std::string> items;
    for (int i = 1; i <= 10; ++i) {
        items.push_back("D" + std::to_string(i) + ",W");
        module.setWord(1, "D", i, uint16_t(i));
    }
    module.addFault(plcsim::Fault::delay(5000));
    for (DdeClient* client : {&first, &second})
        for (const std::string& item : items)
            ASSERT_EQ(client->command("advise " + item), "ok") << item;
    module.clearFaults();

    // Every item changes on every read, each by steps of 64 from its own number: a value under
    // the wrong item shows in its low six bits.
    for (int i = 1; i <= 10; ++i)
        module.addDemo(everyRead("D" + std::to_string(i), 64));
    std::this_thread::sleep_for(std::chrono::seconds(10));
    module.clearDemos();

    for (const DdeClient* client : {&first, &second}) {
        for (int i = 1; i <= 10; ++i) {
            const std::string& item = items[i - 1];
            const std::string final = std::to_string(int16_t(module.word(1, "D", i)));
            EXPECT_TRUE(eventually([&] {
                const std::vector<std::string> values = valuesOf(*client, item);
                return !values.empty() && values.back() == final;
            })) << item
                << " ends at " << final << "\n"
                << client->transcript();
            const std::vector<std::string> values = valuesOf(*client, item);
            EXPECT_GT(values.size(), 50u) << item;
            for (const std::string& value : values) {
                const long n = number(value);
                ASSERT_EQ(((n % 65536 + 65536) % 65536) % 64, i)
                    << "'" << value << "' under " << item << "\n"
                    << client->transcript();
            }
        }
    }
}

// Unicode clients ask for CF_UNICODETEXT (format 13); the client tool prints it as the same
// ANSI text as CF_TEXT, so a wrong conversion shows as other characters. The server runs with
// the Japanese ANSI code page (932), like the module's text.
TEST_F(Advise, UnicodeClientsGetTheSameTextOnPlcTopicsAndOnSystem)
{
    plcsim::Simulator module(plcsim::Form::Binary);
    const unsigned port = module.start();
    module.setWord(1, "D", 100, 0x1234);
    module.assign("D300:TEXT=\x89\xB7\x93\x78");  // 温度 in CP932
    startServing(iniSection("PLC1", port, "BINARY"));
    DdeClient system("SYSTEM");
    EXPECT_EQ(system.command("request Topics 13"), "data Topics SYSTEM\tPLC1");
    ASSERT_EQ(system.command("advise PLC1 13"), "ok");

    DdeClient client("PLC1");
    EXPECT_EQ(client.command("request D100,W 13"), "data D100,W #NOTHING");
    runQuietly(module, client, {"advise D100,W 13", "advise D300,C4 13"});
    EXPECT_TRUE(client.waitForEvent("update D100,W 4660")) << client.transcript();
    EXPECT_TRUE(client.waitForEvent("update D300,C4 温度")) << client.transcript();
    EXPECT_TRUE(system.waitForEvent("update PLC1 BINARY")) << system.transcript();
    EXPECT_EQ(client.command("request D300,C4 13"), "data D300,C4 温度");
    EXPECT_EQ(client.command("request D300,C4"), "data D300,C4 温度");
    EXPECT_EQ(system.command("request PLC1 13"), "data PLC1 BINARY");
    module.setWord(1, "D", 100, 0x4321);
    EXPECT_TRUE(client.waitForEvent("update D100,W 17185")) << client.transcript();
}

TEST_F(Advise, LoopsInBothTextFormatsOnOneItemEachGetEveryChange)
{
    plcsim::Simulator module(plcsim::Form::Binary);
    const unsigned port = module.start();
    module.setWord(1, "D", 100, 1);
    startServing(iniSection("PLC1", port, "BINARY"));
    DdeClient both("PLC1"), unicode("PLC1");
    runQuietly(module, both, {"advise D100,W", "advise D100,W 13"});
    runQuietly(module, unicode, {"advise D100,W 13"});
    module.setWord(1, "D", 100, 4660);
    EXPECT_TRUE(both.waitForEvent("update D100,W 4660", answerTimeout, 2)) << both.transcript();
    EXPECT_TRUE(unicode.waitForEvent("update D100,W 4660")) << unicode.transcript();

    // The conversation still advises the item in CF_UNICODETEXT: the item stays.
    EXPECT_EQ(both.command("unadvise D100,W"), "ok");
    EXPECT_EQ(unicode.command("unadvise D100,W 13"), "ok");
    module.setWord(1, "D", 100, 17185);
    EXPECT_TRUE(both.waitForEvent("update D100,W 17185")) << both.transcript();
    EXPECT_EQ(both.command("unadvise D100,W 13"), "ok");
    EXPECT_TRUE(server.waitForLine(msg::deleted(0))) << server.transcript();
    settle();
    EXPECT_EQ(server.count(msg::registered(1)), 1u) << server.transcript();
    EXPECT_EQ(server.waitForLine(msg::registered(2), milliseconds(0)), std::nullopt)
        << server.transcript();
    const std::vector<std::string> values = valuesOf(both, "D100,W");
    EXPECT_EQ(std::count(values.begin(), values.end(), "17185"), 1) << both.transcript();
}

TEST(AdviseLongRun, UpdatesKeepComingPastTheWallOf65536AndTheServerStillStops)
{
    LongRunOptions options;
    options.updates = 80000;
    const LongRunResult run = runLongRun(options);
    EXPECT_EQ(run.failure, "") << run.serverTranscript;
    EXPECT_GE(run.updates, options.updates);
    EXPECT_EQ(run.bad, 0u) << "first: " << run.firstBad;
    EXPECT_TRUE(run.stoppedOnEnd) << run.serverTranscript;
}

}  // namespace
}  // namespace e2e
