#pragma once
// The read request that the first two bytes of a frame target's input choose:
//   byte 0: bit 0 set for a bit read, bits 1-2 the CPU number - 1
//   byte 1: the span - 1, modulo the device's read limit (256 bits or 128 bytes)
// The request reads M1 on (a bit device) or D1 on (a word device).
#include <cstdint>

#include "link/read_request.h"

namespace fuzz {

inline bool isBitRead(const std::uint8_t* data) { return (data[0] & 1) != 0; }

inline fam3::ReadRequest requestOf(const std::uint8_t* data)
{
    const bool bits = isBitRead(data);
    fam3::ReadRequest r;
    r.cpu = ((data[0] >> 1) & 3) + 1;
    r.device = bits ? 13 : 4; // M or D
    r.address = 1;
    r.startOffset = 0;
    r.endOffset = data[1] % (bits ? 256u : 128u) + 1;
    return r;
}

} // namespace fuzz
