#pragma once
// One DDEML client instance with at most one conversation, and the advise loops it holds.
// Everything runs on the thread that created the session; DDEML calls back from inside the
// message pumping of pump() and of every synchronous transaction.
#include <windows.h>
#include <ddeml.h>

#include <functional>
#include <string>
#include <vector>

namespace ddeclient {

class Session {
public:
    // Called for every advise update: the item name as it was advised, and the value text as
    // received, up to its first NUL (see dataText).
    using UpdateHandler = std::function<void(const std::string& item, const std::string& value)>;
    // Called when the server ends the conversation.
    using DisconnectHandler = std::function<void()>;

    explicit Session(DWORD timeoutMs);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Starts the DDEML instance (client only). False when DDEML refuses; lastError() has why.
    bool initialize();

    void onUpdate(UpdateHandler handler) { updateHandler = std::move(handler); }
    void onDisconnect(DisconnectHandler handler) { disconnectHandler = std::move(handler); }

    bool connected() const { return conversation != nullptr; }
    // Opens the conversation; false when no server accepts it.
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

    // Serves window messages (and so DDE) for up to `ms` milliseconds (INFINITE: no limit),
    // and notices meanwhile when the server has ended the conversation. Returns true early when
    // `wake` or `wake2` is signalled.
    bool pump(DWORD ms, HANDLE wake = nullptr, HANDLE wake2 = nullptr);

    // Whether the server has ended the conversation; if so, forgets it and reports it to the
    // disconnect handler once.
    void checkConversation();

    // The DDEML error of the last failed call, as a name ("DMLERR_NOTPROCESSED").
    std::string lastError() const;

private:
    struct AdviseLoop {
        std::string item;
        UINT format;
        HSZ hsz;
    };

    static HDDEDATA CALLBACK callback(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2,
                                      HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);
    HDDEDATA handle(UINT type, UINT format, HCONV conv, HSZ hsz2, HDDEDATA data);
    std::string itemName(HSZ hsz) const;
    void forgetAdviseLoops();
    void lose();
    // Serves messages until the acknowledgement that Wine's server sends after a request's
    // data has arrived at this conversation's window, or the time-out has passed.
    void awaitRequestAcknowledgement();

    static Session* current;
    DWORD instance = 0;
    DWORD timeoutMs;
    UINT error = 0;
    HCONV conversation = nullptr;
    std::vector<AdviseLoop> adviseLoops;
    HWND ackWindow = nullptr;  // the window whose WM_DDE_ACK is awaited
    bool ackSeen = false;
    UpdateHandler updateHandler;
    DisconnectHandler disconnectHandler;
};

// The text of a DDE data handle up to its first NUL (all of it when it has none). Data in
// CF_UNICODETEXT are UTF-16 and come out as the same ANSI text that CF_TEXT gives; any other
// format comes out byte for byte.
std::string dataText(HDDEDATA data, UINT format);

// The name of a DDEML error code ("DMLERR_NO_CONV_ESTABLISHED"), or its number in hex.
std::string ddeErrorName(UINT code);

}  // namespace ddeclient
