// Items of a PLC topic: creation on the first advise loop, sharing, refusals and release.
// The PLC never answers, so every item stays "#EMPTY" for the length of a test.
#include <regex>

#include "tests/e2e/support/fixture.h"

namespace e2e {
namespace {

class Items : public ServerTest {
protected:
    void SetUp() override { startServing(section("PLC1")); }
};

TEST_F(Items, AdviseOfANewItemShowsEmptyAndItsStopDeletesTheItem)
{
    const ToolResult advise = runTool({"--topic", "PLC1", "advise", "D100,W", "--seconds", "1"});
    EXPECT_EQ(advise.exitCode, 0);
    ASSERT_EQ(advise.out.size(), 1u);
    EXPECT_TRUE(std::regex_match(
        advise.out[0], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} D100,W #EMPTY)")))
        << advise.out[0];
    settle();
    const std::vector<std::string> texts = server.texts();
    EXPECT_EQ(std::vector<std::string>(texts.end() - 2, texts.end()),
              (std::vector<std::string>{msg::registered(1), msg::deleted(0)}))
        << server.transcript();
}

TEST_F(Items, RequestOfAnItemNobodyAdvisesIsNothingUntilAnotherClientAdvisesIt)
{
    DdeClient asking("PLC1");
    EXPECT_EQ(asking.request("D200,W"), "#NOTHING");
    DdeClient advising("PLC1");
    ASSERT_EQ(advising.command("advise D200,W"), "ok");
    EXPECT_EQ(asking.request("D200,W"), "#EMPTY");
    // A request neither creates an item nor holds one.
    ASSERT_EQ(advising.command("unadvise D200,W"), "ok");
    EXPECT_EQ(asking.request("D200,W"), "#NOTHING");
    settle();
    EXPECT_EQ(server.count(msg::registered(1)), 1u) << server.transcript();
    EXPECT_EQ(server.count(msg::deleted(0)), 1u) << server.transcript();
}

TEST_F(Items, RefusedNamesAreLoggedWithPlcAndNameAndTheAdviseRefused)
{
    struct Case {
        const char* item;
        std::string expected;
    };
    const Case cases[] = {
        {"5D1,W", msg::badCpu("PLC1", "5D1,W")},               // 215: CPU above 4
        {"Q1,W", msg::badAddress("PLC1", "Q1,W")},             // 217: no device Q
        {"D100W", msg::noSeparator("PLC1", "D100W")},          // 218: no separator
        {"D100,C0", msg::badStringLength("PLC1", "D100,C0")},  // 219: string of length 0
        {"D100,B", msg::badType("PLC1", "D100,B")},            // 220: no B on a word device
    };
    DdeClient client("PLC1");
    for (const Case& c : cases) {
        EXPECT_EQ(firstWord(client.command(std::string("advise ") + c.item)), "refused") << c.item;
        EXPECT_TRUE(server.waitForLine(c.expected)) << c.item << "\n" << server.transcript();
    }
    // The next advise start on a refused name tries again, and is refused again.
    EXPECT_EQ(firstWord(client.command("advise 5D1,W")), "refused");
    settle();
    EXPECT_EQ(server.count(msg::badCpu("PLC1", "5D1,W")), 2u);
    EXPECT_EQ(server.waitForLineContaining("登録成功", std::chrono::milliseconds(0)), std::nullopt)
        << server.transcript();
}

TEST_F(Items, AdviseInAFormatOtherThanTextIsRefusedAndCreatesNoItem)
{
    DdeClient client("PLC1");
    EXPECT_EQ(firstWord(client.command("advise D100,W 2")), "refused");  // CF_BITMAP
    EXPECT_EQ(client.request("D100,W"), "#NOTHING");
    // The first item that is created is the first one counted.
    ASSERT_EQ(client.command("advise D100,W"), "ok");
    EXPECT_TRUE(server.waitForLine(msg::registered(1))) << server.transcript();
    EXPECT_EQ(server.waitForLine(msg::registered(2), std::chrono::milliseconds(0)), std::nullopt);
}

TEST_F(Items, TwoClientsOnOneItemShareItUntilBothStop)
{
    DdeClient first("PLC1");
    DdeClient second("PLC1");
    ASSERT_EQ(first.command("advise D100,W"), "ok");
    ASSERT_EQ(second.command("advise D100,W"), "ok");
    ASSERT_EQ(first.command("unadvise D100,W"), "ok");
    // Still there for the second client.
    EXPECT_EQ(second.request("D100,W"), "#EMPTY");
    settle();
    EXPECT_EQ(server.count(msg::registered(1)), 1u) << server.transcript();
    EXPECT_EQ(server.waitForLineContaining("削除", std::chrono::milliseconds(0)), std::nullopt)
        << server.transcript();

    ASSERT_EQ(second.command("unadvise D100,W"), "ok");
    EXPECT_TRUE(server.waitForLine(msg::deleted(0))) << server.transcript();
    settle();
    EXPECT_EQ(server.count(msg::deleted(0)), 1u);
    EXPECT_EQ(first.request("D100,W"), "#NOTHING");
}

TEST_F(Items, DisconnectReleasesEveryItemOfTheConversationButNotOthersItems)
{
    DdeClient leaving("PLC1");
    DdeClient staying("PLC1");
    for (const char* item : {"D100,W", "D200,W", "M1,B"})
        ASSERT_EQ(leaving.command(std::string("advise ") + item), "ok") << item;
    ASSERT_EQ(staying.command("advise D200,W"), "ok");
    ASSERT_TRUE(server.waitForLine(msg::registered(3))) << server.transcript();

    ASSERT_EQ(leaving.command("disconnect"), "ok");
    EXPECT_TRUE(server.waitForLine(msg::deleted(1))) << server.transcript();
    settle();
    EXPECT_EQ(server.count(msg::deleted(2)), 1u) << server.transcript();
    EXPECT_EQ(server.count(msg::deleted(0)), 0u) << server.transcript();
    EXPECT_EQ(staying.request("D200,W"), "#EMPTY");
    EXPECT_EQ(staying.request("D100,W"), "#NOTHING");

    // A client that advises and disconnects leaves nothing behind.
    ASSERT_EQ(staying.command("disconnect"), "ok");
    EXPECT_TRUE(server.waitForLine(msg::deleted(0))) << server.transcript();
}

TEST_F(Items, DisconnectOfThreeItemsLogsThreeDeletions)
{
    DdeClient client("PLC1");
    for (const char* item : {"D100,W", "D101,L", "X00201,B"})
        ASSERT_EQ(client.command(std::string("advise ") + item), "ok") << item;
    ASSERT_TRUE(server.waitForLine(msg::registered(3))) << server.transcript();
    ASSERT_EQ(client.command("disconnect"), "ok");
    const std::optional<size_t> two = server.waitForLine(msg::deleted(2));
    ASSERT_TRUE(two) << server.transcript();
    const std::optional<size_t> one = server.waitForLine(msg::deleted(1), lineTimeout, *two);
    ASSERT_TRUE(one) << server.transcript();
    EXPECT_TRUE(server.waitForLine(msg::deleted(0), lineTimeout, *one)) << server.transcript();
}

TEST_F(Items, NamesInAnotherLetterCaseAreTheSameItem)
{
    DdeClient upper("PLC1");
    DdeClient lower("PLC1");
    ASSERT_EQ(upper.command("advise D100,W"), "ok");
    ASSERT_EQ(lower.command("advise d100,w"), "ok");
    EXPECT_EQ(lower.request("d100,w"), "#EMPTY");
    settle();
    EXPECT_EQ(server.count(msg::registered(1)), 1u) << server.transcript();
    EXPECT_EQ(server.count(msg::registered(2)), 0u) << server.transcript();

    ASSERT_EQ(upper.command("unadvise D100,W"), "ok");
    ASSERT_EQ(lower.command("unadvise d100,w"), "ok");
    EXPECT_TRUE(server.waitForLine(msg::deleted(0))) << server.transcript();
}

TEST_F(Items, SameItemAdvisedTwiceOnOneConversationIsReleasedByOneStop)
{
    // Wine's client passes both advise starts to the server but only the first advise stop.
    // The conversation holds the item once; one stop must free it, or it stays forever.
    DdeClient client("PLC1");
    ASSERT_EQ(client.command("advise D100,W"), "ok");
    ASSERT_EQ(client.command("advise D100,W"), "ok");
    ASSERT_EQ(client.command("unadvise D100,W"), "ok");
    EXPECT_TRUE(server.waitForLine(msg::deleted(0))) << server.transcript();
    EXPECT_EQ(client.request("D100,W"), "#NOTHING") << "the server still holds the item";
}

TEST_F(Items, LongNamesAreCutToTheirFirstEighteenCharacters)
{
    DdeClient client("PLC1");
    // Its first 18 characters are D100,W with leading zeros; whole, its type would be WXXXXXXX.
    const std::string accepted = "D000000000000100,WXXXXXXX";
    ASSERT_EQ(accepted.size(), 25u);
    EXPECT_EQ(client.command("advise " + accepted), "ok");
    EXPECT_TRUE(server.waitForLine(msg::registered(1))) << server.transcript();
    // A refusal names the item as far as the server got it.
    EXPECT_EQ(firstWord(client.command("advise 5D1,WXXXXXXXXXXXXXXXXXXXX")), "refused");
    EXPECT_TRUE(server.waitForLine(msg::badCpu("PLC1", "5D1,WXXXXXXXXXXXXX")))
        << server.transcript();
}

class ItemsOnTwoTopics : public ServerTest {
protected:
    void SetUp() override { startServing(section("PLC1") + section("LINE2")); }
};

TEST_F(ItemsOnTwoTopics, ItemsBelongToTheirTopicAndADisconnectLeavesTheOtherTopicsItems)
{
    // Different item strings on the two topics: Wine's DDEML mixes up advise loops of one
    // item string on two topics.
    DdeClient plc1("PLC1");
    DdeClient line2("LINE2");
    ASSERT_EQ(plc1.command("advise D100,W"), "ok");
    ASSERT_EQ(line2.command("advise D0100,W"), "ok");
    ASSERT_TRUE(server.waitForLine(msg::registered(2))) << server.transcript();
    EXPECT_EQ(line2.request("D100,W"), "#NOTHING");
    EXPECT_EQ(plc1.request("D0100,W"), "#NOTHING");

    ASSERT_EQ(plc1.command("disconnect"), "ok");
    EXPECT_TRUE(server.waitForLine(msg::deleted(1))) << server.transcript();
    EXPECT_EQ(line2.request("D0100,W"), "#EMPTY");
    settle();
    EXPECT_EQ(server.count(msg::deleted(0)), 0u) << server.transcript();
}

}  // namespace
}  // namespace e2e
