#pragma once
// The entry of the two frame targets: each input is taken apart (frame_input.h) and handed to
// fuzz::checkFrame, which each target defines. Included after tests/fuzz/invariant.h.
#include "tests/fuzz/frame_input.h"

namespace fuzz {
void checkFrame(const FrameInput& in);
} // namespace fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FrameInput in;
    if (fuzz::openFrameInput(data, size, in))
        fuzz::checkFrame(in);
    return 0;
}
