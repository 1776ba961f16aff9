#include "dde/callback.h"

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "dde/dde.h"
#include "dde/plc_dde_server.h"
#include "dde/system_topic.h"
#include "dde/wine_conversations.h"
#include "dde/wine_ddeml.h"
#include "shell/msg.h"
#include "shell/process.h"

namespace {

PLCDdeServer* ServerOf(HSZ topic)
{
    const auto found = process::topicTable.find(topic);
    return found == process::topicTable.end() ? nullptr : found->second;
}

// The text formats every topic serves. The holders and the system topic render CF_TEXT; a
// CF_UNICODETEXT transaction gets the same text as UTF-16, converted from the ANSI code page as
// Windows converts CF_TEXT to CF_UNICODETEXT on the clipboard.
bool IsTextFormat(UINT format) { return format == CF_TEXT || format == CF_UNICODETEXT; }

// `text`, a CF_TEXT data handle, in the transaction's format: unchanged for any format but
// CF_UNICODETEXT, otherwise a new handle with the text up to its first NUL as UTF-16 and a
// terminating NUL, and `text` freed. Null when `text` is null or the new handle cannot be made.
HDDEDATA InFormat(HDDEDATA text, const DdeTransaction& t)
{
    if (text == nullptr || t.format != CF_UNICODETEXT)
        return text;
    HDDEDATA converted = nullptr;
    try {
        std::string bytes(Dde::GetData(text, nullptr, 0, 0), '\0');
        if (!bytes.empty())
            Dde::GetData(text, &bytes[0], static_cast<DWORD>(bytes.size()), 0);
        bytes.resize(std::strlen(bytes.c_str()));
        const int size = static_cast<int>(bytes.size());
        std::vector<wchar_t> wide(static_cast<std::size_t>(size) + 1, L'\0');
        if (size == 0 ||
            MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, wide.data(), size) > 0) {
            wide.resize(std::wcslen(wide.data()) + 1);
            converted = Dde::CreateDataHandle(wide.data(),
                                              static_cast<DWORD>(wide.size() * sizeof(wchar_t)), 0,
                                              t.hsz2, CF_UNICODETEXT, 0);
        }
    } catch (...) {
        converted = nullptr;
    }
    Dde::FreeDataHandle(text);
    return converted;
}

// The clipboard format of the data handle that answers the transaction.
UINT AnswerFormat(const DdeTransaction& t)
{
    return t.format == CF_UNICODETEXT ? CF_UNICODETEXT : CF_TEXT;
}

HDDEDATA Flag(bool value) { return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(value)); }

HDDEDATA Dispatch(const DdeTransaction& t)
{
    PLCDdeServer* server = ServerOf(t.hsz1);
    const bool system = system_topic::Serves(t.hsz1);
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
    case XTYP_ADVSTART: {
        const bool accepted = IsTextFormat(t.format) &&
                              (server != nullptr ? server->AdviseStart(&t) != 0
                                                 : system && system_topic::AdviseStart(t));
        wine_conversations::AdviseAnswered(accepted);
        return Flag(accepted);
    }
    case XTYP_ADVREQ: {
        const HDDEDATA data = InFormat(server != nullptr ? server->AdviseRequest(&t)
                                       : system          ? system_topic::AdviseRequest(t)
                                                         : nullptr,
                                       t);
        wine_ddeml::AdviseAnswered(data, AnswerFormat(t), t.data1);
        return data;
    }
    case XTYP_REQUEST: {
        // A PLC topic answers a request in any other format with its CF_TEXT text: clients that
        // ask in another format rely on it.
        const HDDEDATA data = InFormat(server != nullptr                  ? server->Request(&t)
                                       : system && IsTextFormat(t.format) ? system_topic::Request(t)
                                                                          : nullptr,
                                       t);
        wine_ddeml::RequestAnswered(data, AnswerFormat(t));
        return data;
    }
    case XTYP_ADVSTOP:
        if (server != nullptr)
            return Flag(server->AdviseStop(&t) != 0);
        if (system)
            system_topic::AdviseStop(t);
        return Flag(system);
    case XTYP_EXECUTE:
        return reinterpret_cast<HDDEDATA>(system_topic::Execute(t) ? DDE_FACK : DDE_FNOTPROCESSED);
    case XTYP_DISCONNECT:
        // The callback does not know which topic the conversation was on; a server that never
        // saw it ignores it.
        for (auto& entry : process::topicTable)
            entry.second->Disconnect(&t);
        system_topic::Disconnect(t);
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
    // The lines the transaction logs are written when it is done, all at once.
    const Msg::Gathering lines;
    // An exception must never unwind through DDEML; a transaction that fails that way is
    // refused like any other.
    try {
        wine_ddeml::CollectRequestLeftovers();
        return Dispatch(t);
    } catch (...) {
        return nullptr;
    }
}
