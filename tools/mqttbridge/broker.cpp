#include "tools/mqttbridge/broker.h"

#include <mosquitto.h>
#include <openssl/crypto.h>

#include <algorithm>
#include <cerrno>
#include <random>

#include "tools/mqttbridge/text.h"

namespace mqttbridge {

namespace {

constexpr DWORD FirstDelayMs = 1000;  // the first reconnect; each failure doubles it
constexpr DWORD LastDelayMs = 30000;  // up to this
// Messages handed over and not yet delivered (QoS 1: acknowledged; QoS 0: written out).
constexpr std::size_t Window = 100;
// How long a connection attempt may take until the broker has accepted it.
constexpr DWORD ConnectTimeoutMs = 15000;
// While connecting the socket is looked at this often; once connected the loop wakes on its
// events, and at least once a second for the keep-alive.
constexpr DWORD ConnectingPollMs = 50;
constexpr DWORD IdleMs = 1000;
// What PREFIX/$bridge says.
constexpr char Online[] = "online";
constexpr char Offline[] = "offline";

std::string Endpoint(const Settings& s)
{
    return s.host + ":" + std::to_string(s.port);
}

// A delay with a quarter of jitter either way, so that the bridges of several PCs that lost one
// broker do not all come back in the same second.
DWORD Jittered(DWORD ms)
{
    static std::minstd_rand random(static_cast<unsigned>(GetTickCount64() ^ GetCurrentProcessId()));
    std::uniform_int_distribution<DWORD> spread(ms * 3 / 4, ms * 5 / 4);
    return spread(random);
}

std::string WinsockText(int code)
{
    char text[256] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    std::string result(text, length);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                               result.back() == ' ' || result.back() == '.'))
        result.pop_back();
    return "Winsock error " + std::to_string(code) + (result.empty() ? "" : ": " + result);
}

}  // namespace

Broker::Broker(const Settings& settings, std::function<void()> connected,
               std::function<void(const std::string&)> say)
    : settings(settings), connectedHandler(std::move(connected)), say(std::move(say)),
      delayMs(FirstDelayMs)
{
    // No OpenSSL configuration file is read: its folder is a path of the machine that built the
    // library, which on a plant's PC anybody might create.
    OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr);
    mosquitto_lib_init();
    retryAt = GetTickCount64();
}

Broker::~Broker()
{
    if (client)
        mosquitto_destroy(client);
    if (socketEvent)
        WSACloseEvent(socketEvent);
    mosquitto_lib_cleanup();
}

DWORD Broker::dueInMs() const
{
    const ULONGLONG now = GetTickCount64();
    if (!client)
        return retryAt > now ? static_cast<DWORD>(std::min<ULONGLONG>(retryAt - now, IdleMs)) : 0;
    return accepted ? IdleMs : ConnectingPollMs;
}

void Broker::start()
{
    lastError.clear();
    refusedLogged = false;
    accepted = false;
    tcpConnected = false;
    sending = 0;
    startedAt = GetTickCount64();
    client = mosquitto_new(settings.clientId.c_str(), true, this);
    if (!client) {
        drop("the MQTT client cannot be made (out of memory)");
        return;
    }
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_max_inflight_messages_set(client, Window);
    mosquitto_connect_callback_set(client, &Broker::onConnect);
    mosquitto_disconnect_callback_set(client, &Broker::onDisconnect);
    mosquitto_publish_callback_set(client, &Broker::onPublish);
    mosquitto_log_callback_set(client, &Broker::onLog);
    const std::string bridge = BridgeTopic(settings);
    int rc =
        mosquitto_will_set(client, bridge.c_str(), sizeof Offline - 1, Offline, settings.qos, true);
    if (rc == MOSQ_ERR_SUCCESS && !settings.user.empty())
        rc = mosquitto_username_pw_set(client, settings.user.c_str(),
                                       settings.password.empty() ? nullptr
                                                                 : settings.password.c_str());
    // With a CA the broker's certificate and name are always verified; nothing falls back to
    // plain TCP or to no verification.
    // The library opens the files by their ANSI names.
    const std::string caFile = Ansi(settings.caFile);
    const std::string certFile = Ansi(settings.certFile);
    const std::string keyFile = Ansi(settings.keyFile);
    if (rc == MOSQ_ERR_SUCCESS && !caFile.empty())
        rc = mosquitto_tls_set(client, caFile.c_str(), nullptr,
                               certFile.empty() ? nullptr : certFile.c_str(),
                               keyFile.empty() ? nullptr : keyFile.c_str(), nullptr);
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_connect_async(client, settings.host.c_str(), settings.port,
                                     static_cast<int>(settings.keepAlive));
    if (rc != MOSQ_ERR_SUCCESS) {
        drop("cannot connect to the broker at " + Endpoint(settings) + ": " +
             (rc == MOSQ_ERR_ERRNO ? WinsockText(WSAGetLastError()) : mosquitto_strerror(rc)) +
             (lastError.empty() ? "" : " (" + lastError + ")"));
        return;
    }
    bindSocket();
}

