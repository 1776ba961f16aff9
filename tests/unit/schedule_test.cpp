// Grouping items into read requests, and handing answers and status codes to the items.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

#include "item/item_name.h"
#include "link/frames.h"
#include "link/schedule.h"
#include "tests/support/scheduled_item.h"

namespace {

using fam3::ReadRequest;

typedef std::vector<unsigned char> Bytes;

// Records what the distribution hands to one item.
struct FakeHolder {
    std::vector<Bytes> data;
    std::vector<int> statuses;
    void SetData(const unsigned char* bytes, unsigned size) { data.emplace_back(bytes, bytes + size); }
    void SetStatus(int code) { statuses.push_back(code); }
};

typedef testing_support::ScheduledItem<FakeHolder> FakeItem;

constexpr std::uint32_t D = 4, M = 13, W = 23, X = 24;

// The items of one PLC, with its schedule, made the way an item name converts.
class Plc {
public:
    FakeItem& add(std::uint32_t cpu, std::uint32_t device, std::uint32_t address, std::uint32_t span)
    {
        auto item = std::make_unique<FakeItem>();
        item->place(cpu, device, address, span);
        item->holder = std::make_unique<FakeHolder>();
        schedule.emplace(item->key, item.get());
        items.push_back(std::move(item));
        return *items.back();
    }
    FakeItem& add(std::uint32_t device, std::uint32_t address, std::uint32_t span)
    {
        return add(1, device, address, span);
    }

    void remove(FakeItem& item)
    {
        for (auto it = schedule.begin(); it != schedule.end(); ++it) {
            if (it->second == &item) {
                schedule.erase(it);
                return;
            }
        }
    }

    ReadRequest next(const ReadRequest& previous) const
    {
        return fam3::NextReadRequest(schedule, previous, maxCount);
    }

    // The requests of one whole pass over the schedule, from the beginning.
    std::vector<ReadRequest> cycle() const
    {
        std::vector<ReadRequest> requests;
        ReadRequest r;
        for (;;) {
            r = next(r);
            if (r.device == 0)
                return requests;
            requests.push_back(r);
            if (requests.size() > schedule.size())
                return requests; // never: every request takes at least one item
        }
    }

    std::multimap<std::int64_t, FakeItem*> schedule;
    std::vector<std::unique_ptr<FakeItem>> items;
    fam3::LE01ReadDataMaxCount maxCount;
};

// Data of `size` bytes counting 0, 1, 2 ... so that a slice shows where it was cut.
Bytes counting(std::size_t size)
{
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<unsigned char>(i);
    return data;
}

TEST(Grouping, EmptyScheduleGivesTheEmptyRequest)
{
    Plc plc;
    const ReadRequest r = plc.next(ReadRequest());
    EXPECT_EQ(r.cpu, 0);
    EXPECT_EQ(r.device, 0u);
    EXPECT_EQ(r.address, 0);
    EXPECT_EQ(r.startOffset, 0u);
    EXPECT_EQ(r.endOffset, 0u);
    EXPECT_EQ(r.firstKey, 0);
    EXPECT_EQ(r.lastKey, 0);
    EXPECT_EQ(fam3::deviceKind(r.device), 0);
}

TEST(Grouping, RequestDescribesTheFirstItemAndTheFurthestEnd)
{
    Plc plc;
    const FakeItem& first = plc.add(X, 201, 1);   // X00201,B: offset 64
    const FakeItem& last = plc.add(X, 205, 16);   // X00205,W: offset 68..84
    const std::vector<ReadRequest> requests = plc.cycle();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].cpu, 1);
    EXPECT_EQ(requests[0].device, X);
    EXPECT_EQ(requests[0].address, 201);
    EXPECT_EQ(requests[0].startOffset, 64u);
    EXPECT_EQ(requests[0].endOffset, 84u);
    EXPECT_EQ(requests[0].firstKey, first.key);
    EXPECT_EQ(requests[0].lastKey, last.key);
}

TEST(Grouping, SixtyFourWordsGiveSixtyThreeWordsThenOne)
{
    Plc plc;
    for (std::uint32_t a = 1; a <= 64; ++a)
        plc.add(D, a, 2);
    const std::vector<ReadRequest> requests = plc.cycle();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].address, 1);
    EXPECT_EQ(requests[0].endOffset, 126u); // D64 would end at 128, the limit itself
    EXPECT_EQ(fam3::WordCount(requests[0]), 63u);
    EXPECT_EQ(requests[1].address, 64);
    EXPECT_EQ(fam3::WordCount(requests[1]), 1u);
}

TEST(Grouping, TwoHundredFiftySixBitsGive255ThenOne)
{
    Plc plc;
    for (std::uint32_t a = 1; a <= 256; ++a)
        plc.add(M, a, 1);
    const std::vector<ReadRequest> requests = plc.cycle();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(fam3::BitCount(requests[0]), 255u);
    EXPECT_EQ(requests[1].address, 256);
    EXPECT_EQ(fam3::BitCount(requests[1]), 1u);
}

