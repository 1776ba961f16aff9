#include "tools/ddesession/session.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include <dde.h>

#include "dde/wine_version.h"

namespace ddesession {

namespace {

// After a request, Wine's DDEML server sends the data and then one more positive
// acknowledgement (WDML_ServerHandleRequest in dlls/user32/dde_server.c), carrying the item's
// atom. A request that is waiting for its answer takes that acknowledgement for its own: it
// fails, and Wine's client deletes the atom once more than it added, so that the atom can die
// under another item's advise loop and its updates arrive under a recycled name. Under Wine the
// client therefore serves messages after a request until that acknowledgement has gone by, at
// most for the transaction time-out; elsewhere a moment's serving is all it costs.
constexpr DWORD settleAfterRequestMs = 50;
constexpr DWORD ackPollMs = 10;

// A synchronous transaction under Wine ends at the first DDE message of its conversation
// (WDML_SyncWaitTransactionReply in dlls/user32/dde_client.c); updates are held back from it
// (heldUpdates), but the late reply of a transaction that failed, a time-out say, would end the
// next transaction in its place. Under Wine a failed transaction is followed by this much
// serving of messages, which lets the late reply go by.
constexpr DWORD settleAfterFailureMs = 50;

// The sessions of the process, all on its one DDE thread: the callback finds the one that holds
// a transaction's conversation.
std::vector<Session*> sessions;

// Under Wine: the thread's hook that holds updates back during a transaction (heldUpdates), and
// the session whose transaction is waiting; DDEML never lets a callback start another one.
HHOOK updateHook = nullptr;
Session* transacting = nullptr;

// Whether the workaround for Wine's DDEML is on: the server's rule, looked at once.
bool runsUnderWine()
{
    static const bool wine = wine_ddeml::RunsUnderKnownWine();
    return wine;
}

// Ends the conversation and, under Wine, gives back its service and topic string handles: Wine's
// DDEML (WDML_ClientProc in dlls/user32/dde_client.c) makes them from the server's answer and
// never frees them, so that a script that reconnects again and again grows. The conversation's
// own references go with it, and nothing else of this instance holds these strings by then
// (connect() frees its handles at once).
void endConversation(DWORD instance, HCONV conv)
{
    CONVINFO info = {};
    info.cb = sizeof info;
    const bool release = runsUnderWine() && DdeQueryConvInfo(conv, QID_SYNC, &info) != 0;
    DdeDisconnect(conv);
    if (!release)
        return;
    if (info.hszSvcPartner)
        DdeFreeStringHandle(instance, info.hszSvcPartner);
    if (info.hszTopic)
        DdeFreeStringHandle(instance, info.hszTopic);
}

// The name of a global atom; empty when there is none. DDEML makes no string handle then.
std::wstring atomName(ATOM atom)
{
    wchar_t name[256] = {};
    if (atom == 0 || GlobalGetAtomNameW(atom, name, 256) == 0)
        return std::wstring();
    return name;
}

}  // namespace

Session::Session(DWORD timeoutMs, UINT unicodeCodePage)
    : timeoutMs(timeoutMs), unicodeCodePage(unicodeCodePage)
{
    sessions.push_back(this);
}

Session::~Session()
{
    if (instance != 0) {
        disconnect();
        DdeUninitialize(instance);
    }
    sessions.erase(std::remove(sessions.begin(), sessions.end(), this), sessions.end());
}

bool Session::initialize()
{
    error =
        DdeInitializeA(&instance, &Session::callback,
                       APPCMD_CLIENTONLY | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS, 0);
    if (error != DMLERR_NO_ERROR) {
        instance = 0;
        return false;
    }
    return true;
}

bool Session::connect(const std::string& service, const std::string& topic)
{
    HSZ hszService = DdeCreateStringHandleA(instance, service.c_str(), CP_WINANSI);
    HSZ hszTopic = DdeCreateStringHandleA(instance, topic.c_str(), CP_WINANSI);
    HCONV conv = nullptr;
    if (hszService && hszTopic) {
        conv = DdeConnect(instance, hszService, hszTopic, nullptr);
        if (!conv)
            error = DdeGetLastError(instance);
    } else {
        error = DdeGetLastError(instance);
    }
    if (hszService)
        DdeFreeStringHandle(instance, hszService);
    if (hszTopic)
        DdeFreeStringHandle(instance, hszTopic);
    conversation = conv;
    clientWindow = nullptr;
    CONVINFO info = {};
    info.cb = sizeof info;
    if (conv && DdeQueryConvInfo(conv, QID_SYNC, &info) != 0)
        clientWindow = info.hwnd;
    return conv != nullptr;
}

// Under Wine, a synchronous transaction ends at the first DDE message that reaches the
// conversation's window, whatever it is, and drops that message unseen
// (WDML_SyncWaitTransactionReply in dlls/user32/dde_client.c): an advise update that arrives
// while an advise start or a request waits for its answer makes an accepted advise look refused
// and is lost, so the item shows an old value until it changes again. The hook sees each message
// as the transaction's wait takes it from the queue; an update for the conversation (advise data,
// not the answer to a request) is kept and taken away from the wait, which then goes on waiting
// for its answer, and is delivered as it would have been once the transaction has ended.
LRESULT CALLBACK Session::heldUpdates(int code, WPARAM removed, LPARAM message)
{
    MSG* msg = reinterpret_cast<MSG*>(message);
    Session* session = transacting;
    if (code != HC_ACTION || removed != PM_REMOVE || session == nullptr || msg->hwnd == nullptr ||
        msg->hwnd != session->clientWindow)
        return CallNextHookEx(nullptr, code, removed, message);
    try {
        if (msg->message == WM_DDE_DATA) {
            UINT_PTR block = 0, atom = 0;
            bool answer = false;
            if (UnpackDDElParam(WM_DDE_DATA, msg->lParam, &block, &atom) && block != 0) {
                const HGLOBAL global = reinterpret_cast<HGLOBAL>(block);
                if (const auto* data = static_cast<const DDEDATA*>(GlobalLock(global))) {
                    answer = data->fResponse != 0;
                    GlobalUnlock(global);
                }
            }
            if (answer) {
                // Only a request's wait makes a string handle of what it takes.
                const HGLOBAL global = reinterpret_cast<HGLOBAL>(block);
                const bool named = session->transactionType == XTYP_REQUEST;
                session->replies.push_back({{global, wine_ddeml::Contents(global)},
                                            named ? atomName(static_cast<ATOM>(atom)) : L""});
            } else {
                session->held.push_back(*msg);
                // A message without a window is dispatched to nobody by the wait.
                msg->hwnd = nullptr;
            }
        } else if (msg->message == WM_DDE_ACK && (session->transactionType == XTYP_ADVSTART ||
                                                  session->transactionType == XTYP_ADVSTOP)) {
            UINT_PTR status = 0, atom = 0;
            if (UnpackDDElParam(WM_DDE_ACK, msg->lParam, &status, &atom))
                session->replies.push_back({{nullptr, {}}, atomName(static_cast<ATOM>(atom))});
        }
    } catch (...) {
        // Out of memory: the message goes to the wait, as without the hook.
    }
    return CallNextHookEx(nullptr, code, removed, message);
}

HDDEDATA Session::transact(LPBYTE data, DWORD size, HSZ item, UINT format, UINT type)
{
    DWORD result = 0;
    // The hook is there only while a transaction waits: while one is set, Wine asks its server
    // for the hook chain at every message taken from the queue (call_hooks in
    // dlls/win32u/hook.c), and updates arrive by the thousand.
    if (runsUnderWine())
        updateHook =
            SetWindowsHookExW(WH_GETMESSAGE, &Session::heldUpdates, nullptr, GetCurrentThreadId());
    transacting = this;
    transactionType = type;
    const HDDEDATA answer =
        DdeClientTransaction(data, size, conversation, item, format, type, timeoutMs, &result);
    if (answer == nullptr)
        error = DdeGetLastError(instance);
    transacting = nullptr;
    if (updateHook)
        UnhookWindowsHookEx(updateHook);
    updateHook = nullptr;
    // Wine's DDEML makes a string handle of the item each reply names (WDML_HandleRequestReply,
    // WDML_HandleAdviseReply and WDML_HandleUnadviseReply in dlls/user32/dde_client.c) and never
    // frees it, and it keeps the block a request's answer came in (KOMVAS's DDEML does not set
    // fRelease): about 50 bytes for every advise loop started or stopped and 150 for every
    // request, until the process ends; a bridge starts its loops again at every restart of
    // KOMVAS. Both are given back here, the block once recognised byte for byte. DDEML keeps one
    // node for every string handle made (WDML_CreateString in dlls/user32/dde_misc.c), and the
    // nodes of one string are alike: one handle made and two freed give back the one Wine made.
    for (const Reply& seen : replies) {
        if (seen.block.handle != nullptr && wine_ddeml::IsLeftBehind(seen.block))
            GlobalFree(seen.block.handle);
        if (seen.item.empty())
            continue;
        const HSZ named = DdeCreateStringHandleW(instance, seen.item.c_str(), CP_WINUNICODE);
        if (named == nullptr)
            continue;
        DdeFreeStringHandle(instance, named);
        DdeFreeStringHandle(instance, named);
    }
    replies.clear();
    std::vector<MSG> updates;
    updates.swap(held);
    for (const MSG& update : updates)
        DispatchMessageW(&update);
    return answer;
}

void Session::disconnect()
{
    HCONV conv = conversation;
    conversation = nullptr;
    if (conv)
        endConversation(instance, conv);
    forgetAdviseLoops();
}

void Session::forgetAdviseLoops()
{
    for (const AdviseLoop& loop : adviseLoops)
        DdeFreeStringHandle(instance, loop.hsz);
    adviseLoops.clear();
    loopItems.clear();
}

void Session::dropLoop(std::vector<AdviseLoop>::iterator loop)
{
    const HSZ hsz = loop->hsz;
    DdeFreeStringHandle(instance, hsz);
    adviseLoops.erase(loop);
    // The item keeps the name of the first loop on it that remains.
    loopItems.erase(hsz);
    for (const AdviseLoop& other : adviseLoops) {
        if (other.hsz == hsz) {
            loopItems.emplace(hsz, other.item);
            break;
        }
    }
}

std::vector<Session::AdviseLoop>::iterator Session::findLoop(HSZ hsz, UINT format)
{
    return std::find_if(adviseLoops.begin(), adviseLoops.end(), [&](const AdviseLoop& loop) {
        return loop.format == format && loop.hsz == hsz;
    });
}

HSZ Session::itemHandle(const std::string& item)
{
    const HSZ hsz = DdeCreateStringHandleA(instance, item.c_str(), CP_WINANSI);
    if (!hsz)
        error = DdeGetLastError(instance);
    return hsz;
}

bool Session::request(const std::string& item, UINT format, std::string& value)
{
    const HSZ hsz = itemHandle(item);
    if (!hsz)
        return false;
    HDDEDATA data = transact(nullptr, 0, hsz, format, XTYP_REQUEST);
    if (data) {
        value = dataText(data, format, unicodeCodePage);
        DdeFreeDataHandle(data);
    }
    DdeFreeStringHandle(instance, hsz);
    if (data && runsUnderWine())
        awaitRequestAcknowledgement();
    else if (data)
        pump(settleAfterRequestMs);
    else
        settleAfterFailure();
    return data != nullptr;
}

bool Session::advise(const std::string& item, UINT format)
{
    const HSZ hsz = itemHandle(item);
    if (!hsz)
        return false;
    const HDDEDATA ok = transact(nullptr, 0, hsz, format, XTYP_ADVSTART);
    if (!ok) {
        DdeFreeStringHandle(instance, hsz);
        settleAfterFailure();
        return false;
    }
    // The loop needs the handle for as long as it runs: keep it. A repeated advise start
    // renews the loop that exists; DDEML keeps one loop per item and format.
    if (findLoop(hsz, format) != adviseLoops.end()) {
        DdeFreeStringHandle(instance, hsz);
        return true;
    }
    adviseLoops.push_back({item, format, hsz});
    loopItems.emplace(hsz, item);
    return true;
}

bool Session::unadvise(const std::string& item, UINT format)
{
    const HSZ hsz = itemHandle(item);
    if (!hsz)
        return false;
    const HDDEDATA ok = transact(nullptr, 0, hsz, format, XTYP_ADVSTOP);
    if (!ok)
        settleAfterFailure();
    const auto loop = ok ? findLoop(hsz, format) : adviseLoops.end();
    if (loop != adviseLoops.end())
        dropLoop(loop);
    DdeFreeStringHandle(instance, hsz);
    return ok != nullptr;
}

void Session::unadviseAll()
{
    while (!adviseLoops.empty() && conversation) {
        const AdviseLoop loop = adviseLoops.back();
        transact(nullptr, 0, loop.hsz, loop.format, XTYP_ADVSTOP);
        // The loop may already have been removed by a lost conversation.
        if (!adviseLoops.empty() && adviseLoops.back().hsz == loop.hsz)
            dropLoop(adviseLoops.end() - 1);
    }
}

bool Session::execute(const std::string& command)
{
    const HDDEDATA ok = transact(reinterpret_cast<LPBYTE>(const_cast<char*>(command.c_str())),
                                 static_cast<DWORD>(command.size() + 1), nullptr, 0, XTYP_EXECUTE);
    return ok != nullptr;
}

void Session::settleAfterFailure()
{
    if (runsUnderWine() && conversation)
        pump(settleAfterFailureMs);
    checkConversation();
}

void Session::awaitRequestAcknowledgement()
{
    CONVINFO info = {};
    info.cb = sizeof info;
    if (!conversation || DdeQueryConvInfo(conversation, QID_SYNC, &info) == 0) {
        pump(settleAfterRequestMs);
        return;
    }
    ackWindow = info.hwnd;
    ackSeen = false;
    const ULONGLONG start = GetTickCount64();
    while (!ackSeen && conversation && GetTickCount64() - start < timeoutMs)
        pump(ackPollMs);
    ackWindow = nullptr;
}

bool pump(DWORD ms, std::initializer_list<HANDLE> wake)
{
    const std::vector<HANDLE> events(wake.begin(), wake.end());
    const DWORD count = static_cast<DWORD>(events.size());
    // How often the conversations' state is looked at while waiting.
    constexpr DWORD checkEveryMs = 100;
    // The longest run of messages served before the wake handles are looked at: a server that
    // sends faster than this thread serves must not keep it from its other work.
    constexpr DWORD serveAtOnceMs = 20;
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        MSG msg;
        bool acknowledged = false;
        bool more = false;
        const ULONGLONG servedUntil = GetTickCount64() + serveAtOnceMs;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            bool awaited = false;
            Session* terminated = nullptr;
            if (msg.message == WM_DDE_ACK) {
                for (Session* session : sessions) {
                    if (session->ackWindow != nullptr && msg.hwnd == session->ackWindow)
                        awaited = acknowledged = session->ackSeen = true;
                }
            } else if (msg.message == WM_DDE_TERMINATE && runsUnderWine()) {
                for (Session* session : sessions) {
                    if (session->conversation != nullptr && msg.hwnd == session->clientWindow)
                        terminated = session;
                }
            }
            if (terminated) {
                terminated->endedByServer(msg);
            } else if (awaited) {
                // Wine's DDEML does nothing with this acknowledgement (WDML_HandleReply in
                // dlls/user32/dde_client.c) and never frees the block in which Wine's user32
                // packed its values: one moveable block for every request, of the 65,536 a
                // process can hold. It is given back here instead; its atom is the one the
                // answer's data brought, whose reference DDEML has given back already.
                FreeDDElParam(WM_DDE_ACK, msg.lParam);
            } else {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            if (GetTickCount64() >= servedUntil) {
                more = true;
                break;
            }
        }
        // A disconnect handler may end a session: look at a copy of the list.
        const std::vector<Session*> now = sessions;
        for (Session* session : now) {
            if (std::find(sessions.begin(), sessions.end(), session) != sessions.end())
                session->checkConversation();
        }
        if (acknowledged || (count && WaitForMultipleObjects(count, events.data(), FALSE, 0) <
                                          WAIT_OBJECT_0 + count))
            return true;
        DWORD remaining = checkEveryMs;
        if (ms != INFINITE) {
            const ULONGLONG elapsed = GetTickCount64() - start;
            if (elapsed >= ms)
                return false;
            if (ms - elapsed < remaining)
                remaining = static_cast<DWORD>(ms - elapsed);
        }
        // Messages already in the queue would not end the wait: with some left, serve them.
        if (!more)
            MsgWaitForMultipleObjects(count, count ? events.data() : nullptr, FALSE, remaining,
                                      QS_ALLINPUT);
    }
}

