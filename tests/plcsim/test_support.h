// Helpers shared by the simulator's tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>

#include "tools/plcsim/protocol.h"
#include "tools/plcsim/udp_socket.h"

namespace plcsim::test {

inline Bytes text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}
inline Bytes bytes(std::initializer_list<int> list)
{
    Bytes out;
    for (int b : list)
        out.push_back(static_cast<uint8_t>(b));
    return out;
}
inline std::string str(const Bytes& b)
{
    return std::string(b.begin(), b.end());
}

constexpr uint32_t Loopback = 0x7F000001;

// A UDP peer on 127.0.0.1 that talks to the simulator like the server's link does.
class Client {
public:
    explicit Client(uint16_t serverPort) : serverEndpoint{Loopback, serverPort}
    {
        udp.open("127.0.0.1", 0);
    }

    void send(const Bytes& datagram) { udp.send(datagram.data(), datagram.size(), serverEndpoint); }

    // The next datagram, or nothing after timeoutMs.
    std::optional<Bytes> receive(int timeoutMs = 2000)
    {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (true) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left < 0 || !udp.waitReadable(static_cast<int>(left)))
                return std::nullopt;
            uint8_t buffer[2048];
            Endpoint from;
            const long n = udp.receive(buffer, sizeof buffer, from);
            if (n >= 0)
                return Bytes(buffer, buffer + n);
        }
    }

    std::optional<Bytes> ask(const Bytes& datagram, int timeoutMs = 2000)
    {
        send(datagram);
        return receive(timeoutMs);
    }

    uint16_t port() const { return udp.local().port; }

private:
    UdpSocket udp;
    Endpoint serverEndpoint;
};

}  // namespace plcsim::test