TEST(Grouping, WordGapOf85BytesJoinsAndOf86Splits)
{
    {
        Plc plc;
        plc.add(D, 1, 2);
        plc.add(D, 44, 2); // starts at 86 < 2 + 86
        const std::vector<ReadRequest> requests = plc.cycle();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(fam3::WordCount(requests[0]), 44u);
    }
    {
        Plc plc;
        plc.add(D, 1, 2);
        plc.add(D, 45, 2); // starts at 88, not below 2 + 86
        EXPECT_EQ(plc.cycle().size(), 2u);
    }
}

TEST(Grouping, BitGapOf170JoinsAndOf171Splits)
{
    {
        Plc plc;
        plc.add(M, 1, 1);
        plc.add(M, 172, 1); // starts at 171 < 1 + 171
        const std::vector<ReadRequest> requests = plc.cycle();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(fam3::BitCount(requests[0]), 172u);
    }
    {
        Plc plc;
        plc.add(M, 1, 1);
        plc.add(M, 173, 1);
        EXPECT_EQ(plc.cycle().size(), 2u);
    }
}

TEST(Grouping, GapIsMeasuredFromTheFurthestEndNotFromTheLastItem)
{
    Plc plc;
    plc.add(D, 1, 40);  // D1,C40: bytes 0..40
    plc.add(D, 5, 2);   // inside it, ends at 10
    plc.add(D, 63, 2);  // starts at 124 < 40 + 86
    const std::vector<ReadRequest> requests = plc.cycle();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].endOffset, 126u);
}

TEST(Grouping, CpusAndDevicesNeverShareARequest)
{
    {
        Plc plc;
        plc.add(1, D, 1, 2);
        plc.add(2, D, 1, 2);
        const std::vector<ReadRequest> requests = plc.cycle();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[0].cpu, 1);
        EXPECT_EQ(requests[1].cpu, 2);
    }
    {
        Plc plc;
        plc.add(D, 1, 2);
        plc.add(W, 1, 2); // offset 0 as well
        const std::vector<ReadRequest> requests = plc.cycle();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[0].device, D);
        EXPECT_EQ(requests[1].device, W);
    }
}

TEST(Grouping, LargestSingleItemsAreOneRequestEach)
{
    Plc plc;
    plc.add(D, 1, 128);  // D1,C128
    plc.add(D, 65, 2);   // right after it: ends at 130, past 0 + 128
    plc.add(M, 1, 256);  // M1,C16
    const std::vector<ReadRequest> requests = plc.cycle();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(fam3::WordCount(requests[0]), 64u);
    EXPECT_EQ(requests[1].address, 65);
    EXPECT_EQ(fam3::BitCount(requests[2]), 256u);
}

TEST(Grouping, EqualKeysTravelTogetherEvenAtTheLimit)
{
    // Two names of one text of 128 bytes (D1,C128 and D0001,C128): the second must not be cut
    // off, or the next request, which starts after their key, would never read it.
    Plc plc;
    plc.add(D, 1, 128);
    plc.add(D, 1, 128);
    plc.add(M, 1, 256);
    plc.add(M, 1, 256);
    plc.add(M, 1, 256);
    const std::vector<ReadRequest> requests = plc.cycle();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(fam3::WordCount(requests[0]), 64u);
    EXPECT_EQ(fam3::BitCount(requests[1]), 256u);

    Bytes words = counting(128);
    fam3::PostReadData(plc.schedule, requests[0], words.data());
    Bytes bits(256, 1);
    fam3::PostReadData(plc.schedule, requests[1], bits.data());
    for (const auto& item : plc.items)
        EXPECT_EQ(item->holder->data.size(), 1u);
}

TEST(Grouping, CycleEndsWithTheEmptyRequestAndStartsAgain)
{
    Plc plc;
    plc.add(D, 1, 2);
    plc.add(D, 100, 2);
    ReadRequest r = plc.next(ReadRequest());
    EXPECT_EQ(r.address, 1);
    r = plc.next(r);
    EXPECT_EQ(r.address, 100);
    r = plc.next(r);
    EXPECT_EQ(r.device, 0u);
    r = plc.next(r);
    EXPECT_EQ(r.address, 1);
}

TEST(Distribution, DoubleAndTheWordInsideItShareOneRequest)
{
    Plc plc;
    FakeItem& wide = plc.add(D, 100, 8);   // D100,DOUBLE: bytes 198..206
    FakeItem& word = plc.add(D, 101, 2);   // D101,W: bytes 200..202
    const std::vector<ReadRequest> requests = plc.cycle();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(fam3::WordCount(requests[0]), 4u);

    const Bytes data = counting(8);
    fam3::PostReadData(plc.schedule, requests[0], data.data());
    ASSERT_EQ(wide.holder->data.size(), 1u);
    EXPECT_EQ(wide.holder->data[0], data);
    ASSERT_EQ(word.holder->data.size(), 1u);
    EXPECT_EQ(word.holder->data[0], (Bytes{2, 3}));
}