void Session::checkConversation()
{
    if (!conversation)
        return;
    // Wine's DDEML marks a conversation that the server terminated without calling the
    // client back with XTYP_DISCONNECT; its status tells.
    CONVINFO info = {};
    info.cb = sizeof info;
    if (DdeQueryConvInfo(conversation, QID_SYNC, &info) == 0 || !(info.wStatus & ST_CONNECTED))
        lose();
}

void Session::endedByServer(const MSG& terminate)
{
    // Wine's DDEML keeps a conversation that the server terminated, with its advise loops, for
    // DdeReconnect (WDML_HandleIncomingTerminate in dlls/user32/dde_client.c), and then neither
    // DdeDisconnect nor DdeUninitialize frees it: about 60 bytes for every advise loop at every
    // stop of KOMVAS, in a bridge that runs for months. The conversation is ended from this side
    // instead, as though the client had ended it, and Wine frees all of it: the server's
    // terminate goes back into the queue, where it answers the one DdeDisconnect sends.
    PostMessageW(terminate.hwnd, WM_DDE_TERMINATE, terminate.wParam, 0);
    lose();
}

void Session::lose()
{
    HCONV conv = conversation;
    conversation = nullptr;
    forgetAdviseLoops();
    if (conv)
        endConversation(instance, conv);
    if (disconnectHandler)
        disconnectHandler();
}

