#pragma once
// The link to one FA-M3 PLC through its Ethernet interface module: a non-blocking UDP socket
// and a state machine that runs one state per timer tick.
#include <winsock2.h>

#include <cstdint>
#include <string>

#include "item/item_name.h"
#include "link/frames.h"
#include "link/link_statistics.h"
#include "link/read_request.h"

namespace fam3 {

class FAM3DdeServer;

// What the link knows of its PLC: nothing answered yet, answers coming in one form, or no
// answer since a time-out or an unanswered probe, or no way to the module since a failed connect
// or send.
enum class LinkState { Starting, Ascii, Binary, NoAnswer, Unreachable };

// A failed socket call while connecting: the Windows Sockets error code of the call. Thrown and
// caught inside the connect step; it never leaves the link.
class LE01Exception {
public:
    explicit LE01Exception(int code) : code(code) {}
    std::int32_t code;
};

class LE01Comm {
public:
    typedef fam3::ReadRequest ReadRequest;
    typedef fam3::LE01ReadDataMaxCount ReadDataMaxCount;

    // mode: ModeAuto, ModeBinary or ModeAscii (link/link_mode.h); any other value acts as
    // ModeAuto.
    LE01Comm(FAM3DdeServer* server, const char* ipAddress, std::uint16_t port, int mode);
    ~LE01Comm();

    // Runs the current state once; called on every timer tick.
    void Poll();
    void CloseSocket();

    LE01Comm(const LE01Comm&) = delete;
    LE01Comm& operator=(const LE01Comm&) = delete;

    ReadDataMaxCount readDataMaxCount;
    FAM3DdeServer* server;
    std::string ipAddress;
    std::uint16_t port;
    std::int32_t mode;
    SOCKET sock;
    std::int32_t tickCount;
    void (LE01Comm::*state)();
    ReadRequest request;

    LinkState linkState = LinkState::Starting;
    // Called after every change of linkState; nobody is told while it is null.
    void (*linkStateChanged)(LE01Comm& link) = nullptr;

    // Counted since the link was made.
    LinkStatistics statistics;

    // The socket calls that exchange datagrams. They are the system's; tests put their own in to
    // make a call fail the way a network does.
    int(WSAAPI* receive)(SOCKET, char*, int, int) = ::recv;
    int(WSAAPI* transmit)(SOCKET, const char*, int, int) = ::send;

    // Ticks between connect attempts, allowed for the probe's reply and for an answer.
    static constexpr std::int32_t TickLimit = 500;
    // Every receive reads into a stack buffer of this size.
    static constexpr int ReceiveBufferSize = 512;
    // Most datagrams thrown away before a command, so that a flooding peer cannot hold a tick.
    static constexpr int DiscardLimit = 256;

private:
    // The states; each runs for one tick, or is called at once by the state before it.
    void Connect();
    void Dispatch();
    void SendProbe();
    void WaitProbe();
    void PrepareAscii();
    void PrepareBinary();
    void SendAsciiWrd();
    void SendAsciiBrd();
    void SendBinaryWrd();
    void SendBinaryBrd();
    void WaitAsciiWrd();
    void WaitAsciiBrd();
    void WaitBinaryWrd();
    void WaitBinaryBrd();

    typedef void (LE01Comm::*State)();
    typedef AnswerVerdict (*AnswerCheck)(const ReadRequest&, const unsigned char*, std::size_t,
                                         unsigned char*, std::size_t);

    void Attempt();
    void Unreadable(LinkState why);
    void SetLinkState(LinkState now);
    void Reached();
    void Failure(std::uint64_t LinkStatistics::*counter);
    void Prepare(State bitRead, State wordRead, State self);
    void DiscardWaiting();
    void Transmit(const void* bytes, int size, State wait);
    void Wait(AnswerCheck check, State prepare);
};

} // namespace fam3
