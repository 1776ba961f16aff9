// Stopping the server: END on the SYSTEM topic, CTRL+C, and commands that must not stop it.
#include <signal.h>

#include "tests/e2e/support/fixture.h"

namespace e2e {
namespace {

class StopByEnd : public ServerTest, public testing::WithParamInterface<const char*> { };

TEST_P(StopByEnd, OnTheSystemTopicEndsWithZero)
{
    startServing(section("PLC1"));
    const ToolResult end = runTool({"--topic", "SYSTEM", "execute", GetParam()});
    EXPECT_EQ(end.exitCode, 0) << (end.err.empty() ? "" : end.err[0]);
    EXPECT_EQ(server.waitExit(), 0) << server.transcript();
    ASSERT_FALSE(server.texts().empty());
    EXPECT_EQ(server.texts().back(), msg::ended(0)) << server.transcript();
}

INSTANTIATE_TEST_SUITE_P(AnyLetterCase, StopByEnd, testing::Values("END", "end"));

using Stop = ServerTest;

TEST_F(Stop, InterruptEndsWithZero)
{
    startServing(section("PLC1"));
    server.interrupt();
    EXPECT_EQ(server.waitExit(), 0) << server.transcript();
    ASSERT_FALSE(server.texts().empty());
    EXPECT_EQ(server.texts().back(), msg::ended(0)) << server.transcript();
}

TEST_F(Stop, EndOnAPlcTopicAndNearMissesOnSystemAreRefusedAndChangeNothing)
{
    startServing(section("PLC1"));
    {
        DdeClient plcClient("PLC1");
        EXPECT_EQ(firstWord(plcClient.command("execute END")), "refused");
    }
    DdeClient client("SYSTEM");
    // The script sends the rest of its line after "execute ", blanks and all.
    for (const char* command : {" END", "END ", "[END]", "ENDE", "EN", "END\t", ""})
        EXPECT_EQ(firstWord(client.command(std::string("execute ") + command)), "refused")
            << "command '" << command << "'";
    // A line break after END is no END either.
    const ToolResult withBreak = runTool({"--topic", "SYSTEM", "execute", "END\r\n"});
    EXPECT_EQ(withBreak.exitCode, 6);

    EXPECT_EQ(client.command("wait 300"), "ok");
    EXPECT_TRUE(server.running());
    EXPECT_EQ(server.count(msg::ended(0)), 0u) << server.transcript();
    DdeClient later("PLC1");
    EXPECT_EQ(later.request("D100,W"), "#NOTHING");
}

TEST_F(Stop, StopWhileClientsAdviseDeletesEveryItemAfterTheEndMessage)
{
    startServing(section("PLC1"));
    DdeClient first("PLC1");
    DdeClient second("PLC1");
    ASSERT_EQ(first.command("advise D100,W"), "ok");
    ASSERT_EQ(first.command("advise D200,W"), "ok");
    ASSERT_EQ(second.command("advise D300,W"), "ok");
    ASSERT_TRUE(server.waitForLine(msg::registered(3)));

    stopWithEnd();
    const std::vector<std::string> texts = server.texts();
    const auto end = std::find(texts.begin(), texts.end(), msg::ended(0));
    ASSERT_NE(end, texts.end()) << server.transcript();
    EXPECT_EQ(std::vector<std::string>(end, texts.end()),
              (std::vector<std::string>{msg::ended(0), msg::deleted(2), msg::deleted(1),
                                        msg::deleted(0)}))
        << server.transcript();
    // The clients learn that the conversation is over.
    EXPECT_TRUE(first.waitForEvent("disconnected")) << first.transcript();
    EXPECT_TRUE(second.waitForEvent("disconnected")) << second.transcript();
}

}  // namespace
}  // namespace e2e
