// komvas-dde.exe, the console client that users check the server with: its exit codes, its
// output, and a clean end of its advise loops.
#include <signal.h>

#include <regex>

#include "tests/e2e/support/fixture.h"
#include "tools/plcsim/plcsim.h"

namespace e2e {
namespace {

// komvas-dde's exit codes.
constexpr int ok = 0;
constexpr int badArguments = 2;
constexpr int noConnection = 3;
constexpr int noData = 4;
constexpr int adviseRefused = 5;
constexpr int executeRefused = 6;

TEST(ClientTool, HelpPrintsTheUsageAndSucceeds)
{
    const ToolResult help = runTool({"--help"});
    EXPECT_EQ(help.exitCode, ok);
    ASSERT_FALSE(help.out.empty());
    EXPECT_EQ(help.out[0].rfind("usage: komvas-dde", 0), 0u) << help.out[0];
}

// The program's side of a refused command line; which lines are refused is tested natively
// (tests/ddeclient).
TEST(ClientTool, BadArgumentsAreRefusedWithAReasonTheUsageLineAndExitCodeTwo)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--topic", "PLC1", "poke", "D1,W"},
        {"--topic=PLC1", "advise", "D1,W", "--format", "0"},
    };
    for (const std::vector<std::string>& args : cases) {
        std::string shown;
        for (const std::string& arg : args)
            shown += " '" + arg + "'";
        const ToolResult result = runTool(args);
        EXPECT_EQ(result.exitCode, badArguments) << shown;
        ASSERT_EQ(result.err.size(), 2u) << shown;
        EXPECT_EQ(result.err[0].rfind("komvas-dde: ", 0), 0u) << result.err[0];
        EXPECT_EQ(result.err[1].rfind("usage: komvas-dde ", 0), 0u) << result.err[1];
        EXPECT_TRUE(result.out.empty()) << shown;
    }
}

TEST(ClientTool, NoServerForTheServiceMeansNoConnection)
{
    const ToolResult result =
        runTool({"--service", "KOMVAS_E2E_NOBODY", "--topic", "PLC1", "request", "D1,W"});
    EXPECT_EQ(result.exitCode, noConnection);
    ASSERT_EQ(result.err.size(), 1u);
    EXPECT_NE(result.err[0].find("no connection to KOMVAS_E2E_NOBODY|PLC1"), std::string::npos)
        << result.err[0];
}

TEST_F(ServerTest, TopicsAndStatusSaySoWhenTheSystemTopicDoesNotAnswerThem)
{
    // A PLC named System takes the system topic: Topics and Statistics are then items nobody
    // advises.
    startServing(section("System"));
    for (const char* command : {"topics", "status"}) {
        const ToolResult result = runTool({command});
        EXPECT_EQ(result.exitCode, noData) << command;
        EXPECT_TRUE(result.out.empty()) << command;
        ASSERT_EQ(result.err.size(), 1u) << command;
        EXPECT_NE(result.err[0].find(std::string("does not answer the ") +
                                     (command == std::string("topics") ? "Topics" : "Statistics") +
                                     " item"),
                  std::string::npos)
            << result.err[0];
    }
}

class ClientToolOnServer : public ServerTest {
protected:
    void SetUp() override { startServing(section("PLC1")); }
};

TEST_F(ClientToolOnServer, EachRefusalHasItsOwnExitCode)
{
    EXPECT_EQ(runTool({"--topic", "PLC9", "request", "D1,W"}).exitCode, noConnection);
    EXPECT_EQ(runTool({"--topic", "SYSTEM", "request", "D1,W"}).exitCode, noData);
    EXPECT_EQ(runTool({"--topic", "PLC1", "advise", "5D1,W", "--seconds", "1"}).exitCode,
              adviseRefused);
    EXPECT_EQ(runTool({"--topic", "PLC1", "execute", "END"}).exitCode, executeRefused);
    EXPECT_TRUE(server.running());
}

TEST_F(ClientToolOnServer, RequestPrintsTheValueAloneOnItsLine)
{
    const ToolResult result = runTool({"--topic", "PLC1", "request", "D1,W"});
    EXPECT_EQ(result.exitCode, ok);
    EXPECT_EQ(result.out, std::vector<std::string>{"#NOTHING"});
    EXPECT_TRUE(result.err.empty());
}