void Broker::bindSocket()
{
    const int sock = mosquitto_socket(client);
    if (sock == -1) {
        drop("the connection to " + Endpoint(settings) + " has no socket");
        return;
    }
    if (!socketEvent)
        socketEvent = WSACreateEvent();
    boundSocket = static_cast<SOCKET>(sock);
    WSAEventSelect(boundSocket, socketEvent, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE);
}

void Broker::drop(const std::string& why)
{
    if (!why.empty() && !refusedLogged)
        say(why);
    if (client) {
        mosquitto_destroy(client);
        client = nullptr;
    }
    if (socketEvent)
        WSAResetEvent(socketEvent);
    boundSocket = INVALID_SOCKET;
    tcpConnected = false;
    accepted = false;
    sending = 0;
    retryAt = GetTickCount64() + Jittered(delayMs);
    delayMs = std::min(delayMs * 2, LastDelayMs);
}

void Broker::service()
{
    const ULONGLONG now = GetTickCount64();
    if (!client) {
        if (now >= retryAt)
            start();
        return;
    }
    // Once connected, the socket is looked at when its event says so, or once a second for the
    // keep-alive: the loop comes here after every batch of DDE messages.
    if (accepted && !mosquitto_want_write(client) &&
        WaitForSingleObject(socketEvent, 0) == WAIT_TIMEOUT && now < nextLook)
        return;
    nextLook = now + IdleMs;
    WSANETWORKEVENTS events = {};
    if (boundSocket != INVALID_SOCKET)
        WSAEnumNetworkEvents(boundSocket, socketEvent, &events);
    const bool wasAccepted = accepted;
    if ((events.lNetworkEvents & FD_CONNECT) && events.iErrorCode[FD_CONNECT_BIT] != 0) {
        drop("cannot connect to the broker at " + Endpoint(settings) + ": " +
             WinsockText(events.iErrorCode[FD_CONNECT_BIT]));
        return;
    }
    // The TCP connection is made without blocking; until it stands, nothing can be read.
    if (!tcpConnected && !(events.lNetworkEvents & (FD_CONNECT | FD_WRITE))) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(boundSocket, &writable);
        FD_SET(boundSocket, &failed);
        timeval zero = {};
        if (select(0, nullptr, &writable, &failed, &zero) > 0 && FD_ISSET(boundSocket, &failed)) {
            int error = 0;
            int size = sizeof error;
            getsockopt(boundSocket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
            drop("cannot connect to the broker at " + Endpoint(settings) + ": " +
                 WinsockText(error));
            return;
        }
        if (!FD_ISSET(boundSocket, &writable)) {
            if (now - startedAt > ConnectTimeoutMs)
                drop("no answer from the broker at " + Endpoint(settings) + " within " +
                     std::to_string(ConnectTimeoutMs / 1000) + " s");
            return;
        }
    }
    tcpConnected = true;
    // The connection's progress: the library reads the CONNACK (and drives the TLS handshake)
    // in loop_read, and sends what it holds in loop_write.
    int rc = readAvailable();
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_want_write(client))
        rc = mosquitto_loop_write(client, 1);
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_loop_misc(client);
    if (rc != MOSQ_ERR_SUCCESS) {
        if (rc == MOSQ_ERR_TLS)
            drop("TLS with the broker at " + Endpoint(settings) +
                 " failed (its certificate is verified against CAFILE " + settings.caFile +
                 "): " + (lastError.empty() ? "handshake failed" : lastError));
        else if (wasAccepted)
            drop("lost the connection to the broker at " + Endpoint(settings) + ": " +
                 (rc == MOSQ_ERR_ERRNO ? WinsockText(WSAGetLastError()) : mosquitto_strerror(rc)));
        else
            drop("cannot connect to the broker at " + Endpoint(settings) + ": " +
                 (rc == MOSQ_ERR_ERRNO ? WinsockText(WSAGetLastError()) : mosquitto_strerror(rc)));
        return;
    }
    if (!accepted && now - startedAt > ConnectTimeoutMs) {
        drop("no answer from the broker at " + Endpoint(settings) + " within " +
             std::to_string(ConnectTimeoutMs / 1000) + " s");
        return;
    }
    if (accepted && !wasAccepted) {
        delayMs = FirstDelayMs;
        say("connected to the broker at " + Endpoint(settings) + " as " + settings.clientId +
            (settings.caFile.empty() ? "" : " (TLS, certificate verified)"));
        publish(BridgeTopic(settings), Online);
        connectedHandler();
    }
}

