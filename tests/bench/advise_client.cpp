// The client of the advise benchmark: makes COUNT items of TOPIC on the service KOMVAS and has
// them deleted again, through advise loops started and stopped in clipboard format FORMAT (text:
// CF_TEXT, unicode: CF_UNICODETEXT). KIND ddeml goes through DDEML; KIND raw speaks the DDE
// messages itself, as spreadsheets do: WM_DDE_INITIATE, WM_DDE_ADVISE with a DDEADVISE block,
// WM_DDE_ACK for every WM_DDE_DATA, WM_DDE_UNADVISE and WM_DDE_TERMINATE.
//
// One round advises D<FIRST>,W to D<FIRST + SPAN - 1>,W and waits for each item's first value;
// every third round the first item is advised in the other format too, every seventh it is
// advised twice in the same format; every tenth round ends with the conversation (loops still
// open) and a new one begins, the others stop every loop. Prints "progress N" every 100
// items, "failed N WHAT" for the first failures, and "done N failed F missing M" at the end (M:
// items whose value did not come in time).
//   advise_client ddeml|raw text|unicode TOPIC FIRST SPAN COUNT
#include <windows.h>
#include <dde.h>
#include <ddeml.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "shell/config_values.h"

namespace {

constexpr DWORD TransactionMs = 5000;
// A new item's first value comes with the link's next read, a few ticks later.
constexpr DWORD ValueMs = 2000;
constexpr std::size_t FailuresShown = 20;

std::size_t failures = 0;
// Items made before the current round, to number the failures.
std::size_t itemsMade = 0;

void Failed(const char* what, unsigned long detail)
{
    if (++failures <= FailuresShown)
        std::printf("failed %zu %s %#lx\n", itemsMade, what, detail);
}

// Serves window messages until `done()` or `ms` have passed; whether `done()` came true.
template <class Done>
bool ServeUntil(Done done, DWORD ms)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done())
            return true;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
    }
}

// The items of the round and whether each has had its value.
struct Batch {
    std::vector<std::string> names;
    std::vector<bool> valued;

    bool AllValued() const
    {
        for (const bool v : valued)
            if (!v)
                return false;
        return true;
    }
    void Valued(const char* name)
    {
        for (std::size_t i = 0; i < names.size(); ++i)
            if (_stricmp(names[i].c_str(), name) == 0)
                valued[i] = true;
    }
};

Batch batch;

// --- through DDEML -----------------------------------------------------------------------

DWORD instance = 0;

HDDEDATA CALLBACK Callback(UINT type, UINT, HCONV, HSZ, HSZ item, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    if (type != XTYP_ADVDATA)
        return nullptr;
    char name[64] = {0};
    DdeQueryStringA(instance, item, name, sizeof name, CP_WINANSI);
    batch.Valued(name);
    // Wine's DDEML client keeps the block of every update answered with DDE_FACK; any other
    // answer lets it go and changes nothing else.
    return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
}

class DdemlClient {
public:
    explicit DdemlClient(const char* topicName)
    {
        if (DdeInitializeA(&instance, Callback,
                           APPCMD_CLIENTONLY | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS,
                           0) != DMLERR_NO_ERROR)
            instance = 0;
        service = DdeCreateStringHandleA(instance, config::ServiceName, CP_WINANSI);
        topic = DdeCreateStringHandleA(instance, topicName, CP_WINANSI);
    }
    ~DdemlClient()
    {
        Disconnect();
        if (instance != 0)
            DdeUninitialize(instance);
    }
    bool Connect()
    {
        conv = DdeConnect(instance, service, topic, nullptr);
        return conv != nullptr;
    }
    void Disconnect()
    {
        if (conv != nullptr)
            DdeDisconnect(conv);
        conv = nullptr;
    }
    // Under Wine a transaction of a client ends early when an update arrives meanwhile, so the
    // round waits for each new item's value before the next transaction.
    void Advise(std::size_t slot, UINT format, bool awaitValue)
    {
        const HSZ item = DdeCreateStringHandleA(instance, batch.names[slot].c_str(), CP_WINANSI);
        const bool ok = DdeClientTransaction(nullptr, 0, conv, item, format, XTYP_ADVSTART,
                                             TransactionMs, nullptr) != nullptr;
        DdeFreeStringHandle(instance, item);
        if (!ok)
            Failed("advise", DdeGetLastError(instance));
        else if (awaitValue)
            ServeUntil([slot] { return batch.valued[slot]; }, ValueMs);
    }
    void Unadvise(std::size_t slot, UINT format)
    {
        const HSZ item = DdeCreateStringHandleA(instance, batch.names[slot].c_str(), CP_WINANSI);
        if (DdeClientTransaction(nullptr, 0, conv, item, format, XTYP_ADVSTOP, TransactionMs,
                                 nullptr) == nullptr)
            Failed("unadvise", DdeGetLastError(instance));
        DdeFreeStringHandle(instance, item);
    }
    // Every transaction has had its answer already.
    void AwaitAnswers() { }

private:
    HSZ service = nullptr;
    HSZ topic = nullptr;
    HCONV conv = nullptr;
};

