#pragma once
// DDEML client sessions, shared by the tools that talk to KOMVAS: one DDEML instance per session,
// with at most one conversation and the advise loops it holds. A process may hold several
// sessions (one per topic, say); all of them run on the thread that created them, and DDEML
// calls back from inside the message pumping of pump() and of every synchronous transaction.
//
// Under Wine 8 to 10 (wine_ddeml::RunsUnderKnownWine(), looked at once) a session steps around
// four defects of Wine's DDEML: updates that arrive during a transaction are held back from it
// and delivered after it, a request waits for the acknowledgement Wine's server sends after its
// data, a disconnect gives back the string handles Wine's client never frees, and updates are
// answered so that Wine frees its copy of them. Elsewhere it calls DDEML directly.
#include <windows.h>
#include <ddeml.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "dde/wine_blocks.h"

namespace ddesession {

class Session {
public:
    // Called for every advise update: the item name as it was advised, and the value text as
    // received, up to its first NUL (see dataText).
    using UpdateHandler = std::function<void(const std::string& item, const std::string& value)>;
    // Called when the server ends the conversation.
    using DisconnectHandler = std::function<void()>;

    // `timeoutMs`: the time-out of every synchronous transaction. `unicodeCodePage`: the code
    // page that CF_UNICODETEXT data are given in (CP_ACP: the ANSI text CF_TEXT gives; CP_UTF8).
    explicit Session(DWORD timeoutMs, UINT unicodeCodePage = CP_ACP);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Starts the DDEML instance (client only). False when DDEML refuses; lastError() has why.
    bool initialize();

    void onUpdate(UpdateHandler handler) { updateHandler = std::move(handler); }
    void onDisconnect(DisconnectHandler handler) { disconnectHandler = std::move(handler); }

    bool connected() const { return conversation != nullptr; }
    // Opens the conversation; false when no server accepts it. Service and topic are ANSI text.
    bool connect(const std::string& service, const std::string& topic);
    // Ends the conversation (the server then ends its advise loops) and forgets the loops.
    void disconnect();

    // A one-time request. True with the value text, false when the server gave no data.
    bool request(const std::string& item, UINT format, std::string& value);
    // Starts a hot advise loop (or renews the one on the same item and format); the item's
    // string handle is kept until the loop ends.
    bool advise(const std::string& item, UINT format);
    // Stops the advise loop on the item.
    bool unadvise(const std::string& item, UINT format);
    // Sends an execute command: the text and its terminating NUL.
    bool execute(const std::string& command);
    // Stops every advise loop still held, newest first.
    void unadviseAll();

    // Whether the server has ended the conversation; if so, forgets it and reports it to the
    // disconnect handler once.
    void checkConversation();

    // Whether the server's end of the conversation still exists. A server process that ended
    // without terminating its conversations (killed, crashed) leaves them looking connected.
    bool serverAlive() const;

    // The DDEML error of the last failed call, as a name ("DMLERR_NOTPROCESSED").
    std::string lastError() const;

private:
    friend bool pump(DWORD ms, std::initializer_list<HANDLE> wake);

    struct AdviseLoop {
        std::string item;
        UINT format;
        HSZ hsz;
    };

    // Calls back the session that holds `conv`: DDEML's callback carries no instance, so the
    // sessions of the process are found by their conversations.
    static HDDEDATA CALLBACK callback(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2,
                                      HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);
    static LRESULT CALLBACK heldUpdates(int code, WPARAM removed, LPARAM message);
    // A synchronous transaction on the conversation; under Wine the advise updates that arrive
    // meanwhile are held back and delivered once it has ended.
    HDDEDATA transact(LPBYTE data, DWORD size, HSZ item, UINT format, UINT type);
    HDDEDATA handle(UINT type, UINT format, HSZ hsz2, HDDEDATA data);
    std::string itemName(HSZ hsz) const;
    // The item's string handle (ANSI text); null, with the error kept, when DDEML refuses it.
    HSZ itemHandle(const std::string& item);
    // The loop on the item's handle in `format`, or end(). An instance gives one string, in any
    // letter case, one handle value, so handles compare by value.
    std::vector<AdviseLoop>::iterator findLoop(HSZ hsz, UINT format);
    // Ends the record of a loop and gives its string handle back.
    void dropLoop(std::vector<AdviseLoop>::iterator loop);
    void forgetAdviseLoops();
    // Under Wine: the server's WM_DDE_TERMINATE of the conversation, taken from the queue.
    void endedByServer(const MSG& terminate);
    void lose();
    // Serves messages until the acknowledgement that Wine's server sends after a request's
    // data has arrived at this conversation's window, or the time-out has passed.
    void awaitRequestAcknowledgement();
    // After a failed transaction: under Wine, serves messages until the server's late reply has
    // gone by; then notices a lost conversation.
    void settleAfterFailure();

    DWORD instance = 0;
    DWORD timeoutMs;
    UINT unicodeCodePage;
    UINT error = 0;
    HCONV conversation = nullptr;
    std::vector<AdviseLoop> adviseLoops;
    // The item names of the loops by handle value: an update names its item by the handle.
    std::map<HSZ, std::string> loopItems;
    HWND ackWindow = nullptr;     // the window whose WM_DDE_ACK is awaited
    HWND clientWindow = nullptr;  // this side's window of the conversation
    std::vector<MSG> held;        // updates that arrived during a transaction, in order
    // Under Wine, the replies the wait of a transaction takes: a request's answer (the block it
    // came in and the item it names) and an advise's or unadvise's acknowledgement (its item), of
    // which Wine's DDEML keeps something (see transact).
    struct Reply {
        wine_ddeml::Block block;
        std::wstring item;
    };
    std::vector<Reply> replies;
    UINT transactionType = 0;  // of the transaction that waits
    bool ackSeen = false;
    UpdateHandler updateHandler;
    DisconnectHandler disconnectHandler;
};

// Serves window messages (and so DDE, for every session of this thread) for up to `ms`
// milliseconds (INFINITE: no limit), and notices meanwhile when a server has ended a
// conversation. Returns true early when one of the `wake` handles is signalled, or when the
// acknowledgement a request waits for has come.
bool pump(DWORD ms, std::initializer_list<HANDLE> wake = {});

// The text of a DDE data handle up to its first NUL (all of it when it has none). Data in
// CF_UNICODETEXT are UTF-16 and come out in `unicodeCodePage` (CP_ACP: the same ANSI text that
// CF_TEXT gives); any other format comes out byte for byte.
std::string dataText(HDDEDATA data, UINT format, UINT unicodeCodePage = CP_ACP);

// The name of a DDEML error code ("DMLERR_NO_CONV_ESTABLISHED"), or its number in hex.
std::string ddeErrorName(UINT code);

}  // namespace ddesession
