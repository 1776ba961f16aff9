#pragma once
// The read request that the first bytes of a frame target's input choose: one that the read
// scheduling could build, on any device with an address rule, at any valid address, of any
// span up to the device's read limit.
//   byte 0: bits 0-1 the CPU number - 1; bits 2-7 the device, an index (modulo 24) into the
//           devices with an address rule, so that bit and word devices alike come up
//   bytes 1-3: the address number, a big-endian 24-bit value folded into the device's rule
//   byte 4: the span - 1, modulo the device's read limit (256 bits or 128 bytes)
// The kind of the device decides between the bit read and the word read, as in the link.
// The rest of the input is the answer. Included after tests/fuzz/invariant.h.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "item/item_name.h"
#include "link/frames.h"
#include "link/read_request.h"

namespace fuzz {

// Bytes of the input that choose the request.
constexpr std::size_t RequestBytes = 5;

// Every device code with an address rule.
constexpr std::uint32_t addressedDevices[] = {1,  2,  3,  4,  5,  8,  9,  12, 13, 16, 18, 20,
                                              21, 22, 23, 24, 25, 26, 32, 33, 37, 48, 49, 53};
constexpr std::size_t addressedDeviceCount = sizeof addressedDevices / sizeof addressedDevices[0];

// An address number inside the rule of `device`, from any value: plain devices 1 to 262144,
// L and W unit x 10000 + point (units 0 to 7, points 1 to 2048), X and Y unit x 10000 +
// slot x 100 + terminal (slots 1 to 16, terminals 1 to 64). Values that differ by the size of
// the device give the same address, so the low values give the first addresses.
inline std::uint32_t addressOf(std::uint32_t device, std::uint32_t value)
{
    switch (device) {
    case 12: // L
    case 23: { // W
        const std::uint32_t x = value % (8 * 2048);
        return x / 2048 * 10000 + x % 2048 + 1;
    }
    case 24: // X
    case 25: { // Y
        const std::uint32_t x = value % (8 * 1024);
        return x / 1024 * 10000 + (x % 1024 / 64 + 1) * 100 + x % 64 + 1;
    }
    default:
        return value % 262144 + 1;
    }
}

inline bool isBitRead(const fam3::ReadRequest& r)
{
    return fam3::deviceKind(r.device) == fam3::BitKind;
}

// The request of the first RequestBytes bytes of `data`.
inline fam3::ReadRequest requestOf(const std::uint8_t* data)
{
    fam3::ReadRequest r;
    r.cpu = (data[0] & 3) + 1;
    r.device = addressedDevices[(data[0] >> 2) % addressedDeviceCount];
    const std::uint32_t address =
        addressOf(r.device, std::uint32_t(data[1]) << 16 | std::uint32_t(data[2]) << 8 | data[3]);
    r.address = static_cast<std::int32_t>(address);
    r.startOffset = fam3::deviceOffset(r.device, address);
    r.endOffset = r.startOffset + data[4] % fam3::LE01ReadDataMaxCount().maxCount(r.device) + 1;
    return r;
}

// One input of a frame target, taken apart.
struct FrameInput {
    fam3::ReadRequest request;
    bool bits = false;         // a bit read, else a word read
    std::uint32_t count = 0;   // bits or words that the command asks for
    std::size_t dataSize = 0;  // bytes of data for the items: one a bit, two a word
    std::size_t length = 0;    // bytes of the answer
    // The answer in a heap block of exactly its length, so that a read past it is seen.
    std::unique_ptr<unsigned char[]> answer;
};

// Records the input for the invariants' report and takes it apart; false when it is too short
// to choose a request. The count is within the read limit of the request's device.
inline bool openFrameInput(const std::uint8_t* data, std::size_t size, FrameInput& in)
{
    currentData = data;
    currentSize = size;
    if (size < RequestBytes)
        return false;
    in.request = requestOf(data);
    in.bits = isBitRead(in.request);
    in.count = in.bits ? fam3::BitCount(in.request) : fam3::WordCount(in.request);
    CHECK(in.count >= 1 && in.count <= (in.bits ? 256u : 64u));
    in.dataSize = in.bits ? in.count : 2 * in.count;
    in.length = size - RequestBytes;
    in.answer.reset(new unsigned char[in.length == 0 ? 1 : in.length]);
    std::memcpy(in.answer.get(), data + RequestBytes, in.length);
    return true;
}

} // namespace fuzz
