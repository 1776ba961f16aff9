// Values read from a simulated FA-M3 module on 127.0.0.1, through KOMVAS.exe, to DDE clients.
#include <chrono>
#include <memory>
#include <thread>

#include "tests/e2e/support/fixture.h"
#include "tests/e2e/support/quiet_module.h"
#include "tools/plcsim/plcsim.h"

namespace e2e {
namespace {

struct FormCase {
    const char* name;
    plcsim::Form form;                         // what the module speaks
    const char* mode;                          // MODE of the section
    std::string (*found)(const std::string&);  // AUTO mode: what the probe's reply makes the
                                               // link log (225, 226)
};

const FormCase forms[] = {
    {"Ascii", plcsim::Form::Ascii, "ASCII", nullptr},
    {"Binary", plcsim::Form::Binary, "BINARY", nullptr},
    {"AutoFindsAscii", plcsim::Form::Ascii, "AUTO", msg::asciiStarted},
    {"AutoFindsBinary", plcsim::Form::Binary, "AUTO", msg::binaryStarted},
};

// Starts advise loops on several items of one client while the module holds its answers back.
void adviseQuietly(plcsim::Simulator& simulator, DdeClient& client,
                   std::initializer_list<const char*> items)
{
    std::vector<std::string> lines;
    for (const char* item : items)
        lines.push_back(std::string("advise ") + item);
    runQuietly(simulator, client, lines);
}

class PlcValues : public ServerTest, public testing::WithParamInterface<FormCase> {
protected:
    void SetUp() override
    {
        simulator = std::make_unique<plcsim::Simulator>(GetParam().form);
        const unsigned port = simulator->start();
        simulator->setWord(1, "D", 100, 1234);
        simulator->setBit(1, "M", 1, true);
        startServing(iniSection("PLC1", port, GetParam().mode));
        if (GetParam().found) {
            ASSERT_TRUE(server.waitForLine(GetParam().found("PLC1"))) << server.transcript();
        }
    }

