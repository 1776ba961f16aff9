// The PLC topic server's bookkeeping of items and advise loops, driven with transactions as the
// DDE callback passes them.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dde/fam3_dde_server.h"
#include "tests/support/allocation_failure.h"
#include "tests/support/capture.h"
#include "tests/support/dde_instance.h"

namespace {

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testing_support::StopFailingAllocations();
        dde.reset(new testing_support::DdeInstance);
        ASSERT_EQ(dde->result, static_cast<UINT>(DMLERR_NO_ERROR));
        baseCount = fam3::DdeItem::liveCount;
        server.reset(new fam3::FAM3DdeServer("PLC1"));
    }

    void TearDown() override
    {
        server.reset();
        EXPECT_EQ(fam3::DdeItem::liveCount, baseCount) << "every item is deleted with its server";
        for (HSZ hsz : handles)
            Dde::FreeStringHandle(hsz);
        dde.reset();
    }

    HSZ Item(const char* name)
    {
        const HSZ hsz = Dde::CreateStringHandle(name);
        handles.push_back(hsz);
        return hsz;
    }

    DdeTransaction Transaction(UINT type, ULONG_PTR conv, HSZ item, UINT format = CF_TEXT)
    {
        DdeTransaction t = {};
        t.type = type;
        t.format = format;
        t.conv = reinterpret_cast<HCONV>(conv);
        t.hsz1 = server->GetTopic();
        t.hsz2 = item;
        return t;
    }

    int Start(ULONG_PTR conv, HSZ item, UINT format = CF_TEXT)
    {
        const DdeTransaction t = Transaction(XTYP_ADVSTART, conv, item, format);
        return server->AdviseStart(&t);
    }

    int Stop(ULONG_PTR conv, HSZ item, UINT format = CF_TEXT)
    {
        const DdeTransaction t = Transaction(XTYP_ADVSTOP, conv, item, format);
        return server->AdviseStop(&t);
    }

    // Whether an advise request of the conversation's loop gets data.
    bool Answered(ULONG_PTR conv, HSZ item, UINT format)
    {
        const DdeTransaction t = Transaction(XTYP_ADVREQ, conv, item, format);
        const HDDEDATA data = server->AdviseRequest(&t);
        DdeFreeDataHandle(data);
        return data != nullptr;
    }

    int Disconnect(ULONG_PTR conv)
    {
        const DdeTransaction t = Transaction(XTYP_DISCONNECT, conv, nullptr);
        return server->Disconnect(&t);
    }

    std::string Text(HDDEDATA data)
    {
        if (data == nullptr)
            return "(no data)";
        char text[64] = {0};
        const DWORD size = Dde::GetData(data, text, sizeof text - 1, 0);
        DdeFreeDataHandle(data);
        return std::string(text, size > 0 ? size - 1 : 0);
    }

    std::string Request(HSZ item)
    {
        const DdeTransaction t = Transaction(XTYP_REQUEST, 1, item);
        return Text(server->Request(&t));
    }

    int RefCount(HSZ item) { return server->items.count(item) ? server->items[item]->refCount : 0; }

    // Everything of the server that an advise start may change.
    struct Registrations {
        std::map<HSZ, fam3::DdeItem*> items;
        std::vector<std::pair<std::int64_t, fam3::DdeItem*>> schedule;
        fam3::FAM3DdeServer::Conversations conversations;
        std::map<HSZ, int> refCounts;
        int liveCount;
    };

    Registrations Snapshot()
    {
        Registrations r{server->items,
                        {server->schedule.begin(), server->schedule.end()},
                        server->conversations,
                        {},
                        fam3::DdeItem::liveCount};
        for (const auto& entry : server->items)
            r.refCounts[entry.first] = entry.second->refCount;
        return r;
    }

    // Starts the advise loop with its first allocation failing, then its second, and so on,
    // until it needs no more allocations than it gets. Each refused attempt must leave the server
    // as it was and log nothing; returns how many attempts were refused.
    int StartWhileEachAllocationFails(ULONG_PTR conv, HSZ item)
    {
        for (int n = 0; n < 100; ++n) {
            const Registrations before = Snapshot();
            int result = -1;
            const std::string log = testing_support::Capture(stdout, [&] {
                testing_support::FailAllocationAfter(n);
                result = Start(conv, item);
                testing_support::StopFailingAllocations();
            });
            if (!testing_support::AllocationFailed()) {
                EXPECT_EQ(result, 1) << "with no allocation failing";
                return n;
            }
            EXPECT_EQ(result, 0) << "allocation " << n << " failed but the advise was accepted";
            EXPECT_EQ(log, "") << "allocation " << n << " failed";
            const Registrations after = Snapshot();
            EXPECT_EQ(after.items, before.items) << "allocation " << n << " failed";
            EXPECT_EQ(after.schedule, before.schedule) << "allocation " << n << " failed";
            EXPECT_EQ(after.conversations, before.conversations) << "allocation " << n;
            EXPECT_EQ(after.refCounts, before.refCounts) << "allocation " << n << " failed";
            EXPECT_EQ(after.liveCount, before.liveCount) << "allocation " << n << " failed";
        }
        ADD_FAILURE() << "the advise start still failed after 100 allocations";
        return 100;
    }

    std::unique_ptr<testing_support::DdeInstance> dde;
    std::unique_ptr<fam3::FAM3DdeServer> server;
    std::vector<HSZ> handles;
    int baseCount = 0;
};

