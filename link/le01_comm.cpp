#include "link/le01_comm.h"

#include <windows.h>

#include <cstring>

#include "dde/fam3_dde_server.h"
#include "link/link_mode.h"
#include "link/schedule.h"
#include "resources/message_ids.h"
#include "shell/local_time.h"
#include "shell/msg.h"

namespace fam3 {

LE01Comm::LE01Comm(FAM3DdeServer* server, const char* ipAddress, std::uint16_t port, int mode)
    : server(server), ipAddress(ipAddress), port(port), mode(mode), sock(INVALID_SOCKET),
      tickCount(TickLimit), state(nullptr), request()
{
}

LE01Comm::~LE01Comm()
{
    CloseSocket();
}

void LE01Comm::Poll()
{
    if (state == nullptr)
        state = &LE01Comm::Connect;
    (this->*state)();
}

void LE01Comm::CloseSocket()
{
    if (sock != INVALID_SOCKET) {
        shutdown(sock, SD_SEND);
        closesocket(sock);
    }
    sock = INVALID_SOCKET;
}

// Counts the ticks since the last attempt; the attempt after construction comes on the first
// tick, every further one on the 501st tick after the one before.
void LE01Comm::Connect()
{
    if (++tickCount <= TickLimit)
        return;
    tickCount = 0;
    try {
        Attempt();
        state = &LE01Comm::Dispatch;
    } catch (const LE01Exception& failure) {
        // The code travelled with the exception, so nothing on the way could overwrite it.
        Msg::Log(Msg::Warning, msgid::SocketFailed, server->name.c_str(),
                 Msg::ErrorText(failure.code));
        Failure(&LinkStatistics::linkFailures);
        CloseSocket();
        Unreadable(LinkState::Unreachable);
    }
}

// Opens a non-blocking datagram socket connected to the module, or throws LE01Exception with
// the error code of the call that failed.
void LE01Comm::Attempt()
{
    sock = socket(AF_INET, SOCK_DGRAM, 0);
    if (sock == INVALID_SOCKET)
        throw LE01Exception(WSAGetLastError());

    // The address text is not checked and never looked up as a host name: an unreadable one
    // gives INADDR_NONE, which connect refuses.
    const unsigned long address = inet_addr(ipAddress.c_str());
    sockaddr_in peer;
    std::memset(&peer, 0, sizeof peer);
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = address;
    if (connect(sock, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == SOCKET_ERROR)
        throw LE01Exception(WSAGetLastError());

    u_long nonBlocking = 1;
    if (ioctlsocket(sock, FIONBIO, &nonBlocking) != 0)
        throw LE01Exception(WSAGetLastError());
}

void LE01Comm::Dispatch()
{
    if (mode == ModeBinary)
        PrepareBinary();
    else if (mode == ModeAscii)
        PrepareAscii();
    else
        SendProbe();
}

void LE01Comm::SendProbe()
{
    tickCount = 0;
    Transmit(ProbeFrame.data(), static_cast<int>(ProbeFrame.size()), &LE01Comm::WaitProbe);
}

void LE01Comm::WaitProbe()
{
    ++tickCount;
    unsigned char reply[ReceiveBufferSize];
    const int length = receive(sock, reinterpret_cast<char*>(reply), sizeof reply, 0);
    if (length == SOCKET_ERROR) {
        // Every receive failure is silence, including a refusal reported by the system.
        if (tickCount > TickLimit) {
            Msg::Log(Msg::Warning, msgid::NoProbeReply, server->name.c_str());
            Failure(&LinkStatistics::timeOuts);
            Unreadable(LinkState::NoAnswer);
            state = &LE01Comm::SendProbe;
        }
        return;
    }
    if (ProbeReplyIsAscii(reply, static_cast<std::size_t>(length))) {
        Msg::Log(Msg::Info, msgid::AsciiStarted, server->name.c_str());
        SetLinkState(LinkState::Ascii);
        state = &LE01Comm::PrepareAscii;
    } else {
        Msg::Log(Msg::Info, msgid::BinaryStarted, server->name.c_str());
        SetLinkState(LinkState::Binary);
        state = &LE01Comm::PrepareBinary;
    }
}

void LE01Comm::PrepareAscii()
{
    Prepare(&LE01Comm::SendAsciiBrd, &LE01Comm::SendAsciiWrd, &LE01Comm::PrepareAscii);
}

void LE01Comm::PrepareBinary()
{
    Prepare(&LE01Comm::SendBinaryBrd, &LE01Comm::SendBinaryWrd, &LE01Comm::PrepareBinary);
}

// Takes the request after the current one and sends it at once; the empty request (the cycle
// is complete, or nothing is registered) sends nothing and tries again next tick, from the
// first item.
void LE01Comm::Prepare(State bitRead, State wordRead, State self)
{
    tickCount = 0;
    const bool wasEmpty = deviceKind(request.device) == 0;
    request = NextReadRequest(server->schedule, request, readDataMaxCount);
    const int kind = deviceKind(request.device);
    statistics.NextRequest(wasEmpty, kind == 0, GetTickCount64());
    switch (kind) {
    case BitKind:
        (this->*bitRead)();
        break;
    case WordKind:
        (this->*wordRead)();
        break;
    default:
        // Connected, with nothing to send now: a failed connect or send is behind it.
        Reached();
        state = self;
        break;
    }
}

void LE01Comm::SendAsciiWrd()
{
    const std::string command = BuildAsciiWrd(request);
    Transmit(command.data(), static_cast<int>(command.size()), &LE01Comm::WaitAsciiWrd);
}

void LE01Comm::SendAsciiBrd()
{
    const std::string command = BuildAsciiBrd(request);
    Transmit(command.data(), static_cast<int>(command.size()), &LE01Comm::WaitAsciiBrd);
}

void LE01Comm::SendBinaryWrd()
{
    const BinaryCommand command = BuildBinaryWrd(request);
    Transmit(command.data(), static_cast<int>(command.size()), &LE01Comm::WaitBinaryWrd);
}

void LE01Comm::SendBinaryBrd()
{
    const BinaryCommand command = BuildBinaryBrd(request);
    Transmit(command.data(), static_cast<int>(command.size()), &LE01Comm::WaitBinaryBrd);
}

// Answers carry no sequence number: a late answer to a command that already timed out would
// wait in the socket ahead of the answer to the next command and be taken for it, shifting
// every later answer by one command. Nothing is outstanding when a command or the probe is
// about to go out, so whatever waits now is stale. Only "would block" says that nothing waits:
// a datagram socket reports WSAECONNRESET after an ICMP port unreachable and WSAEMSGSIZE for a
// datagram longer than the buffer while more datagrams wait behind them. The bound keeps a
// flooding peer (or a socket that fails every call) from holding the tick.
void LE01Comm::DiscardWaiting()
{
    unsigned char stale[ReceiveBufferSize];
    for (int i = 0; i < DiscardLimit; ++i) {
        if (receive(sock, reinterpret_cast<char*>(stale), sizeof stale, 0) == SOCKET_ERROR &&
            WSAGetLastError() == WSAEWOULDBLOCK)
            return;
    }
}

// Sends one datagram and waits for its answer from the next tick on; a failed send closes the
// socket and returns to Connect, which tries again after the retry interval.
void LE01Comm::Transmit(const void* bytes, int size, State wait)
{
    DiscardWaiting();
    if (transmit(sock, static_cast<const char*>(bytes), size, 0) == SOCKET_ERROR) {
        Msg::Log(Msg::Warning, msgid::SocketFailed, server->name.c_str(),
                 Msg::ErrorText(WSAGetLastError()));
        Failure(&LinkStatistics::linkFailures);
        CloseSocket();
        Unreadable(LinkState::Unreachable);
        state = &LE01Comm::Connect;
        return;
    }
    Reached();
    state = wait;
}

// The PLC cannot be read (no way to its module, or no answer): every item gets the time-out
// status at once, so that no client takes a last value for a current one. Answers that come
// back later post the values again.
void LE01Comm::Unreadable(LinkState why)
{
    PostReadStatus(server->schedule, request, StatusTimeOut);
    SetLinkState(why);
}

// The way to the module works again (a datagram went out, or the socket is connected with
// nothing to send): an earlier failed connect or send no longer describes the link, and nothing
// has answered since.
void LE01Comm::Reached()
{
    if (linkState == LinkState::Unreachable)
        SetLinkState(LinkState::Starting);
}

void LE01Comm::Failure(std::uint64_t LinkStatistics::*counter)
{
    ++(statistics.*counter);
    statistics.failed = true;
    statistics.lastFailure = local_time::Now();
}

void LE01Comm::SetLinkState(LinkState now)
{
    if (now == linkState)
        return;
    linkState = now;
    if (linkStateChanged != nullptr)
        linkStateChanged(*this);
}

void LE01Comm::WaitAsciiWrd()
{
    Wait(&CheckAsciiWrd, &LE01Comm::PrepareAscii);
}

void LE01Comm::WaitAsciiBrd()
{
    Wait(&CheckAsciiBrd, &LE01Comm::PrepareAscii);
}

void LE01Comm::WaitBinaryWrd()
{
    Wait(&CheckBinaryWrd, &LE01Comm::PrepareBinary);
}

void LE01Comm::WaitBinaryBrd()
{
    Wait(&CheckBinaryBrd, &LE01Comm::PrepareBinary);
}

// One receive per tick. An answer, good or rejected, goes to the request's items and the next
// command goes out in the same tick; the 501st silent tick marks every item of the PLC with
// the time-out status and starts over with Dispatch (a probe again in AUTO mode).
void LE01Comm::Wait(AnswerCheck check, State prepare)
{
    unsigned char answer[ReceiveBufferSize];
    const int length = receive(sock, reinterpret_cast<char*>(answer), sizeof answer, 0);
    if (length == SOCKET_ERROR) {
        if (++tickCount > TickLimit) {
            Msg::Log(Msg::Warning, msgid::TimedOut, server->name.c_str());
            Failure(&LinkStatistics::timeOuts);
            Unreadable(LinkState::NoAnswer);
            state = &LE01Comm::Dispatch;
        }
        return;
    }
    // Any answer, good or rejected, shows the module live in the form of this state.
    SetLinkState(prepare == &LE01Comm::PrepareAscii ? LinkState::Ascii : LinkState::Binary);
    unsigned char decoded[ReceiveBufferSize];
    const AnswerVerdict verdict =
        check(request, answer, static_cast<std::size_t>(length), decoded, sizeof decoded);
    if (verdict.accepted) {
        ++statistics.answers;
        PostReadData(server->schedule, request, verdict.data);
    } else {
        Failure(verdict.status == StatusUninterpreted ? &LinkStatistics::unreadable
                                                      : &LinkStatistics::errorAnswers);
        PostReadStatus(server->schedule, request, verdict.status);
    }
    (this->*prepare)();
}

} // namespace fam3