bool Session::serverAlive() const
{
    CONVINFO info = {};
    info.cb = sizeof info;
    return conversation && DdeQueryConvInfo(conversation, QID_SYNC, &info) != 0 &&
           (info.wStatus & ST_CONNECTED) && IsWindow(info.hwndPartner);
}

std::string Session::lastError() const
{
    return ddeErrorName(error);
}

std::string Session::itemName(HSZ hsz) const
{
    const auto known = loopItems.find(hsz);
    if (known != loopItems.end())
        return known->second;
    char name[256] = {};
    DdeQueryStringA(instance, hsz, name, sizeof name, CP_WINANSI);
    return name;
}

HDDEDATA Session::handle(UINT type, UINT format, HSZ hsz2, HDDEDATA data)
{
    switch (type) {
    case XTYP_ADVDATA:
        if (updateHandler)
            updateHandler(itemName(hsz2),
                          data ? dataText(data, format, unicodeCodePage) : std::string());
        // Wine's DDEML keeps the block each update arrived in when the answer is DDE_FACK, and
        // a process holds at most 65,536 of them: after that many updates nothing more arrives.
        // Any other answer makes it free the block and changes nothing else there.
        return reinterpret_cast<HDDEDATA>(runsUnderWine() ? DDE_FNOTPROCESSED : DDE_FACK);
    case XTYP_DISCONNECT:
        if (conversation) {
            conversation = nullptr;
            forgetAdviseLoops();
            if (disconnectHandler)
                disconnectHandler();
        }
        return nullptr;
    default:
        return nullptr;
    }
}

