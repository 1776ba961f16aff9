// Fuzz target of the read scheduling and the distribution of answers: items of any device,
// address and type come and go between the link's steps, and every answer may be accepted,
// rejected or missing. Every request must stay within its device's read limit and describe
// its items (one CPU and device, all inside its offsets, no uncovered stretch of the gap limit
// or more, and no following item it could have taken); every item inside an accepted request
// must get exactly its slice of the data, read only inside it, and nothing else; a rejected
// answer reaches exactly the request's items, a time-out every item; removed items get
// nothing. Within one pass of the cycle every item that the pass has still ahead of it is read
// exactly once, and a pass without changes reads every registered item.
//   input: operations, each one byte (op % 8) and its arguments
//     0-2 add an item: 4 bytes, b0 the device (index modulo 24) and the CPU (bits 5-7),
//         b1 the address (the first 256, or with b2 bit 7 the last 256 of the device),
//         b2 bit 6 a string of 1 + b3 characters (modulo the kind's limit), else the type-table
//         row b2 & 0x3F (modulo the rows)
//     3   remove an item: 1 byte, its position in key order among the registered items
//     4-7 a step of the link: without a command outstanding, the next request; with one, its
//         answer, chosen by op >> 3: 0 and 1 accepted as binary, 2 and 3 as ASCII, 4 and 5
//         handed on directly, 6 rejected with the code of 1 more byte, 7 a time-out
// At the end the pass runs to its end, and one more pass without changes follows.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "item/item_name.h"
#include "item/type_table.h"
#include "link/frames.h"
#include "link/schedule.h"

#define FUZZ_TARGET "fuzz_schedule"
#include "tests/fuzz/invariant.h"
#include "tests/fuzz/frame_input.h"
#include "tests/support/scheduled_item.h"

namespace {

constexpr std::size_t MaxItems = 300;

// What the distribution hands to one item.
struct Delivery {
    bool isData;
    const unsigned char* data;
    unsigned size;
    int status;
};

struct Holder {
    explicit Holder(std::size_t& total) : total(total) {}
    void SetData(const unsigned char* data, unsigned size)
    {
        got.push_back({true, data, size, 0});
        ++total;
    }
    void SetStatus(int code)
    {
        got.push_back({false, nullptr, 0, code});
        ++total;
    }
    std::vector<Delivery> got;
    std::size_t& total; // deliveries to all the items of the PLC
};

struct Item : testing_support::ScheduledItem<Holder> {
    bool registered = true;
    bool ahead = true;      // the current pass has its key still ahead
    int served = 0;         // deliveries of its request's answer in the current pass
    std::size_t removedAt = 0; // deliveries when it was removed
};

typedef std::multimap<std::int64_t, Item*> Schedule;

class Plc {
public:
    void add(const std::uint8_t* b)
    {
        if (schedule.size() >= MaxItems)
            return;
        const std::uint8_t cpuBits = b[0] >> 5;
        const std::uint32_t cpu = cpuBits < 4 ? 1 : cpuBits - 3;
        const std::uint32_t device =
            fuzz::addressedDevices[(b[0] & 0x1F) % fuzz::addressedDeviceCount];
        const bool bits = fam3::deviceKind(device) == fam3::BitKind;
        const std::uint32_t value = b[1] + ((b[2] & 0x80) != 0 ? 262144 - 256 : 0);
        const std::uint32_t address = fuzz::addressOf(device, value);
        std::uint32_t span;
        if ((b[2] & 0x40) != 0) {
            const std::uint32_t n = 1 + b[3] % (bits ? 16u : 128u);
            span = bits ? 16 * n : n;
        } else {
            const fam3::TypeEntry* table = bits ? fam3::bitTypeTable : fam3::wordTypeTable;
            const std::size_t rows = bits ? fam3::BitTypeCount : fam3::WordTypeCount;
            span = table[(b[2] & 0x3F) % rows].count;
        }
        auto item = std::make_unique<Item>();
        try {
            item->place(cpu, device, address, span);
        } catch (const fam3::AddrConvException&) {
            fuzz::fail(FUZZ_TARGET, "an address of the device's rule was refused", __LINE__);
        }
        item->holder = std::make_unique<Holder>(deliveries);
        // An item behind the cycle's position waits for the next pass.
        item->ahead = item->key > position;
        schedule.emplace(item->key, item.get());
        items.push_back(std::move(item));
    }

