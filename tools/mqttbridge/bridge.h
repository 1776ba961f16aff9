#pragma once
// The bridge: advise loops on KOMVAS (one conversation per PLC topic, and SYSTEM for the link
// states), the latest payload of every topic, and the broker they go to. One thread does all of
// it: DDE through the window messages, the broker through its socket's event.
#include <windows.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tools/ddesession/session.h"
#include "tools/mqttbridge/broker.h"
#include "tools/mqttbridge/payload.h"
#include "tools/mqttbridge/settings.h"

namespace mqttbridge {

// What PREFIX/PLC/$state says while KOMVAS cannot be reached: the PLC's state is not known.
constexpr const char* UnknownState = "UNKNOWN";

class Bridge {
public:
    // `say` prints one line for the console.
    Bridge(const Settings& settings, std::function<void(const std::string&)> say);
    ~Bridge();
    Bridge(const Bridge&) = delete;
    Bridge& operator=(const Bridge&) = delete;

    // Runs until `stop` is signalled; then publishes "offline", ends the conversations and
    // disconnects from the broker.
    void run(HANDLE stop);

private:
    // A topic on the broker and its latest payload.
    struct Entry {
        std::string topic;
        std::string payload;
        bool set = false;    // there is something to publish (an empty payload clears the topic)
        bool dirty = false;  // the broker does not have the latest payload yet
    };
    struct ItemState {
        std::string ansiName;  // the DDE item name
        Reading reading;
        std::string time;
        bool received = false;  // a value has come since KOMVAS was last reached
        bool advised = false;
        bool refused = false;
        std::size_t plc = 0;    // its PLC in plcs
        ULONGLONG retryAt = 0;  // when its advise or request may be asked again
    };
    struct Plc {
        std::string name;      // as first written in [ITEMS]
        std::string ansiName;  // the DDE topic
        std::vector<std::size_t> items;
        std::map<std::string, std::size_t> byName;  // ANSI item name -> item
        std::size_t stateEntry = 0;
        std::unique_ptr<ddesession::Session> session;
        bool topicRefusalSaid = false;
    };

    void connectKomvas();
    void openTopic(Plc& plc);
    void adviseItem(Plc& plc, std::size_t item);
    // Every item stale with its last value, every state unknown; `why` is said unless empty.
    void loseKomvas(const std::string& why);
    // Advises and asks for values that are still missing, until `until` (GetTickCount64);
    // false when there was more to do than time.
    bool catchUp(ULONGLONG until);
    void received(std::size_t item, const std::string& text);
    void setPayload(std::size_t entry, const std::string& payload);
    void markAllDirty();
    void flush();

    const Settings& settings;
    std::function<void(const std::string&)> say;
    std::vector<Entry> entries;  // the items in [ITEMS] order, then each PLC's $state
    std::vector<ItemState> items;
    std::vector<Plc> plcs;
    std::deque<std::size_t> dirty;
    std::size_t catchUpFrom = 0;  // where catchUp goes on
    std::unique_ptr<ddesession::Session> system;
    bool komvasUp = false;
    bool komvasLost = false;  // set by a disconnect handler, acted on by the loop
    bool absenceSaid = false;
    ULONGLONG nextKomvasCheck = 0;
    HANDLE work = nullptr;  // set when there is something to publish
    Broker broker;
};

// The time now, as payloads give it.
std::string Now();

}  // namespace mqttbridge
