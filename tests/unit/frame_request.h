#pragma once
// Read requests and byte strings for the tests of the command frames.
#include <vector>

#include "link/read_request.h"

namespace frame_test {

typedef std::vector<unsigned char> Bytes;

inline fam3::ReadRequest request(int cpu, unsigned device, int address, unsigned start,
                                 unsigned end)
{
    fam3::ReadRequest r;
    r.cpu = cpu;
    r.device = device;
    r.address = address;
    r.startOffset = start;
    r.endOffset = end;
    return r;
}

} // namespace frame_test