    void remove(std::uint8_t which)
    {
        if (schedule.empty())
            return;
        auto it = std::next(schedule.begin(), static_cast<std::ptrdiff_t>(which % schedule.size()));
        Item& item = *it->second;
        schedule.erase(it);
        item.registered = false;
        item.removedAt = item.holder->got.size();
    }

    // One step of the link: the next request, or the answer to the outstanding one.
    void step(std::uint8_t op, std::uint8_t argument)
    {
        if (!outstanding) {
            prepare();
            return;
        }
        outstanding = false;
        switch ((op >> 3) % 8) {
        case 6:
            reject(argument % 2 == 0 ? fam3::StatusUninterpreted : 1 + argument % 255);
            break;
        case 7:
            timeout();
            break;
        default:
            accept((op >> 3) % 8, argument);
            break;
        }
    }

    // Answers the outstanding command and runs the pass to its end, then one more pass with
    // every answer accepted and nothing changing: it reads every registered item.
    void finish()
    {
        for (int pass = 0; pass < 2; ++pass) {
            const std::size_t limit = schedule.size() + 2;
            std::size_t steps = 0;
            do {
                if (outstanding) {
                    outstanding = false;
                    accept(4, 0);
                }
                prepare();
                CHECK(++steps <= limit); // every request takes at least one item
            } while (outstanding);
        }
    }

private:
    bool inKeyRange(const Item& item, const fam3::ReadRequest& r) const
    {
        return item.key >= r.firstKey && item.key <= r.lastKey;
    }

    void prepare()
    {
        const fam3::ReadRequest r = fam3::NextReadRequest(schedule, previous, maxCount);
        if (r.device == 0) {
            endOfPass(r);
            return;
        }
        checkRequest(r);
        previous = r;
        current = r;
        position = r.lastKey;
        outstanding = true;
    }

    void endOfPass(const fam3::ReadRequest& r)
    {
        CHECK(r.cpu == 0 && r.address == 0 && r.startOffset == 0 && r.endOffset == 0 &&
              r.firstKey == 0 && r.lastKey == 0);
        // The schedule holds nothing after the last request.
        CHECK(schedule.upper_bound(previous.lastKey) == schedule.end());
        for (auto& item : items) {
            if (!item->registered)
                continue;
            // Read exactly once if the pass had it ahead all along, at most once otherwise.
            CHECK(item->served <= 1);
            if (item->ahead)
                CHECK(item->served == 1);
            item->served = 0;
            item->ahead = true;
        }
        previous = r;
        position = 0;
    }

