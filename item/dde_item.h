#pragma once
// One registered item of one PLC topic: its converted address, span and key, its value holder
// and the number of advise loops on it.
#include <cstdint>

#include "item/post_base.h"

namespace fam3 {

class DdeItem {
public:
    // Converts `name` and makes the holder; throws DdeItemException (214, 215, 217, 218, 219,
    // 220) and then leaves nothing behind. Logs 221 with the new number of items.
    DdeItem(HSZ topic, HSZ item, const char* name);
    // Logs 227 with the number of items left, then releases the holder.
    ~DdeItem();

    DdeItem(const DdeItem&) = delete;
    DdeItem& operator=(const DdeItem&) = delete;

    std::int32_t refCount;
    std::uint32_t cpu;
    std::uint32_t device;
    std::uint32_t address;
    std::uint32_t startOffset;
    std::uint32_t endOffset;
    std::int64_t key;
    POSTBASEPTR holder;

    // Items alive in the whole process.
    static std::int32_t liveCount;
};

} // namespace fam3