TEST(Distribution, EachBitItemGetsOneBytePerBit)
{
    Plc plc;
    FakeItem& bit = plc.add(M, 3, 1);     // M3,B: bit 2
    FakeItem& word = plc.add(M, 5, 16);   // M5,W: bits 4..20
    const std::vector<ReadRequest> requests = plc.cycle();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].startOffset, 2u);

    const Bytes data = counting(18);
    fam3::PostReadData(plc.schedule, requests[0], data.data());
    EXPECT_EQ(bit.holder->data.at(0), (Bytes{0}));
    EXPECT_EQ(word.holder->data.at(0), Bytes(data.begin() + 2, data.end()));
}

TEST(Distribution, ItemsRegisteredOrRemovedMeanwhileAreFoundByKey)
{
    Plc plc;
    FakeItem& d1 = plc.add(D, 1, 2);
    FakeItem& d3 = plc.add(D, 3, 2);
    const ReadRequest sent = plc.next(ReadRequest()); // D1..D3, bytes 0..6
    ASSERT_EQ(sent.endOffset, 6u);

    // While the command is out: D3,W goes away; D2,W comes inside the request; D3,L comes
    // inside the key range but reaches past the request's end; D4,W comes after it.
    plc.remove(d3);
    FakeItem& d2 = plc.add(D, 2, 2);
    FakeItem& d3long = plc.add(D, 3, 4);
    FakeItem& d4 = plc.add(D, 4, 2);

    const Bytes data = counting(6);
    fam3::PostReadData(plc.schedule, sent, data.data());
    EXPECT_EQ(d1.holder->data.at(0), (Bytes{0, 1}));
    EXPECT_EQ(d2.holder->data.at(0), (Bytes{2, 3}));
    EXPECT_TRUE(d3.holder->data.empty());
    EXPECT_TRUE(d3long.holder->data.empty());
    EXPECT_TRUE(d4.holder->data.empty());

    // A rejected answer reaches every item of the key range, offsets or not.
    fam3::PostReadStatus(plc.schedule, sent, 65);
    EXPECT_EQ(d1.holder->statuses, (std::vector<int>{65}));
    EXPECT_EQ(d2.holder->statuses, (std::vector<int>{65}));
    EXPECT_EQ(d3long.holder->statuses, (std::vector<int>{65}));
    EXPECT_TRUE(d4.holder->statuses.empty());

    // The next request starts after the removed item's key: D3,L waits for the next cycle.
    const ReadRequest after = plc.next(sent);
    EXPECT_EQ(after.address, 4);
    EXPECT_EQ(after.firstKey, d4.key);
}

TEST(Distribution, RejectedAnswerReachesOnlyTheRequestsItems)
{
    Plc plc;
    FakeItem& inside = plc.add(D, 1, 2);
    FakeItem& outside = plc.add(D, 200, 2);
    const ReadRequest r = plc.next(ReadRequest());
    fam3::PostReadStatus(plc.schedule, r, fam3::StatusUninterpreted);
    EXPECT_EQ(inside.holder->statuses, (std::vector<int>{fam3::StatusUninterpreted}));
    EXPECT_TRUE(outside.holder->statuses.empty());
}

TEST(Distribution, TimeoutReachesEveryItemOfThePlc)
{
    Plc plc;
    FakeItem& a = plc.add(1, D, 1, 2);
    FakeItem& b = plc.add(1, D, 500, 2);
    FakeItem& c = plc.add(2, M, 1, 1);
    const ReadRequest first = plc.next(ReadRequest());
    fam3::PostReadData(plc.schedule, first, counting(2).data());
    fam3::PostReadStatus(plc.schedule, first, fam3::StatusTimeOut);
    for (FakeItem* item : {&a, &b, &c})
        EXPECT_EQ(item->holder->statuses, (std::vector<int>{fam3::StatusTimeOut}));
    EXPECT_EQ(a.holder->data.size(), 1u); // read a moment before, timed out all the same
}

TEST(Distribution, EmptyRequestTouchesNothing)
{
    Plc plc;
    FakeItem& item = plc.add(D, 1, 2);
    const Bytes data(2);
    fam3::PostReadData(plc.schedule, ReadRequest(), data.data());
    fam3::PostReadStatus(plc.schedule, ReadRequest(), fam3::StatusUninterpreted);
    EXPECT_TRUE(item.holder->data.empty());
    EXPECT_TRUE(item.holder->statuses.empty());
}

} // namespace
