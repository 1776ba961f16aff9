#pragma once
// The bridge's side of the broker: one MQTT client (libmosquitto, without threads) driven from
// the thread that also serves DDE. It connects without blocking, reconnects after 1 s doubling
// to 30 s with jitter, and keeps no more messages on their way than its window holds, so that a
// slow broker never makes the outgoing queue grow: the bridge hands it a topic's latest payload
// only when there is room. A fresh client object for each connection: nothing of a lost
// connection is sent again.
#include <winsock2.h>
#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

#include "tools/mqttbridge/settings.h"

struct mosquitto;

namespace mqttbridge {

class Broker {
public:
    // `connected` is called once after each accepted connection, `say` with each line for the
    // console (connects, refusals, losses).
    Broker(const Settings& settings, std::function<void()> connected,
           std::function<void(const std::string&)> say);
    ~Broker();
    Broker(const Broker&) = delete;
    Broker& operator=(const Broker&) = delete;

    // The event to wait on for the connection's socket; null while there is none.
    HANDLE event() const { return socketEvent; }
    // How long the loop may wait before service() is due at the latest, in milliseconds.
    DWORD dueInMs() const;
    // Handles what the socket and the clock bring: connecting, reading, writing, keep-alive,
    // reconnecting.
    void service();

    // Whether a message can be handed over now: connected, and the window has room.
    bool canPublish() const;
    // Hands over a retained message (QoS of the settings).
    void publish(const std::string& topic, const std::string& payload);
    bool connected() const { return accepted; }

    // Publishes "offline" on PREFIX/$bridge itself and disconnects, waiting at most `ms` for
    // the broker to have it.
    void stop(DWORD ms);

    // The number of messages handed over and not yet delivered to the broker.
    std::size_t inFlight() const { return sending; }

private:
    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onPublish(mosquitto*, void* self, int mid);
    static void onLog(mosquitto*, void* self, int level, const char* text);

    void start();
    void drop(const std::string& why);
    void bindSocket();
    // Reads what the socket holds; the library's result.
    int readAvailable();

    const Settings& settings;
    std::function<void()> connectedHandler;
    std::function<void(const std::string&)> say;
    mosquitto* client = nullptr;
    HANDLE socketEvent = nullptr;
    SOCKET boundSocket = INVALID_SOCKET;
    bool tcpConnected = false;
    bool accepted = false;
    std::size_t sending = 0;
    ULONGLONG startedAt = 0;     // when the current connection attempt began
    ULONGLONG retryAt = 0;       // when the next attempt is due, while there is no client
    ULONGLONG nextLook = 0;      // when the connected socket is due to be looked at anyway
    DWORD delayMs = 0;           // the delay before the next attempt
    std::string lastError;       // the library's last error line (TLS failures)
    bool refusedLogged = false;  // the current attempt's failure has been said
};

}  // namespace mqttbridge
