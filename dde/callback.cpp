#include "dde/callback.h"

#include <csignal>
#include <cstring>

#include "dde/dde.h"
#include "dde/plc_dde_server.h"
#include "dde/system_topic.h"
#include "dde/wine_conversations.h"
#include "dde/wine_ddeml.h"
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

HDDEDATA Flag(bool value) { return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(value)); }

HDDEDATA Dispatch(const DdeTransaction& t)
{
    PLCDdeServer* server = ServerOf(t.hsz1);
    // The system topic's own items, unless a PLC has taken its name.
    const bool system = server == nullptr && t.hsz1 == process::systemTopic;
    switch (t.type) {
    case XTYP_CONNECT: {
        const bool accept = server != nullptr || t.hsz1 == process::systemTopic;
        if (accept)
            wine_conversations::Accepting();
        else
            wine_conversations::ConnectAnswered(Dde::Id(), t.hsz1, t.hsz2);
        return Flag(accept);
    }
    case XTYP_CONNECT_CONFIRM:
        wine_conversations::Confirmed(t.conv);
        return nullptr;
    case XTYP_WILDCONNECT: {
        const HDDEDATA pairs = system_topic::WildConnect(t.hsz1, t.hsz2);
        wine_conversations::ConnectAnswered(Dde::Id(), t.hsz1, t.hsz2);
        return pairs;
    }
    case XTYP_ADVSTART:
        if (t.format != CF_TEXT)
            return nullptr;
        if (server != nullptr)
            return Flag(server->AdviseStart(&t) != 0);
        return Flag(system && system_topic::CanAdvise(t));
    case XTYP_ADVREQ: {
        // Wine's DdePostAdvise asks every conversation that advises an item of the same name,
        // whatever its topic, and names the posting topic: a conversation on another topic must
        // not receive this topic's value.
        if (!Dde::IsOnTopic(t.conv, t.hsz1))
            return nullptr;
        const HDDEDATA data = server != nullptr ? server->AdviseRequest(&t)
                              : system          ? system_topic::Data(t)
                                                : nullptr;
        wine_ddeml::AdviseAnswered(data);
        return data;
    }
    case XTYP_REQUEST: {
        const HDDEDATA data = server != nullptr ? server->Request(&t)
                              : system          ? system_topic::Data(t)
                                                : nullptr;
        wine_ddeml::RequestAnswered(data);
        return data;
    }
    case XTYP_ADVSTOP:
        if (server != nullptr)
            return Flag(server->AdviseStop(&t) != 0);
        return Flag(system);
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
        wine_conversations::Disconnecting(Dde::Id(), t.conv);
        return reinterpret_cast<HDDEDATA>(1);
    default:
        // Pokes, registration notices and the rest are not served.
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
        wine_ddeml::CollectRequestLeftovers();
        return Dispatch(t);
    } catch (...) {
        return nullptr;
    }
}