// --- raw DDE messages ----------------------------------------------------------------------

HWND server = nullptr;
bool initiating = false;
bool serverTerminated = false;
// Acknowledgements still to come, in the order the server owes them: the server works through
// a conversation's messages in turn. Each entry holds the DDEADVISE block of an advise (null for
// an unadvise).
std::deque<HGLOBAL> awaitedAcks;

std::string AtomName(ATOM atom)
{
    wchar_t wide[256] = {0};
    char name[256] = {0};
    if (GlobalGetAtomNameW(atom, wide, 256) > 0)
        WideCharToMultiByte(CP_ACP, 0, wide, -1, name, sizeof name, nullptr, nullptr);
    return name;
}

LRESULT CALLBACK RawWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DDE_ACK:
        if (initiating) {
            // An answer to WM_DDE_INITIATE, sent rather than posted: the atoms are not packed.
            GlobalDeleteAtom(LOWORD(lParam));
            GlobalDeleteAtom(HIWORD(lParam));
            if (server == nullptr)
                server = reinterpret_cast<HWND>(wParam);
            else
                PostMessageW(reinterpret_cast<HWND>(wParam), WM_DDE_TERMINATE,
                             reinterpret_cast<WPARAM>(window), 0);
        } else if (reinterpret_cast<HWND>(wParam) == server) {
            UINT_PTR status = 0, atom = 0;
            UnpackDDElParam(WM_DDE_ACK, lParam, &status, &atom);
            FreeDDElParam(WM_DDE_ACK, lParam);
            GlobalDeleteAtom(static_cast<ATOM>(atom));
            if (!awaitedAcks.empty()) {
                // Wine hands the server a copy of the DDEADVISE block and leaves this one to the
                // client (post_dde_message in dlls/user32/message.c), whatever the answer.
                if (awaitedAcks.front() != nullptr)
                    GlobalFree(awaitedAcks.front());
                awaitedAcks.pop_front();
            }
        }
        return 0;
    case WM_DDE_DATA: {
        UINT_PTR data = 0, atom = 0;
        UnpackDDElParam(WM_DDE_DATA, lParam, &data, &atom);
        if (serverTerminated) {
            FreeDDElParam(WM_DDE_DATA, lParam);
            GlobalDeleteAtom(static_cast<ATOM>(atom));
        } else {
            batch.Valued(AtomName(static_cast<ATOM>(atom)).c_str());
            // Acknowledged, as spreadsheets do: the atom goes back to the server with it.
            const LPARAM ack = ReuseDDElParam(lParam, WM_DDE_DATA, WM_DDE_ACK, 0x8000, atom);
            if (!PostMessageW(server, WM_DDE_ACK, reinterpret_cast<WPARAM>(window), ack)) {
                FreeDDElParam(WM_DDE_ACK, ack);
                GlobalDeleteAtom(static_cast<ATOM>(atom));
            }
        }
        // The block is this process's own copy under Wine (unpack_dde_message).
        if (data != 0)
            GlobalFree(reinterpret_cast<HGLOBAL>(data));
        return 0;
    }
    case WM_DDE_TERMINATE:
        if (reinterpret_cast<HWND>(wParam) == server)
            serverTerminated = true;
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

class RawClient {
public:
    explicit RawClient(const char* topicName)
    {
        wchar_t wide[256] = {0};
        MultiByteToWideChar(CP_ACP, 0, topicName, -1, wide, 256);
        topic = wide;
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = RawWindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"KomvasBenchRawClient";
        RegisterClassW(&windowClass);
        window = CreateWindowW(windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                               nullptr, windowClass.hInstance, nullptr);
    }
    ~RawClient()
    {
        Disconnect();
        DestroyWindow(window);
    }
    bool Connect()
    {
        server = nullptr;
        serverTerminated = false;
        const ATOM service = GlobalAddAtomA(config::ServiceName);
        const ATOM topicAtom = GlobalAddAtomW(topic.c_str());
        initiating = true;
        DWORD_PTR result = 0;
        SendMessageTimeoutW(HWND_BROADCAST, WM_DDE_INITIATE, reinterpret_cast<WPARAM>(window),
                            MAKELPARAM(service, topicAtom), SMTO_NORMAL, TransactionMs, &result);
        initiating = false;
        GlobalDeleteAtom(service);
        GlobalDeleteAtom(topicAtom);
        return server != nullptr;
    }
    void Disconnect()
    {
        if (server == nullptr)
            return;
        AwaitAcks();
        PostMessageW(server, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window), 0);
        if (!ServeUntil([] { return serverTerminated; }, TransactionMs))
            Failed("terminate", 0);
        // Whatever the server still owed has been dropped with the conversation.
        for (const HGLOBAL options : awaitedAcks)
            if (options != nullptr)
                GlobalFree(options);
        awaitedAcks.clear();
        server = nullptr;
    }
    // Posts the advise; AwaitAnswers waits for its acknowledgement.
    void Advise(std::size_t slot, UINT format, bool)
    {
        const HGLOBAL options = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, sizeof(DDEADVISE));
        DDEADVISE* advise = options ? static_cast<DDEADVISE*>(GlobalLock(options)) : nullptr;
        if (advise == nullptr) {
            Failed("advise-memory", GetLastError());
            if (options != nullptr)
                GlobalFree(options);
            return;
        }
        std::memset(advise, 0, sizeof *advise);
        advise->fAckReq = 1;
        advise->cfFormat = static_cast<short>(format);
        GlobalUnlock(options);
        if (!Post(WM_DDE_ADVISE, reinterpret_cast<UINT_PTR>(options), batch.names[slot])) {
            GlobalFree(options);
            Failed("advise", GetLastError());
            return;
        }
        awaitedAcks.push_back(options);
    }
    void Unadvise(std::size_t slot, UINT format)
    {
        if (Post(WM_DDE_UNADVISE, format, batch.names[slot]))
            awaitedAcks.push_back(nullptr);
        else
            Failed("unadvise", GetLastError());
    }
    void AwaitAnswers() { AwaitAcks(); }

