// A minimal IPv4 UDP socket over POSIX sockets or Windows Sockets (the one place that knows
// which).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace plcsim {

struct Endpoint {
    std::uint32_t address = 0;  // IPv4 address, host byte order
    std::uint16_t port = 0;
    std::string text() const;  // "127.0.0.1:12289"
};

// Strict dotted-decimal IPv4 ("127.0.0.1"), host byte order.
bool parseIpv4(const std::string& text, std::uint32_t& address);

class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Opens and binds to address:port (port 0: any free port). Throws std::runtime_error.
    void open(const std::string& address, std::uint16_t port);
    void close();
    bool isOpen() const { return opened; }
    Endpoint local() const;

    // Waits up to timeoutMs for a datagram; true when one can be received.
    bool waitReadable(int timeoutMs);
    // One datagram into buffer (truncated to capacity); -1 when none could be received.
    long receive(std::uint8_t* buffer, std::size_t capacity, Endpoint& from);
    bool send(const std::uint8_t* data, std::size_t size, const Endpoint& to);

private:
    bool opened = false;
    uintptr_t descriptor = 0;
};

}  // namespace plcsim
