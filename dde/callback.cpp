#include "dde/callback.h"

#include <csignal>
#include <cstring>

#include "dde/dde.h"
#include "dde/plc_dde_server.h"
#include "shell/process.h"

namespace {

PLCDdeServer* ServerOf(HSZ topic)
{
    const auto found = process::topicTable.find(topic);
    return found == process::topicTable.end() ? nullptr : found->second;
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The system topic knows one command: END, in any letter case, and nothing around it.
bool IsEndCommand(HDDEDATA data)
{
    // Zeroed first, so that a short command never compares bytes of an earlier one.
    char command[256];
    std::memset(command, 0, sizeof command);
    Dde::GetData(data, command, sizeof command, 0);
    const char end[] = "END";
    for (std::size_t i = 0; i < sizeof end; ++i) {
        if (Upper(command[i]) != end[i])
            return false;
    }
    return true;
}

HDDEDATA Dispatch(const DdeTransaction& t)
{
    switch (t.type) {
    case XTYP_CONNECT:
        return reinterpret_cast<HDDEDATA>(
            static_cast<ULONG_PTR>(ServerOf(t.hsz1) != nullptr || t.hsz1 == process::systemTopic));
    case XTYP_ADVSTART: {
        PLCDdeServer* server = ServerOf(t.hsz1);
        if (t.format != CF_TEXT || server == nullptr)
            return nullptr;
        return reinterpret_cast<HDDEDATA>(static_cast<LONG_PTR>(server->AdviseStart(&t)));
    }
    case XTYP_ADVREQ: {
        PLCDdeServer* server = ServerOf(t.hsz1);
        return server == nullptr ? nullptr : server->AdviseRequest(&t);
    }
    case XTYP_REQUEST: {
        PLCDdeServer* server = ServerOf(t.hsz1);
        return server == nullptr ? nullptr : server->Request(&t);
    }
    case XTYP_ADVSTOP: {
        PLCDdeServer* server = ServerOf(t.hsz1);
        if (server == nullptr)
            return nullptr;
        return reinterpret_cast<HDDEDATA>(static_cast<LONG_PTR>(server->AdviseStop(&t)));
    }
    case XTYP_EXECUTE:
        if (t.hsz1 != process::systemTopic || !IsEndCommand(t.data))
            return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
        process::StopRequest(SIGINT);
        return reinterpret_cast<HDDEDATA>(DDE_FACK);
    case XTYP_DISCONNECT:
        // The callback does not know which topic the conversation was on; a server that never
        // saw it ignores it.
        for (auto& entry : process::topicTable)
            entry.second->Disconnect(&t);
        return reinterpret_cast<HDDEDATA>(1);
    default:
        // Pokes, wildcard connects, registration notices and the rest are not served.
        return nullptr;
    }
}

} // namespace

HDDEDATA CALLBACK DdeCallback(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2,
                              HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2)
{
    const DdeTransaction t = {type, format, conv, hsz1, hsz2, data, data1, data2};
    // An exception must never unwind through DDEML; a transaction that fails that way is
    // refused like any other.
    try {
        return Dispatch(t);
    } catch (...) {
        return nullptr;
    }
}
