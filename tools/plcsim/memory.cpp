#include "tools/plcsim/memory.h"

#include <stdexcept>

namespace plcsim {

std::uint64_t Memory::key(int cpu, const Device& device, std::uint32_t point)
{
    if (cpu < 1 || cpu > CpuCount)
        throw std::out_of_range("CPU number outside 1 to 4");
    if (point >= deviceSize(device))
        throw std::out_of_range("point beyond the device");
    return (static_cast<std::uint64_t>(cpu) << 40) | (static_cast<std::uint64_t>(device.code) << 24) | point;
}

std::uint16_t Memory::get(int cpu, const Device& device, std::uint32_t point) const
{
    auto it = stored.find(key(cpu, device, point));
    return it == stored.end() ? 0 : it->second;
}

void Memory::set(int cpu, const Device& device, std::uint32_t point, std::uint16_t value)
{
    const std::uint64_t k = key(cpu, device, point);
    if (device.kind == Kind::Bit)
        value = value ? 1 : 0;
    if (value == 0)
        stored.erase(k);
    else
        stored[k] = value;
}

}  // namespace plcsim
