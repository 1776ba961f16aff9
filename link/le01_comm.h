#pragma once
// The link to one FA-M3 PLC through its Ethernet interface module: a non-blocking UDP socket
// and a state machine that runs one state per timer tick.
#include <winsock2.h>

#include <cstdint>
#include <string>

#include "item/item_name.h"
#include "link/read_request.h"

namespace fam3 {

class FAM3DdeServer;

class LE01Comm {
public:
    typedef fam3::ReadRequest ReadRequest;
    typedef fam3::LE01ReadDataMaxCount ReadDataMaxCount;

    // mode: 0 AUTO (probe the module's form), 1 BINARY, 2 ASCII; any other value acts as AUTO.
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
};

} // namespace fam3