HDDEDATA CALLBACK Session::callback(UINT type, UINT format, HCONV conv, HSZ, HSZ hsz2,
                                    HDDEDATA data, ULONG_PTR, ULONG_PTR)
{
    if (conv == nullptr)
        return nullptr;
    for (Session* session : sessions) {
        if (session->conversation == conv)
            return session->handle(type, format, hsz2, data);
    }
    return nullptr;
}

std::string dataText(HDDEDATA data, UINT format, UINT unicodeCodePage)
{
    const DWORD size = DdeGetData(data, nullptr, 0, 0);
    if (format == CF_UNICODETEXT) {
        std::wstring wide(size / sizeof(wchar_t), L'\0');
        if (!wide.empty())
            DdeGetData(data, reinterpret_cast<LPBYTE>(&wide[0]),
                       static_cast<DWORD>(wide.size() * sizeof(wchar_t)), 0);
        wide.resize(std::wcslen(wide.c_str()));
        if (wide.empty())
            return std::string();
        const int length = static_cast<int>(wide.size());
        const int bytes = WideCharToMultiByte(unicodeCodePage, 0, wide.data(), length, nullptr, 0,
                                              nullptr, nullptr);
        std::string text(bytes > 0 ? static_cast<std::size_t>(bytes) : 0, '\0');
        if (bytes > 0)
            WideCharToMultiByte(unicodeCodePage, 0, wide.data(), length, &text[0], bytes, nullptr,
                                nullptr);
        return text;
    }
    std::string text(size, '\0');
    if (size > 0)
        DdeGetData(data, reinterpret_cast<LPBYTE>(&text[0]), size, 0);
    const std::size_t end = text.find('\0');
    if (end != std::string::npos)
        text.resize(end);
    return text;
}