private:
    // Posts a message that names an item; the server takes the atom's reference over.
    bool Post(UINT message, UINT_PTR low, const std::string& name)
    {
        wchar_t wide[64] = {0};
        MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, wide, 64);
        const ATOM atom = GlobalAddAtomW(wide);
        const LPARAM lParam = PackDDElParam(message, low, atom);
        if (atom != 0 && PostMessageW(server, message, reinterpret_cast<WPARAM>(window), lParam))
            return true;
        FreeDDElParam(message, lParam);
        if (atom != 0)
            GlobalDeleteAtom(atom);
        return false;
    }
    void AwaitAcks()
    {
        if (!ServeUntil([] { return awaitedAcks.empty() || serverTerminated; }, TransactionMs))
            Failed("acknowledgement", static_cast<unsigned long>(awaitedAcks.size()));
    }

    std::wstring topic;
    HWND window = nullptr;
};

// --- the rounds ----------------------------------------------------------------------------

template <class Client>
int Run(Client& client, UINT format, unsigned long first, std::size_t span, std::size_t count)
{
    const UINT other = format == CF_TEXT ? CF_UNICODETEXT : CF_TEXT;
    batch.names.clear();
    for (std::size_t i = 0; i < span; ++i)
        batch.names.push_back("D" + std::to_string(first + i) + ",W");
    if (!client.Connect()) {
        std::printf("failed 0 connect %#lx\n", GetLastError());
        return 1;
    }
    std::size_t& made = itemsMade;
    std::size_t missing = 0;
    for (std::size_t r = 0; made < count; ++r) {
        const std::size_t n = span < count - made ? span : count - made;
        batch.valued.assign(n, false);
        for (std::size_t i = 0; i < n; ++i) {
            client.Advise(i, format, true);
            if (i == 0 && r % 3 == 1)
                client.Advise(i, other, false);
            if (i == 0 && r % 7 == 3)
                client.Advise(i, format, false);
        }
        client.AwaitAnswers();
        if (!ServeUntil([] { return batch.AllValued(); }, ValueMs))
            for (const bool v : batch.valued)
                missing += v ? 0 : 1;
        if (r % 10 == 9) {
            client.Disconnect();
            if (!client.Connect()) {
                std::printf("failed %zu connect %#lx\n", made, GetLastError());
                return 1;
            }
        } else {
            for (std::size_t i = 0; i < n; ++i) {
                client.Unadvise(i, format);
                if (i == 0 && r % 3 == 1)
                    client.Unadvise(i, other);
            }
            client.AwaitAnswers();
        }
        const std::size_t before = made;
        made += n;
        if (made / 100 != before / 100)
            std::printf("progress %zu\n", made);
    }
    client.Disconnect();
    std::printf("done %zu failed %zu missing %zu\n", made, failures, missing);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    const bool raw = argc == 7 && std::strcmp(argv[1], "raw") == 0;
    const bool ddeml = argc == 7 && std::strcmp(argv[1], "ddeml") == 0;
    const bool unicode = argc == 7 && std::strcmp(argv[2], "unicode") == 0;
    const bool text = argc == 7 && std::strcmp(argv[2], "text") == 0;
    const unsigned long first = argc == 7 ? std::strtoul(argv[4], nullptr, 10) : 0;
    const unsigned long span = argc == 7 ? std::strtoul(argv[5], nullptr, 10) : 0;
    const unsigned long count = argc == 7 ? std::strtoul(argv[6], nullptr, 10) : 0;
    if (!(raw || ddeml) || !(unicode || text) || first == 0 || span == 0 || span > 64 ||
        count == 0) {
        std::fprintf(stderr, "usage: advise_client ddeml|raw text|unicode TOPIC FIRST SPAN COUNT "
                             "(SPAN 1 to 64)\n");
        return 2;
    }
    const UINT format = unicode ? CF_UNICODETEXT : CF_TEXT;
    if (raw) {
        RawClient client(argv[3]);
        return Run(client, format, first, span, count);
    }
    DdemlClient client(argv[3]);
    return Run(client, format, first, span, count);
}