TEST_F(ServerTest, TwoConversationsShareOneItemUntilBothStop)
{
    const HSZ d100 = Item("D100,W");
    EXPECT_EQ(Start(1, d100), 1);
    EXPECT_EQ(Start(2, d100), 1);
    EXPECT_EQ(server->items.size(), 1u);
    EXPECT_EQ(server->schedule.size(), 1u);
    EXPECT_EQ(RefCount(d100), 2);
    EXPECT_EQ(fam3::DdeItem::liveCount, baseCount + 1);

    EXPECT_EQ(Stop(1, d100), 1);
    EXPECT_EQ(RefCount(d100), 1);
    EXPECT_EQ(Stop(2, d100), 1);
    EXPECT_TRUE(server->items.empty());
    EXPECT_TRUE(server->schedule.empty());
    EXPECT_EQ(fam3::DdeItem::liveCount, baseCount);
}

TEST_F(ServerTest, RepeatedAdviseStartOnOneConversationTakesOneReference)
{
    const HSZ d100 = Item("D100,W");
    EXPECT_EQ(Start(1, d100), 1);
    EXPECT_EQ(Start(1, d100), 1);
    EXPECT_EQ(RefCount(d100), 1);
    EXPECT_EQ(Stop(1, d100), 1);
    EXPECT_TRUE(server->items.empty()) << "no stale reference keeps the item read for ever";
}

TEST_F(ServerTest, ALoopInEachFormatHoldsTheItemAndGetsOnlyItsOwnRequests)
{
    const HSZ d100 = Item("D100,W");
    EXPECT_EQ(Start(1, d100, CF_TEXT), 1);
    EXPECT_EQ(Start(1, d100, CF_UNICODETEXT), 1);
    EXPECT_EQ(fam3::DdeItem::liveCount, baseCount + 1) << "one item for both loops";
    EXPECT_EQ(RefCount(d100), 2);
    EXPECT_TRUE(Answered(1, d100, CF_TEXT));
    EXPECT_TRUE(Answered(1, d100, CF_UNICODETEXT));
    EXPECT_FALSE(Answered(2, d100, CF_TEXT)) << "a conversation with no loop here, as one on "
                                                "another topic that advises the same name";

    EXPECT_EQ(Stop(1, d100, CF_TEXT), 1);
    EXPECT_EQ(RefCount(d100), 1) << "the CF_UNICODETEXT loop still holds the item";
    EXPECT_FALSE(Answered(1, d100, CF_TEXT));
    EXPECT_TRUE(Answered(1, d100, CF_UNICODETEXT));
    EXPECT_EQ(Stop(1, d100, CF_TEXT), 1);
    EXPECT_EQ(RefCount(d100), 1) << "a second stop of the same loop gives back nothing";
    EXPECT_EQ(Stop(1, d100, CF_UNICODETEXT), 1);
    EXPECT_TRUE(server->items.empty());
}

TEST_F(ServerTest, RepeatedAdviseStartThenDisconnectReleasesTheItem)
{
    const HSZ d100 = Item("D100,W");
    Start(1, d100);
    Start(1, d100);
    Start(2, d100);
    EXPECT_EQ(Disconnect(1), 1);
    EXPECT_EQ(RefCount(d100), 1);
    Disconnect(2);
    EXPECT_TRUE(server->items.empty());
}

TEST_F(ServerTest, AdviseStopOfAnItemTheConversationNeverAdvisedChangesNothing)
{
    const HSZ d100 = Item("D100,W");
    Start(1, d100);
    Start(2, Item("D101,W"));
    EXPECT_EQ(Stop(2, d100), 1);
    EXPECT_EQ(Stop(3, d100), 1);
    EXPECT_EQ(RefCount(d100), 1);
    EXPECT_EQ(server->conversations.count(reinterpret_cast<HCONV>(2)), 1u);
}

TEST_F(ServerTest, DisconnectReleasesEveryItemOfTheConversationOnly)
{
    const HSZ a = Item("D1,W"), b = Item("M1,B"), c = Item("W10001,LONG");
    Start(1, a);
    Start(1, b);
    Start(1, c);
    Start(2, b);
    EXPECT_EQ(Disconnect(1), 1);
    EXPECT_EQ(server->items.size(), 1u);
    EXPECT_EQ(RefCount(b), 1);
    EXPECT_EQ(server->conversations.count(reinterpret_cast<HCONV>(1)), 0u);
    EXPECT_EQ(Disconnect(7), 1) << "a conversation the server never saw is ignored";
}

TEST_F(ServerTest, LetterCaseOfTheNameDoesNotMakeANewItem)
{
    const HSZ upper = Item("D100,W");
    const HSZ lower = Item("d100,w");
    ASSERT_EQ(upper, lower) << "DDE string handles compare without regard to case";
    Start(1, upper);
    Start(2, lower);
    EXPECT_EQ(server->items.size(), 1u);
}

