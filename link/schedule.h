#pragma once
// Read scheduling: grouping the registered items of one PLC into read requests in key order,
// and handing an answer (or a status code) back to the items a request covers.
//
// The operations work on the server's schedule, a multimap from item key to item pointer, and
// keep nothing between calls: the link remembers only the previous request, that is keys and
// offsets. Items may be added or removed between a command and its answer; every operation
// therefore searches the schedule anew by key.
//
// Templates over the schedule type, so that any multimap<int64_t, Item*> whose items expose
// cpu, device, address, startOffset, endOffset and holder (with SetData and SetStatus) can be
// walked.
#include <cstddef>
#include <cstdint>

#include "item/item_name.h"
#include "item/status_codes.h"
#include "link/read_request.h"

namespace fam3 {

// The request after `previous`: the first item whose key is greater than previous.lastKey and
// the items that follow it while they share its CPU and device, end before its start plus the
// device's read limit, and start less than (2 * limit) / 3 + 1 points after the furthest end
// reached so far. Items with the key of the last one taken always go along, so that the next
// request, which starts after that key, never skips one of them. Returns the empty request
// when no item follows `previous`.
template <class Schedule>
ReadRequest NextReadRequest(const Schedule& schedule, const ReadRequest& previous,
                            const CommReadDataMaxCount& readDataMaxCount)
{
    ReadRequest next;
    auto it = schedule.upper_bound(previous.lastKey);
    if (it == schedule.end())
        return next;

    const auto* first = it->second;
    const std::uint32_t max = readDataMaxCount.maxCount(first->device);
    const std::uint32_t gap = (2 * max) / 3 + 1;
    const std::uint32_t limit = first->startOffset + max;
    std::uint32_t high = first->endOffset;
    const std::int64_t firstKey = it->first;
    std::int64_t lastKey = firstKey;

    for (++it; it != schedule.end(); ++it) {
        const auto* item = it->second;
        if (it->first != lastKey) {
            if (item->cpu != first->cpu || item->device != first->device ||
                item->endOffset >= limit || item->startOffset >= high + gap)
                break;
        }
        if (item->endOffset > high)
            high = item->endOffset;
        lastKey = it->first;
    }

    next.cpu = static_cast<std::int32_t>(first->cpu);
    next.device = first->device;
    next.address = static_cast<std::int32_t>(first->address);
    next.startOffset = first->startOffset;
    next.endOffset = high;
    next.firstKey = firstKey;
    next.lastKey = lastKey;
    return next;
}

// The number of read commands one whole pass over the schedule takes now.
template <class Schedule>
std::size_t CommandsPerPass(const Schedule& schedule, const CommReadDataMaxCount& readDataMaxCount)
{
    std::size_t commands = 0;
    for (ReadRequest request = NextReadRequest(schedule, ReadRequest(), readDataMaxCount);
         deviceKind(request.device) != 0;
         request = NextReadRequest(schedule, request, readDataMaxCount))
        ++commands;
    return commands;
}

// Hands each item of the request's key range its slice of the answer data: the bytes from
// (item start - request start) on, as many as the item's span. Items that reach outside the
// request's offsets (registered after the command went out) get nothing. `data` holds the
// request's whole span.
template <class Schedule>
void PostReadData(const Schedule& schedule, const ReadRequest& request, const unsigned char* data)
{
    for (auto it = schedule.lower_bound(request.firstKey);
         it != schedule.end() && it->first <= request.lastKey; ++it) {
        const auto* item = it->second;
        if (item->startOffset < request.startOffset || item->endOffset > request.endOffset)
            continue;
        item->holder->SetData(data + (item->startOffset - request.startOffset),
                              item->endOffset - item->startOffset);
    }
}

// Gives `code` to every item of the request's key range; a time-out (StatusTimeOut) goes to
// every item of the schedule instead.
template <class Schedule>
void PostReadStatus(const Schedule& schedule, const ReadRequest& request, int code)
{
    if (code == StatusTimeOut) {
        for (const auto& entry : schedule)
            entry.second->holder->SetStatus(code);
        return;
    }
    for (auto it = schedule.lower_bound(request.firstKey);
         it != schedule.end() && it->first <= request.lastKey; ++it)
        it->second->holder->SetStatus(code);
}

} // namespace fam3