    std::unique_ptr<plcsim::Simulator> simulator;
};

TEST_P(PlcValues, AdvisedValuesArriveAndFollowChanges)
{
    DdeClient client("PLC1");
    adviseQuietly(*simulator, client, {"D100,W", "M1,B"});
    EXPECT_TRUE(client.waitForEvent("update D100,W 1234")) << client.transcript();
    EXPECT_TRUE(client.waitForEvent("update M1,B 1")) << client.transcript();

    simulator->setWord(1, "D", 100, 0xFFFF);  // W is a signed 16-bit word
    simulator->setBit(1, "M", 1, false);
    EXPECT_TRUE(client.waitForEvent("update D100,W -1")) << client.transcript();
    EXPECT_TRUE(client.waitForEvent("update M1,B 0")) << client.transcript();
    EXPECT_EQ(client.request("D100,W"), "-1");
    EXPECT_EQ(client.request("M1,B"), "0");
}

TEST_P(PlcValues, ErrorAnswerShowsThePlcsCodeUntilTheAnswersAreGoodAgain)
{
    DdeClient client("PLC1");
    ASSERT_EQ(client.command("advise D100,W"), "ok");
    ASSERT_TRUE(client.waitForEvent("update D100,W 1234")) << client.transcript();

    simulator->addFault(plcsim::Fault::error(0x41).at("D100"));
    EXPECT_TRUE(client.waitForEvent("update D100,W #ERR 65")) << client.transcript();
    // The value is the one held before the error, and shows again.
    simulator->clearFaults();
    EXPECT_TRUE(client.waitForEvent("update D100,W 1234", answerTimeout, 2)) << client.transcript();
}

TEST_P(PlcValues, AnswerTheLinkCannotReadShowsMinusThree)
{
    DdeClient client("PLC1");
    ASSERT_EQ(client.command("advise D100,W"), "ok");
    ASSERT_TRUE(client.waitForEvent("update D100,W 1234")) << client.transcript();
    simulator->addFault(plcsim::Fault::garbage());
    EXPECT_TRUE(client.waitForEvent("update D100,W #ERR -3")) << client.transcript();
}

INSTANTIATE_TEST_SUITE_P(Forms, PlcValues, testing::ValuesIn(forms),
                         [](const testing::TestParamInfo<FormCase>& info) {
                             return std::string(info.param.name);
                         });

class PlcValue : public ServerTest {
protected:
    void SetUp() override
    {
        const unsigned port = simulator.start();
        simulator.setWord(1, "D", 100, 1234);
        startServing(iniSection("PLC1", port));
    }
    plcsim::Simulator simulator{plcsim::Form::Ascii};
};

TEST_F(PlcValue, EveryTypeShowsItsValueInItsWordOrder)
{
    // The simulator lays the values out in the registers (or points) by its own code; the
    // server must read them back in each type's word order.
    simulator.assign("D200:F=3.14159265");        // first register low
    simulator.assign("D210:FLOAT=-2.5");          // first register high
    simulator.assign("D220:DOUBLE=1234567");      // first register most significant
    simulator.assign("D230:L=305419896");         // 12345678h, first register low
    simulator.assign("D240:LONG=-7");             // first register high
    simulator.assign("D250:TEXT=KOMVAS");         // two characters a register
    simulator.assign("D260:F=16777216");          // 6 significant digits
    simulator.setBit(1, "M", 116, true);          // the 16th point of M101,W: the sign bit
    simulator.setBit(1, "X", 201, true);          // X00201: unit 0, slot 2, terminal 1
    simulator.assign("W10001:LONG=-2147483648");  // unit 1, point 1
    DdeClient client("PLC1");
    adviseQuietly(simulator, client,
                  {"D200,F", "D210,FLOAT", "D220,DOUBLE", "D230,L", "D240,LONG", "D250,C6",
                   "D260,F", "M101,W", "X00201,B", "W10001,LONG"});

    const std::pair<const char*, const char*> expected[] = {
        {"D200,F", "3.14159"},          {"D210,FLOAT", "-2.5"}, {"D220,DOUBLE", "1.23457e+06"},
        {"D230,L", "305419896"},        {"D240,LONG", "-7"},    {"D250,C6", "KOMVAS"},
        {"D260,F", "1.67772e+07"},      {"M101,W", "-32768"},   {"X00201,B", "1"},
        {"W10001,LONG", "-2147483648"},
    };
    for (const auto& [item, text] : expected) {
        EXPECT_TRUE(client.waitForEvent(std::string("update ") + item + " " + text))
            << client.transcript();
    }
}

TEST_F(PlcValue, TwoClientsOfOneItemBothHoldItsValue)
{
    // Wine's DDEML may drop either client's update when two clients advise one item (it puts
    // one item atom into every client's message): ask each client for what it can read
    // instead of waiting for every update.
    DdeClient first("PLC1");
    DdeClient second("PLC1");
    ASSERT_EQ(first.command("advise D100,W"), "ok");
    ASSERT_TRUE(first.waitForEvent("update D100,W 1234")) << first.transcript();
    ASSERT_EQ(second.command("advise D100,W"), "ok");
    simulator.setWord(1, "D", 100, 4321);
    const auto end = std::chrono::steady_clock::now() + answerTimeout;
    while (first.request("D100,W") != "4321" && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(milliseconds(200));
    EXPECT_EQ(first.request("D100,W"), "4321") << first.transcript();
    EXPECT_EQ(second.request("D100,W"), "4321") << second.transcript();
    EXPECT_EQ(server.count(msg::registered(1)), 1u) << server.transcript();
}

TEST_F(PlcValue, SilentModuleTimesOutAndTheValueComesBackWithTheAnswers)
{
    DdeClient client("PLC1");
    ASSERT_EQ(client.command("advise D100,W"), "ok");
    ASSERT_TRUE(client.waitForEvent("update D100,W 1234")) << client.transcript();

    simulator.addFault(plcsim::Fault::silent());
    EXPECT_TRUE(server.waitForLine(msg::timeOut("PLC1"), milliseconds(25000)))
        << server.transcript();
    EXPECT_TRUE(client.waitForEvent("update D100,W #TMOUT")) << client.transcript();
    simulator.clearFaults();
    EXPECT_TRUE(client.waitForEvent("update D100,W 1234", answerTimeout, 2)) << client.transcript();
}

}  // namespace
}  // namespace e2e