    void checkRequest(const fam3::ReadRequest& r) const
    {
        CHECK(r.cpu >= 1 && r.cpu <= 4);
        const int kind = fam3::deviceKind(r.device);
        CHECK(kind == fam3::BitKind || kind == fam3::WordKind);
        const std::uint32_t max = maxCount.maxCount(r.device);
        const std::uint32_t gap = (2 * max) / 3 + 1;
        // Within the device's read limit, and so within what one command can carry.
        CHECK(r.endOffset > r.startOffset);
        CHECK(r.endOffset - r.startOffset <= max);
        if (kind == fam3::BitKind)
            CHECK(fam3::BitCount(r) <= 256);
        else
            CHECK(fam3::WordCount(r) <= 64);

        // It starts at the first item after the previous request.
        auto it = schedule.upper_bound(previous.lastKey);
        CHECK(it != schedule.end() && it->first == r.firstKey);
        CHECK(r.lastKey >= r.firstKey);
        const Item& first = *it->second;
        CHECK(first.cpu == static_cast<std::uint32_t>(r.cpu) && first.device == r.device);
        CHECK(first.address == static_cast<std::uint32_t>(r.address));
        CHECK(first.startOffset == r.startOffset);

        // Its items: one CPU and device, all inside its offsets, reaching its end, with no
        // stretch of the gap limit or more that no item covers.
        std::vector<std::pair<std::uint32_t, std::uint32_t>> spans;
        for (; it != schedule.end() && it->first <= r.lastKey; ++it) {
            const Item& item = *it->second;
            CHECK(item.cpu == first.cpu && item.device == first.device);
            CHECK(item.startOffset >= r.startOffset && item.endOffset <= r.endOffset);
            spans.emplace_back(item.startOffset, item.endOffset);
        }
        std::sort(spans.begin(), spans.end());
        std::uint32_t reached = r.startOffset;
        for (const auto& s : spans) {
            if (s.first > reached)
                CHECK(s.first - reached < gap);
            reached = std::max(reached, s.second);
        }
        CHECK(reached == r.endOffset);

        // The next item could not have joined: other CPU or device, an end beyond the
        // limit, or a start the gap limit or more after the end reached.
        if (it != schedule.end()) {
            const Item& next = *it->second;
            CHECK(next.cpu != first.cpu || next.device != first.device ||
                  next.endOffset >= r.startOffset + max || next.startOffset >= r.endOffset + gap);
        }
    }

    // The items of the request's key range now, with their deliveries so far, to see what one
    // distribution adds to each; together with the count of all deliveries this shows that
    // nothing reaches any other item.
    std::vector<std::pair<Item*, std::size_t>> keyRange(const fam3::ReadRequest& r) const
    {
        std::vector<std::pair<Item*, std::size_t>> range;
        for (auto it = schedule.lower_bound(r.firstKey);
             it != schedule.end() && it->first <= r.lastKey; ++it)
            range.emplace_back(it->second, it->second->holder->got.size());
        return range;
    }

    void accept(unsigned form, std::uint8_t seed)
    {
        const fam3::ReadRequest& r = current;
        const bool bits = fam3::deviceKind(r.device) == fam3::BitKind;
        const std::size_t size = bits ? fam3::BitCount(r) : 2 * std::size_t(fam3::WordCount(r));
        std::vector<unsigned char> expected(size);
        for (std::size_t i = 0; i < size; ++i)
            expected[i] = bits ? (i * 5 + seed) % 3 == 0
                               : static_cast<unsigned char>(i * 7 + seed * 13 + 1);

        // The data in a heap block of exactly its size, so that a read past it is seen: the
        // module's answer in binary form, its decoding from ASCII, or the data alone.
        std::unique_ptr<unsigned char[]> block;
        const unsigned char* data = nullptr;
        if (form <= 1) {
            block.reset(new unsigned char[4 + size]);
            block[0] = bits ? fam3::BinaryBitAnswer : fam3::BinaryWordAnswer;
            block[1] = 0x00;
            block[2] = static_cast<unsigned char>(size >> 8);
            block[3] = static_cast<unsigned char>(size);
            std::copy(expected.begin(), expected.end(), block.get() + 4);
            const fam3::AnswerVerdict v =
                bits ? fam3::CheckBinaryBrd(r, block.get(), 4 + size, nullptr, 0)
                     : fam3::CheckBinaryWrd(r, block.get(), 4 + size, nullptr, 0);
            CHECK(v.accepted && v.size == size && v.data == block.get() + 4);
            data = v.data;
        } else if (form <= 3) {
            static const char digits[] = "0123456789ABCDEF";
            std::string text = "1";
            text += static_cast<char>('0' + r.cpu);
            text += "OK";
            for (unsigned char byte : expected) {
                if (bits) {
                    text += byte != 0 ? '1' : '0';
                } else {
                    text += digits[byte >> 4];
                    text += digits[byte & 0x0F];
                }
            }
            text += "\r\n";
            block.reset(new unsigned char[size]);
            const auto* answer = reinterpret_cast<const unsigned char*>(text.data());
            const fam3::AnswerVerdict v =
                bits ? fam3::CheckAsciiBrd(r, answer, text.size(), block.get(), size)
                     : fam3::CheckAsciiWrd(r, answer, text.size(), block.get(), size);
            CHECK(v.accepted && v.size == size && v.data == block.get());
            data = v.data;
        } else {
            block.reset(new unsigned char[size]);
            std::copy(expected.begin(), expected.end(), block.get());
            data = block.get();
        }
        CHECK(std::equal(expected.begin(), expected.end(), data));

        const auto range = keyRange(r);
        const std::size_t total = deliveries;
        fam3::PostReadData(schedule, r, data);
        std::size_t covered = 0;
        for (const auto& entry : range) {
            Item& item = *entry.first;
            const std::size_t added = item.holder->got.size() - entry.second;
            if (item.startOffset < r.startOffset || item.endOffset > r.endOffset) {
                CHECK(added == 0);
                continue;
            }
            CHECK(added == 1);
            const Delivery& d = item.holder->got.back();
            const std::size_t offset = item.startOffset - r.startOffset;
            CHECK(d.isData);
            CHECK(d.data == data + offset);
            CHECK(d.size == item.endOffset - item.startOffset);
            CHECK(offset + d.size <= size);
            CHECK(std::equal(d.data, d.data + d.size, expected.begin() + offset));
            ++item.served;
            ++covered;
        }
        CHECK(deliveries - total == covered);
    }

