// The start-up of KOMVAS.exe as its console shows it.
#include "tests/e2e/support/fixture.h"

namespace e2e {
namespace {

using StartUp = ServerTest;

TEST_F(StartUp, OneSectionShowsTheStepsInOrderThenTheSectionThenReady)
{
    startServing(section("PLC1"));
    EXPECT_EQ(startUpTexts(), afterRegistration({msg::configured("PLC1"), msg::ready}))
        << server.transcript();
}

TEST_F(StartUp, ThreeSectionsAreSetUpInFileOrderWhateverTheLetterCaseOfTheirModes)
{
    startServing(section("LINE2", "binary") + section("Press", "Ascii") + section("PLC1", "auto"));
    EXPECT_EQ(startUpTexts(), afterRegistration({msg::configured("LINE2"), msg::configured("Press"),
                                                 msg::configured("PLC1"), msg::ready}))
        << server.transcript();
}

TEST_F(StartUp, SectionWithoutKeysTakesTheDefaults)
{
    // IP 127.0.0.1, port 12289, AUTO: nothing to refuse.
    startServing("[PLC1]\r\n");
    EXPECT_EQ(startUpTexts(), afterRegistration({msg::configured("PLC1"), msg::ready}));
}

class StartUpStreams : public ServerTest {
protected:
    StartUpStreams() : separate(ServerOptions{true}) { }
    Server separate;
};

TEST_F(StartUpStreams, InfoGoesToStdoutFailuresToStderrEveryLineEndingInCrLf)
{
    separate.start(section("PLC1") + section("SYSTEM"));
    ASSERT_EQ(separate.waitExit(), 255) << separate.transcript();
    std::vector<std::string> out, err;
    for (const OutputLine& line : separate.lines()) {
        (line.stream == Stream::Out ? out : err).push_back(line.text);
        EXPECT_TRUE(line.crlf) << line.text;
    }
    EXPECT_EQ(out, afterRegistration({msg::configured("PLC1")}));
    EXPECT_EQ(err, std::vector<std::string>{msg::configFailed("SYSTEM")});
}

TEST_F(StartUp, SecondInstanceIsRefusedAndTheFirstKeepsServing)
{
    startServing(section("PLC1"));
    Server second;
    second.start(section("PLC1"));
    EXPECT_EQ(second.waitExit(), 255) << second.transcript();
    EXPECT_EQ(second.texts(), (std::vector<std::string>{msg::startUp, msg::alreadyRunning}));

    // The first one's service, topics and items are untouched.
    DdeClient client("PLC1");
    EXPECT_EQ(client.request("D100,W"), "#NOTHING");
    EXPECT_EQ(client.command("advise D100,W"), "ok");
    EXPECT_EQ(client.request("D100,W"), "#EMPTY");
    EXPECT_TRUE(server.running());
    EXPECT_EQ(server.count(msg::ended(0)), 0u);
}

}  // namespace
}  // namespace e2e
