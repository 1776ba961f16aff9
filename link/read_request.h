#pragma once
// One read command: a contiguous stretch of one device on one CPU, and the keys of the first
// and the last item it covers. The empty request (every field 0) asks for nothing.
#include <cstdint>

namespace fam3 {

struct ReadRequest {
    std::int32_t cpu = 0;
    std::uint32_t device = 0;
    std::int32_t address = 0;
    std::uint32_t startOffset = 0;
    std::uint32_t endOffset = 0;
    std::int64_t firstKey = 0;
    std::int64_t lastKey = 0;
};

} // namespace fam3
