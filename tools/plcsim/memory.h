// Device memory of the simulated PLC: every device of both kinds on CPUs 1 to 4.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "tools/plcsim/devices.h"

namespace plcsim {

// Sparse store: points never written (or written 0) take no memory and read as 0.
// A point of a bit device holds 0 or 1, a point of a word device a 16-bit register.
// Not thread-safe; the simulator guards it.
class Memory {
public:
    // Throws std::out_of_range for a CPU outside 1..4 or a point beyond the device.
    std::uint16_t get(int cpu, const Device& device, std::uint32_t point) const;
    void set(int cpu, const Device& device, std::uint32_t point, std::uint16_t value);
    void clear() { stored.clear(); }

private:
    static std::uint64_t key(int cpu, const Device& device, std::uint32_t point);
    std::unordered_map<std::uint64_t, std::uint16_t> stored;
};

}  // namespace plcsim
