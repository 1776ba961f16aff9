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

TEST_F(Topics, SystemTopicAnswersItsItemsInAnyLetterCaseAndRefusesOthers)
{
    // LINE2's module address cannot be read: its link fails to connect at once.
    startServing(section("PLC1") + "[LINE2]\r\nIP=192.168.0.300\r\n");
    DdeClient client("SYSTEM");
    const std::pair<const char*, const char*> items[] = {
        {"Topics", "SYSTEM\tPLC1\tLINE2"},
        {"topics", "SYSTEM\tPLC1\tLINE2"},
        {"SysItems", "SysItems\tTopics\tFormats\tStatus\tStatistics\tPLC1\tLINE2"},
        {"FORMATS", "TEXT\tUNICODETEXT"},
        {"Status", "Ready"},
        {"PLC1", "STARTING"},  // ASCII mode without items sends nothing: no answer yet
        {"line2", "UNREACHABLE"},
    };
    for (const auto& [item, text] : items)
        EXPECT_EQ(client.request(item), text) << item << "\n" << client.transcript();
    EXPECT_EQ(client.command("advise Status"), "ok");
    EXPECT_EQ(client.command("advise plc1"), "ok");
    EXPECT_EQ(client.command("unadvise Status"), "ok");

    EXPECT_EQ(client.request("D100,W"), std::nullopt);
    EXPECT_EQ(client.request("Status 2"), std::nullopt) << "CF_BITMAP";
    EXPECT_EQ(firstWord(client.command("advise D100,W")), "refused");
    EXPECT_EQ(firstWord(client.command("advise Topics 2")), "refused") << "CF_BITMAP";
    settle();
    EXPECT_EQ(server.count(msg::registered(1)), 0u) << server.transcript();
    EXPECT_EQ(server.waitForLineContaining("D100", milliseconds(0)), std::nullopt)
        << "no message for an item the System topic does not have\n"
        << server.transcript();

    const ToolResult topics = runTool({"topics"});
    EXPECT_EQ(topics.exitCode, 0);
    EXPECT_EQ(topics.out, (std::vector<std::string>{"SYSTEM", "PLC1", "LINE2"}));
    stopWithEnd();
}

TEST_F(Topics, PlcNamedSystemInAnotherCaseServesItemsAndStillTakesEnd)
{
    // "System" passes the name test (only SYSTEM itself is refused), but its topic handle is
    // the SYSTEM topic's: execute goes to the system command, everything else to the PLC.
    startServing(section("System"));
    DdeClient client("SYSTEM");
    EXPECT_EQ(client.command("advise D100,W"), "ok");
    EXPECT_EQ(client.request("D100,W"), "#EMPTY");
    EXPECT_EQ(client.request("Topics"), "#NOTHING") << "the PLC's topic has no System items";
    EXPECT_TRUE(server.waitForLine(msg::registered(1))) << server.transcript();
    EXPECT_EQ(client.command("execute END"), "ok");
    EXPECT_EQ(server.waitExit(), 0) << server.transcript();
}

}  // namespace
}  // namespace e2e