int Broker::readAvailable()
{
    // The library stops reading at a stale EAGAIN in errno, and the socket's event is set again
    // only by a read: read until the socket holds nothing more, so that acknowledgements never
    // wait for the next wake-up.
    constexpr int MostRounds = 256;
    int rc = MOSQ_ERR_SUCCESS;
    for (int round = 0; round < MostRounds && rc == MOSQ_ERR_SUCCESS; ++round) {
        errno = 0;
        rc = mosquitto_loop_read(client, 1);
        u_long pending = 0;
        if (ioctlsocket(boundSocket, FIONREAD, &pending) != 0 || pending == 0)
            break;
    }
    return rc;
}

bool Broker::canPublish() const
{
    return client && accepted && sending < Window;
}

void Broker::publish(const std::string& topic, const std::string& payload)
{
    if (!client || !accepted)
        return;
    const int rc =
        mosquitto_publish(client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), settings.qos, true);
    if (rc == MOSQ_ERR_SUCCESS)
        ++sending;
}

void Broker::stop(DWORD ms)
{
    if (!client)
        return;
    if (accepted) {
        const std::size_t before = sending;
        publish(BridgeTopic(settings), Offline);
        // Wait until the broker has it (QoS 1: acknowledged; QoS 0: written out).
        const ULONGLONG start = GetTickCount64();
        while (client && accepted && sending > 0 && sending >= before &&
               GetTickCount64() - start < ms) {
            WaitForSingleObject(socketEvent, ConnectingPollMs);
            WSANETWORKEVENTS events = {};
            WSAEnumNetworkEvents(boundSocket, socketEvent, &events);
            if (mosquitto_loop_read(client, 1) != MOSQ_ERR_SUCCESS ||
                (mosquitto_want_write(client) &&
                 mosquitto_loop_write(client, 1) != MOSQ_ERR_SUCCESS))
                break;
        }
        mosquitto_disconnect(client);
        mosquitto_loop_write(client, 1);
    }
    mosquitto_destroy(client);
    client = nullptr;
    accepted = false;
}

void Broker::onConnect(mosquitto*, void* self, int rc)
{
    Broker& broker = *static_cast<Broker*>(self);
    if (rc == 0) {
        broker.accepted = true;
        return;
    }
    broker.say("the broker at " + Endpoint(broker.settings) +
               " refused the connection: " + mosquitto_connack_string(rc));
    broker.refusedLogged = true;
}

void Broker::onDisconnect(mosquitto*, void*, int)
{
    // service() sees the failed call that ended the connection.
}

void Broker::onPublish(mosquitto*, void* self, int)
{
    Broker& broker = *static_cast<Broker*>(self);
    if (broker.sending > 0)
        --broker.sending;
}

void Broker::onLog(mosquitto*, void* self, int level, const char* text)
{
    if (level == MOSQ_LOG_ERR && text)
        static_cast<Broker*>(self)->lastError = text;
}

}  // namespace mqttbridge
