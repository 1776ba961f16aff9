#pragma once
// A stand-in for a registered item: the fields that the read scheduling reads, set the way an
// item name converts (offsets from the device's address rule, the key from itemKey), and a
// holder of the test's own kind that records or decodes what the distribution hands it.
#include <cstdint>
#include <memory>

#include "item/item_name.h"

namespace testing_support {

template <class Holder>
struct ScheduledItem {
    std::uint32_t cpu = 0;
    std::uint32_t device = 0;
    std::uint32_t address = 0;
    std::uint32_t startOffset = 0;
    std::uint32_t endOffset = 0;
    std::int64_t key = 0;
    std::unique_ptr<Holder> holder;

    // An item of `span` units (bits or bytes) at `address` of `device` on `cpu`. Throws
    // fam3::AddrConvException for an address that the device's rule refuses.
    void place(std::uint32_t cpuNumber, std::uint32_t deviceCode, std::uint32_t addressNumber,
               std::uint32_t span)
    {
        cpu = cpuNumber;
        device = deviceCode;
        address = addressNumber;
        startOffset = fam3::deviceOffset(device, address);
        endOffset = startOffset + span;
        key = fam3::itemKey(cpu, device, address, span);
    }
};

} // namespace testing_support