TEST_F(ServerTest, EqualAddressesAreTwoItemsWithEqualKeysInArrivalOrder)
{
    const HSZ first = Item("D100,W"), second = Item("D0100,W");
    Start(1, first);
    Start(1, second);
    ASSERT_EQ(server->schedule.size(), 2u);
    const auto range = server->schedule.equal_range(server->items[first]->key);
    ASSERT_EQ(std::distance(range.first, range.second), 2);
    EXPECT_EQ(range.first->second, server->items[first]);
    EXPECT_EQ(std::next(range.first)->second, server->items[second]);
    Stop(1, first);
    ASSERT_EQ(server->schedule.size(), 1u);
    EXPECT_EQ(server->schedule.begin()->second, server->items[second]);
}

TEST_F(ServerTest, RefusedNamesLeaveNothingBehind)
{
    for (const char* name : {"5D1,W", "Q1,W", "D100W", "D100,C0", "D100,B"}) {
        EXPECT_EQ(Start(1, Item(name)), 0) << name;
    }
    EXPECT_TRUE(server->items.empty());
    EXPECT_TRUE(server->schedule.empty());
    EXPECT_EQ(fam3::DdeItem::liveCount, baseCount);
}

TEST_F(ServerTest, AdviseStartIsAllOrNothingWhicheverAllocationFails)
{
    const HSZ d100 = Item("D100,W"), d1 = Item("D1,W");
    const auto one = reinterpret_cast<HCONV>(1), two = reinterpret_cast<HCONV>(2);
    // A new item on a new conversation: at least the item and its holder are allocated.
    EXPECT_GE(StartWhileEachAllocationFails(1, d100), 2);
    // A new item on a conversation that advises another one.
    EXPECT_GE(StartWhileEachAllocationFails(1, d1), 2);
    // The item exists; a second conversation starts on it, then advises a second item.
    EXPECT_GE(StartWhileEachAllocationFails(2, d100), 1);
    EXPECT_GE(StartWhileEachAllocationFails(2, d1), 1);
    // A repeated advise start changes nothing, so needs nothing.
    EXPECT_EQ(StartWhileEachAllocationFails(2, d1), 0);

    EXPECT_EQ(server->items.size(), 2u);
    EXPECT_EQ(server->schedule.size(), 2u);
    EXPECT_EQ(fam3::DdeItem::liveCount, baseCount + 2);
    EXPECT_EQ(RefCount(d100), 2);
    EXPECT_EQ(RefCount(d1), 2);
    const std::set<fam3::FAM3DdeServer::Loop> both = {{d100, CF_TEXT}, {d1, CF_TEXT}};
    EXPECT_EQ(server->conversations[one], both);
    EXPECT_EQ(server->conversations[two], both);
    // The counts and the sets are in step: both disconnects together release both items.
    Disconnect(1);
    EXPECT_EQ(RefCount(d100), 1);
    EXPECT_EQ(RefCount(d1), 1);
    Disconnect(2);
    EXPECT_TRUE(server->items.empty());
    EXPECT_TRUE(server->schedule.empty());
    EXPECT_EQ(fam3::DdeItem::liveCount, baseCount);
}

TEST_F(ServerTest, ALongNameIsReadFromItsFirstEighteenCharacters)
{
    // 18 characters make a valid string item; what follows them never reaches the grammar.
    EXPECT_EQ(Start(1, Item("D100,C12XXXXXXXXXXXXXXXX")), 0) << "the cut name still ends in X";
    EXPECT_EQ(Start(1, Item("D000000000100,C128")), 1);
    EXPECT_EQ(Start(2, Item("D000000000100,C128ZZZZZZ")), 1);
    ASSERT_EQ(server->items.size(), 2u);
    EXPECT_EQ(server->items.begin()->second->endOffset - server->items.begin()->second->startOffset,
              128u);
}

TEST_F(ServerTest, RequestAnswersOnlyForAdvisedItems)
{
    const HSZ d100 = Item("D100,W");
    EXPECT_EQ(Request(d100), "#NOTHING");
    EXPECT_TRUE(server->items.empty()) << "a request creates no item";
    Start(1, d100);
    EXPECT_EQ(Request(d100), "#EMPTY");
    const DdeTransaction t = Transaction(XTYP_ADVREQ, 1, d100);
    EXPECT_EQ(Text(server->AdviseRequest(&t)), "#EMPTY");
    const DdeTransaction other = Transaction(XTYP_ADVREQ, 1, Item("D101,W"));
    EXPECT_EQ(server->AdviseRequest(&other), nullptr);
}

TEST_F(ServerTest, DestroyingTheServerDeletesItemsWhateverTheirCount)
{
    Start(1, Item("D1,W"));
    Start(2, Item("D1,W"));
    Start(1, Item("M1,B"));
    EXPECT_EQ(fam3::DdeItem::liveCount, baseCount + 2);
    server.reset();
    EXPECT_EQ(fam3::DdeItem::liveCount, baseCount);
}

} // namespace