    void reject(int code)
    {
        const auto range = keyRange(current);
        const std::size_t total = deliveries;
        fam3::PostReadStatus(schedule, current, code);
        for (const auto& entry : range) {
            Item& item = *entry.first;
            CHECK(item.holder->got.size() == entry.second + 1);
            CHECK(!item.holder->got.back().isData && item.holder->got.back().status == code);
            ++item.served;
        }
        CHECK(deliveries - total == range.size());
    }

    void timeout()
    {
        const std::size_t total = deliveries;
        std::vector<std::size_t> before;
        for (const auto& item : items)
            before.push_back(item->holder->got.size());
        fam3::PostReadStatus(schedule, current, fam3::StatusTimeOut);
        for (std::size_t i = 0; i < items.size(); ++i) {
            Item& item = *items[i];
            const std::size_t added = item.holder->got.size() - before[i];
            if (!item.registered) {
                CHECK(added == 0);
                continue;
            }
            CHECK(added == 1);
            CHECK(!item.holder->got.back().isData &&
                  item.holder->got.back().status == fam3::StatusTimeOut);
            // The request's own items have had their turn in this pass.
            if (inKeyRange(item, current))
                ++item.served;
        }
        CHECK(deliveries - total == schedule.size());
    }

public:
    // Removed items never hear of anything again.
    void checkRemoved() const
    {
        for (const auto& item : items) {
            if (!item->registered)
                CHECK(item->holder->got.size() == item->removedAt);
        }
    }

private:
    std::size_t deliveries = 0;
    Schedule schedule;
    std::vector<std::unique_ptr<Item>> items;
    fam3::LE01ReadDataMaxCount maxCount;
    fam3::ReadRequest previous; // the last request made, the empty one at the start of a pass
    fam3::ReadRequest current;  // the command outstanding, or answered last
    bool outstanding = false;
    std::int64_t position = 0;  // how far the pass has come: the last key it has taken
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::currentData = data;
    fuzz::currentSize = size;
    Plc plc;
    std::size_t at = 0;
    while (at < size) {
        const std::uint8_t op = data[at++];
        switch (op % 8) {
        case 0:
        case 1:
        case 2:
            if (size - at < 4) {
                at = size;
                break;
            }
            plc.add(data + at);
            at += 4;
            break;
        case 3:
            if (at < size)
                plc.remove(data[at++]);
            break;
        default:
            if ((op >> 3) % 8 == 6 && at < size)
                plc.step(op, data[at++]);
            else
                plc.step(op, static_cast<std::uint8_t>(at));
            break;
        }
    }
    plc.finish();
    plc.checkRemoved();
    return 0;
}