TEST_F(ClientToolOnServer, AdviseOfSeveralItemsStopsEveryLoopWhenTheTimeIsUp)
{
    const ToolResult result =
        runTool({"--topic", "PLC1", "advise", "D100,W", "d200,w", "--seconds", "1"});
    EXPECT_EQ(result.exitCode, ok);
    const std::regex stamp(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )");
    ASSERT_EQ(result.out.size(), 2u);
    EXPECT_TRUE(std::regex_search(result.out[0], stamp)) << result.out[0];
    EXPECT_EQ(result.out[0].substr(24), "D100,W #EMPTY");
    EXPECT_EQ(result.out[1].substr(24), "d200,w #EMPTY");
    EXPECT_TRUE(server.waitForLine(msg::deleted(0))) << server.transcript();
    settle();
    EXPECT_EQ(server.count(msg::registered(2)), 1u) << server.transcript();
    EXPECT_EQ(server.count(msg::deleted(1)), 1u) << server.transcript();
}

// Updates of the loops already started keep arriving while the next ones start and while they
// stop: every advise start is accepted and every item shows values.
TEST_F(ServerTest, AdviseStartsAmidChangingValuesAreAllAcceptedAndNoUpdateIsLost)
{
    plcsim::Simulator simulator(plcsim::Form::Ascii);
    const unsigned port = simulator.start();
    std::vector<std::string> args = {"--topic", "PLC1", "advise"};
    constexpr int items = 40;
    for (int i = 1; i <= items; ++i) {
        simulator.addDemo(
            plcsim::parseDemo(plcsim::DemoKind::Counter, "D" + std::to_string(i) + ",per-read"));
        args.push_back("D" + std::to_string(i) + ",W");
    }
    args.insert(args.end(), {"--seconds", "2"});
    startServing(iniSection("PLC1", port, "AUTO"));
    ASSERT_TRUE(server.waitForLine(msg::asciiStarted("PLC1"))) << server.transcript();
    const ToolResult result = runTool(args);
    EXPECT_EQ(result.exitCode, ok) << testing::PrintToString(result.err);
    std::map<std::string, int> shown;
    for (const std::string& line : result.out)
        ++shown[line.substr(24, line.find(' ', 24) - 24)];
    EXPECT_EQ(shown.size(), static_cast<std::size_t>(items)) << testing::PrintToString(shown);
}

TEST_F(ClientToolOnServer, InterruptedAdviseStopsItsLoopsAndExitsWithZero)
{
    std::unique_ptr<ChildProcess> advise = startTool({"--topic", "PLC1", "advise", "D100,W"});
    ASSERT_TRUE(advise->waitForLine(
        [](const OutputLine& line) { return line.text.find("D100,W #EMPTY") != std::string::npos; },
        answerTimeout));
    advise->signal(SIGINT);
    const std::optional<ExitStatus> status = advise->waitExit(toolTimeout);
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->exited());
    EXPECT_EQ(status->code, ok);
    EXPECT_TRUE(server.waitForLine(msg::deleted(0))) << server.transcript();
}

TEST_F(ClientToolOnServer, AdviseEndsWhenTheServerStops)
{
    std::unique_ptr<ChildProcess> advise = startTool({"--topic", "PLC1", "advise", "D100,W"});
    ASSERT_TRUE(advise->waitForLine(
        [](const OutputLine& line) { return line.text.find("D100,W #EMPTY") != std::string::npos; },
        answerTimeout));
    stopWithEnd();
    const std::optional<ExitStatus> status = advise->waitExit(toolTimeout);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->code, 1);  // the conversation was lost
}

TEST_F(ClientToolOnServer, ScriptAnswersEveryLineAndEndsAtEndOfInput)
{
    DdeClient client;
    EXPECT_EQ(client.command("request D1,W"), "error not connected");
    EXPECT_EQ(client.command("frobnicate"), "error unknown command frobnicate");
    EXPECT_EQ(client.command("wait x"), "error wait needs milliseconds from 0 to 600000");
    EXPECT_EQ(client.command("echo  two  blanks"), "echo  two  blanks");
    EXPECT_EQ(client.connect("PLC1"), "ok");
    EXPECT_EQ(client.connect("PLC1"), "error already connected");
    EXPECT_EQ(client.command("advise D1,W 0"),
              "error advise needs ITEM and an optional format (text, unicode or 1 to 65535)");
    EXPECT_EQ(client.command("request D1,W"), "data D1,W #NOTHING");
    EXPECT_EQ(client.quit(), ok);
}

}  // namespace
}  // namespace e2e
