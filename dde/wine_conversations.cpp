#include "dde/wine_conversations.h"

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "dde/wine_ddeml.h"

namespace wine_conversations {

namespace {

// The class of the window that DdeNameService creates under Wine for a service name.
const char NameWindowClass[] = "WineDdeServerName";

// A slot whose generation has come this far is taken out of use: its next handles would have
// bit 31 set within a few hundred reuses (generations run from 1 to 0xFFFE).
constexpr unsigned WornGeneration = 0x7F00;
// Slots taken out of use at one connect, at most.
constexpr unsigned RetireAtOnce = 16;

WNDPROC nameWindowProc = nullptr;
WNDPROC conversationWindowProc = nullptr;
// Whether the callback accepted the advise start that DDEML handles at the moment.
bool adviseAccepted = false;
// A conversation accepted by XTYP_CONNECT whose XTYP_CONNECT_CONFIRM has not come yet.
bool acceptPending = false;
// Conversations started through XTYP_CONNECT: only theirs have string handles left behind
// (those of a wildcard connect are the callback's own).
std::set<HCONV> accepted;
// The windows that hold worn slots, for as long as the program runs.
std::vector<HWND> retired;

// The generation that the next handle of this window's slot will carry.
unsigned NextGeneration(HWND window)
{
    const unsigned generation = (HandleToULong(window) >> 16) & 0xFFFF;
    return generation + 1 >= 0xFFFF ? 1 : generation + 1;
}

// DDEML's name window keeps the client's window handle from WM_DDE_INITIATE and later compares
// it with WIN_GetFullHandle of the sender of every message, which is zero-extended; handed on
// zero-extended, the two agree for every handle (for one without bit 31 nothing changes).
LRESULT CALLBACK NameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DDE_INITIATE)
        wParam = static_cast<WPARAM>(static_cast<ULONG>(wParam));
    return CallWindowProcW(nameWindowProc, window, message, wParam, lParam);
}

// Puts `replacement` in front of the window's procedure, which `original` then holds. One
// procedure stands in front of every window of a kind: DDEML gives all of them the same one.
void Subclass(HWND window, WNDPROC replacement, WNDPROC& original)
{
    const WNDPROC previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
    if (previous == nullptr || previous == replacement)
        return;
    original = previous;
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(replacement));
}

BOOL CALLBACK SubclassNameWindow(HWND window, LPARAM)
{
    char name[64] = {0};
    if (GetClassNameA(window, name, sizeof name) != 0 && std::strcmp(name, NameWindowClass) == 0)
        Subclass(window, NameWindowProc, nameWindowProc);
    return TRUE;
}

// Whether the DDE message came from a window of another process: its blocks are then copies
// that Wine's user32 made in this process for the server (unpack_dde_message).
bool FromAnotherProcess(WPARAM sender)
{
    DWORD process = 0;
    GetWindowThreadProcessId(reinterpret_cast<HWND>(sender), &process);
    return process != 0 && process != GetCurrentProcessId();
}

// A client's acknowledgement, which DDEML drops, is taken here and given back: its block and
// the atom reference it carries. An advise start goes on to DDEML, and the block of its
// DDEADVISE is freed afterwards when the advise was refused, once recognised as that block:
// KOMVAS never blocks a conversation's callbacks, so DDEML has answered the advise by the time
// its procedure returns.
LRESULT CALLBACK ConversationWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    UINT_PTR low = 0, high = 0;
    if (message == WM_DDE_ACK) {
        if (UnpackDDElParam(WM_DDE_ACK, lParam, &low, &high)) {
            FreeDDElParam(WM_DDE_ACK, lParam);
            if (high >= MAXINTATOM && high <= 0xFFFF)
                GlobalDeleteAtom(static_cast<ATOM>(high));
        }
        return 0;
    }
    if (message != WM_DDE_ADVISE)
        return CallWindowProcW(conversationWindowProc, window, message, wParam, lParam);

    wine_ddeml::Block options{nullptr, std::string()};
    if (UnpackDDElParam(WM_DDE_ADVISE, lParam, &low, &high) && low != 0) {
        options.handle = reinterpret_cast<HGLOBAL>(low);
        options.bytes = wine_ddeml::Contents(options.handle);
    }
    adviseAccepted = false;
    const LRESULT result =
        CallWindowProcW(conversationWindowProc, window, message, wParam, lParam);
    if (!adviseAccepted && !options.bytes.empty() && FromAnotherProcess(wParam) &&
        wine_ddeml::IsLeftBehind(options))
        GlobalFree(options.handle);
    return result;
}

// What DDEML tells of a conversation; false when it cannot tell.
bool Query(HCONV conv, CONVINFO& info)
{
    std::memset(&info, 0, sizeof info);
    info.cb = sizeof info;
    return DdeQueryConvInfo(conv, QID_SYNC, &info) != 0;
}

}  // namespace

void ServiceRegistered()
{
    if (wine_ddeml::Enabled())
        EnumThreadWindows(GetCurrentThreadId(), SubclassNameWindow, 0);
}

void Accepting()
{
    if (!wine_ddeml::Enabled())
        return;
    acceptPending = true;
    // Wine hands out the most recently freed slot first: a window created here gets the slot
    // that DDEML's conversation window would get next. A worn one is kept (a message-only window
    // of this program, never shown and never broadcast to); the first sound one is given back
    // for DDEML, one generation later.
    for (unsigned i = 0; i < RetireAtOnce; ++i) {
        const HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                            nullptr, nullptr);
        if (window == nullptr)
            return;
        if (NextGeneration(window) < WornGeneration) {
            DestroyWindow(window);
            return;
        }
        retired.push_back(window);
    }
}

void Confirmed(HCONV conv)
{
    if (acceptPending)
        accepted.insert(conv);
    acceptPending = false;
    if (!wine_ddeml::Enabled())
        return;
    // Before any message of the client's is dispatched to it: the callback runs on the thread
    // that serves the window.
    CONVINFO info;
    if (Query(conv, info) && info.hwnd != nullptr)
        Subclass(info.hwnd, ConversationWindowProc, conversationWindowProc);
}

void AdviseAnswered(bool accepted)
{
    adviseAccepted = accepted;
}

void ConnectAnswered(DWORD instance, HSZ topic, HSZ service)
{
    if (!wine_ddeml::Enabled())
        return;
    acceptPending = false;
    // DDEML does not use them again once the callback has answered.
    if (topic != nullptr)
        DdeFreeStringHandle(instance, topic);
    if (service != nullptr)
        DdeFreeStringHandle(instance, service);
}

void Disconnecting(DWORD instance, HCONV conv)
{
    if (accepted.erase(conv) == 0)
        return;
    CONVINFO info;
    if (!Query(conv, info))
        return;
    // The conversation still holds references of its own, given back after this callback, so
    // neither string can go while it is in use; the nodes of one string are interchangeable.
    if (info.hszSvcPartner != nullptr)
        DdeFreeStringHandle(instance, info.hszSvcPartner);
    if (info.hszTopic != nullptr)
        DdeFreeStringHandle(instance, info.hszTopic);
}

unsigned RetiredSlots()
{
    return static_cast<unsigned>(retired.size());
}

}  // namespace wine_conversations
