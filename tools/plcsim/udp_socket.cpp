#include "tools/plcsim/udp_socket.h"

#include <cstring>
#include <stdexcept>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>
using SocketHandle = SOCKET;
using AddressLength = int;
namespace {
int lastError()
{
    return WSAGetLastError();
}
void closeHandle(SocketHandle s)
{
    closesocket(s);
}
}  // namespace
#else
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
using SocketHandle = int;
using AddressLength = socklen_t;
namespace {
int lastError()
{
    return errno;
}
void closeHandle(SocketHandle s)
{
    ::close(s);
}
constexpr int INVALID_SOCKET = -1;
}  // namespace
#endif

namespace plcsim {
namespace {

SocketHandle handleOf(uintptr_t h)
{
    return static_cast<SocketHandle>(h);
}

sockaddr_in toSockaddr(std::uint32_t address, std::uint16_t port)
{
    sockaddr_in a;
    std::memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(address);
    return a;
}

std::string failure(const char* what, int code)
{
#ifdef _WIN32
    return std::string(what) + " failed (error " + std::to_string(code) + ")";
#else
    return std::string(what) + " failed: " + std::strerror(code) + " (error " +
           std::to_string(code) + ")";
#endif
}

}  // namespace

std::string Endpoint::text() const
{
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF) + ":" +
           std::to_string(port);
}

bool parseIpv4(const std::string& text, std::uint32_t& address)
{
    std::uint32_t result = 0;
    std::size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.')
                return false;
            ++pos;
        }
        const std::size_t begin = pos;
        std::uint32_t value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - begin < 3)
            value = value * 10 + static_cast<std::uint32_t>(text[pos++] - '0');
        if (pos == begin || value > 255)
            return false;
        result = (result << 8) | value;
    }
    if (pos != text.size())
        return false;
    address = result;
    return true;
}

UdpSocket::~UdpSocket()
{
    close();
}

void UdpSocket::open(const std::string& address, std::uint16_t port)
{
    if (opened)
        throw std::logic_error("socket already open");
    std::uint32_t ip = 0;
    if (!parseIpv4(address, ip))
        throw std::runtime_error("not an IPv4 address: '" + address + "'");
#ifdef _WIN32
    WSADATA data;
    const int started = WSAStartup(MAKEWORD(2, 2), &data);
    if (started != 0)
        throw std::runtime_error(failure("WSAStartup", started));
#endif
    const SocketHandle s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) {
        const int code = lastError();
#ifdef _WIN32
        WSACleanup();
#endif
        throw std::runtime_error(failure("socket", code));
    }
    const sockaddr_in a = toSockaddr(ip, port);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        const int code = lastError();
        closeHandle(s);
#ifdef _WIN32
        WSACleanup();
#endif
        throw std::runtime_error(
            failure(("binding to " + address + ":" + std::to_string(port)).c_str(), code));
    }
#ifdef _WIN32
    // Without this, an ICMP "port unreachable" for an earlier answer makes the next recvfrom
    // fail with WSAECONNRESET.
    BOOL reportReset = FALSE;
    DWORD returned = 0;
    WSAIoctl(s, SIO_UDP_CONNRESET, &reportReset, sizeof reportReset, nullptr, 0, &returned, nullptr,
             nullptr);
#endif
    descriptor = static_cast<uintptr_t>(s);
    opened = true;
}

void UdpSocket::close()
{
    if (!opened)
        return;
    closeHandle(handleOf(descriptor));
#ifdef _WIN32
    WSACleanup();
#endif
    opened = false;
    descriptor = 0;
}

Endpoint UdpSocket::local() const
{
    Endpoint e;
    if (!opened)
        return e;
    sockaddr_in a;
    AddressLength length = sizeof a;
    std::memset(&a, 0, sizeof a);
    if (::getsockname(handleOf(descriptor), reinterpret_cast<sockaddr*>(&a), &length) == 0) {
        e.address = ntohl(a.sin_addr.s_addr);
        e.port = ntohs(a.sin_port);
    }
    return e;
}

bool UdpSocket::waitReadable(int timeoutMs)
{
    if (!opened)
        return false;
    const SocketHandle s = handleOf(descriptor);
#ifdef _WIN32
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval timeout;
    timeout.tv_sec = timeoutMs / 1000;
    timeout.tv_usec = (timeoutMs % 1000) * 1000;
    return ::select(0, &readable, nullptr, nullptr, &timeout) > 0;
#else
    pollfd p;
    p.fd = s;
    p.events = POLLIN;
    p.revents = 0;
    return ::poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN);
#endif
}

long UdpSocket::receive(std::uint8_t* buffer, std::size_t capacity, Endpoint& from)
{
    if (!opened)
        return -1;
    sockaddr_in a;
    AddressLength length = sizeof a;
    std::memset(&a, 0, sizeof a);
    const auto n =
        ::recvfrom(handleOf(descriptor), reinterpret_cast<char*>(buffer),
                   static_cast<int>(capacity), 0, reinterpret_cast<sockaddr*>(&a), &length);
    if (n < 0)
        return -1;
    from.address = ntohl(a.sin_addr.s_addr);
    from.port = ntohs(a.sin_port);
    return static_cast<long>(n);
}

bool UdpSocket::send(const std::uint8_t* data, std::size_t size, const Endpoint& to)
{
    if (!opened)
        return false;
    const sockaddr_in a = toSockaddr(to.address, to.port);
    const auto n =
        ::sendto(handleOf(descriptor), reinterpret_cast<const char*>(data), static_cast<int>(size),
                 0, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    return n >= 0 && static_cast<std::size_t>(n) == size;
}

}  // namespace plcsim
