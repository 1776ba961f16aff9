// Which topics the service serves, and what the SYSTEM topic answers.
#include "tests/e2e/support/fixture.h"

namespace e2e {
namespace {

using Topics = ServerTest;

TEST_F(Topics, UnconfiguredTopicIsRefusedConfiguredOnesAndSystemAcceptedInAnyCase)
{
    startServing(section("PLC1") + section("LINE2"));
    DdeClient client;
    EXPECT_EQ(firstWord(client.connect("PLC9")), "refused");
    EXPECT_EQ(firstWord(client.connect("PLC")), "refused");
    for (const char* topic : {"system", "SYSTEM", "plc1", "Line2"}) {
        EXPECT_EQ(client.connect(topic), "ok") << topic << "\n" << client.transcript();
        EXPECT_EQ(client.command("disconnect"), "ok");
    }
}

TEST_F(Topics, SystemTopicGivesNoDataAndTakesNoAdviseLoops)
{
    startServing(section("PLC1"));
    DdeClient client("SYSTEM");
    EXPECT_EQ(client.request("D100,W"), std::nullopt);
    EXPECT_EQ(client.request("Topics"), std::nullopt);
    EXPECT_EQ(firstWord(client.command("advise D100,W")), "refused");
    settle();
    EXPECT_EQ(server.count(msg::registered(1)), 0u) << server.transcript();
    EXPECT_TRUE(server.running());
}

TEST_F(Topics, PlcNamedSystemInAnotherCaseServesItemsAndStillTakesEnd)
{
    // "System" passes the name test (only SYSTEM itself is refused), but its topic handle is
    // the SYSTEM topic's: execute goes to the system command, everything else to the PLC.
    startServing(section("System"));
    DdeClient client("SYSTEM");
    EXPECT_EQ(client.command("advise D100,W"), "ok");
    EXPECT_EQ(client.request("D100,W"), "#EMPTY");
    EXPECT_TRUE(server.waitForLine(msg::registered(1))) << server.transcript();
    EXPECT_EQ(client.command("execute END"), "ok");
    EXPECT_EQ(server.waitExit(), 0) << server.transcript();
}

}  // namespace
}  // namespace e2e