std::string ddeErrorName(UINT code)
{
    static const struct {
        UINT code;
        const char* name;
    } names[] = {
        {DMLERR_NO_ERROR, "DMLERR_NO_ERROR"},
        {DMLERR_ADVACKTIMEOUT, "DMLERR_ADVACKTIMEOUT"},
        {DMLERR_BUSY, "DMLERR_BUSY"},
        {DMLERR_DATAACKTIMEOUT, "DMLERR_DATAACKTIMEOUT"},
        {DMLERR_DLL_NOT_INITIALIZED, "DMLERR_DLL_NOT_INITIALIZED"},
        {DMLERR_DLL_USAGE, "DMLERR_DLL_USAGE"},
        {DMLERR_EXECACKTIMEOUT, "DMLERR_EXECACKTIMEOUT"},
        {DMLERR_INVALIDPARAMETER, "DMLERR_INVALIDPARAMETER"},
        {DMLERR_LOW_MEMORY, "DMLERR_LOW_MEMORY"},
        {DMLERR_MEMORY_ERROR, "DMLERR_MEMORY_ERROR"},
        {DMLERR_NOTPROCESSED, "DMLERR_NOTPROCESSED"},
        {DMLERR_NO_CONV_ESTABLISHED, "DMLERR_NO_CONV_ESTABLISHED"},
        {DMLERR_POKEACKTIMEOUT, "DMLERR_POKEACKTIMEOUT"},
        {DMLERR_POSTMSG_FAILED, "DMLERR_POSTMSG_FAILED"},
        {DMLERR_REENTRANCY, "DMLERR_REENTRANCY"},
        {DMLERR_SERVER_DIED, "DMLERR_SERVER_DIED"},
        {DMLERR_SYS_ERROR, "DMLERR_SYS_ERROR"},
        {DMLERR_UNADVACKTIMEOUT, "DMLERR_UNADVACKTIMEOUT"},
        {DMLERR_UNFOUND_QUEUE_ID, "DMLERR_UNFOUND_QUEUE_ID"},
    };
    for (const auto& entry : names)
        if (entry.code == code)
            return entry.name;
    char text[32];
    std::snprintf(text, sizeof text, "DMLERR_0x%04X", code);
    return text;
}

}  // namespace ddesession
