#pragma once
// The bridge's configuration file, komvas-mqtt.ini: the broker in [MQTT], the items in [ITEMS]
// ("TOPIC!ITEM" as a spreadsheet links it, optionally "=" and the name on the broker). The
// profile calls stay in the Windows program; what they return is checked here. Pure logic, no
// Windows API.
#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/mqttbridge/payload.h"

namespace mqttbridge {

// Sections and keys of the file. Every key of [MQTT] is listed in Keys.
constexpr const char* MqttSection = "MQTT";
constexpr const char* ItemsSection = "ITEMS";
constexpr const char* HostKey = "HOST";
constexpr const char* PortKey = "PORT";
constexpr const char* ClientIdKey = "CLIENTID";
constexpr const char* UserKey = "USER";
constexpr const char* PasswordKey = "PASSWORD";
constexpr const char* PrefixKey = "PREFIX";
constexpr const char* QosKey = "QOS";
constexpr const char* KeepAliveKey = "KEEPALIVE";
constexpr const char* CaFileKey = "CAFILE";
constexpr const char* CertFileKey = "CERTFILE";
constexpr const char* KeyFileKey = "KEYFILE";
constexpr const char* Keys[] = {HostKey,     PortKey,     ClientIdKey, UserKey,
                                PasswordKey, PrefixKey,   QosKey,      KeepAliveKey,
                                CaFileKey,   CertFileKey, KeyFileKey};

// The file's name in the folder the bridge starts in.
constexpr const char* DefaultFileName = "komvas-mqtt.ini";

// Defaults.
constexpr const char* DefaultHost = "127.0.0.1";
constexpr std::uint16_t DefaultPort = 1883;      // MQTT
constexpr std::uint16_t DefaultTlsPort = 8883;   // MQTT over TLS, when CAFILE is set
constexpr const char* ClientIdStem = "komvas-";  // followed by the computer name
constexpr const char* DefaultPrefix = "komvas";
constexpr int DefaultQos = 1;
constexpr unsigned DefaultKeepAlive = 30;

// The last levels of the bridge's own topics: PREFIX/PLC/$state and PREFIX/$bridge. An item's
// topic never has a level that begins with '$'.
constexpr const char* StateLevel = "$state";
constexpr const char* BridgeLevel = "$bridge";

// One line of [ITEMS].
struct Item {
    std::string plc;    // the DDE topic, as written
    std::string name;   // the DDE item, as written
    std::string topic;  // PREFIX/PLC/ITEM, or PREFIX/ and the name given after '='
    ValueKind kind = ValueKind::Number;
};

struct Settings {
    std::string host = DefaultHost;
    std::uint16_t port = DefaultPort;
    std::string clientId;
    std::string user;
    std::string password;
    std::string prefix = DefaultPrefix;
    int qos = DefaultQos;
    unsigned keepAlive = DefaultKeepAlive;
    std::string caFile;  // set: TLS, the broker's certificate verified against it
    std::string certFile;
    std::string keyFile;
    std::vector<Item> items;
};

// What the profile functions gave: the keys of [MQTT] present in the file with their values
// (keys as written, values trimmed as the profile functions trim them), and the lines of
// [ITEMS] as GetPrivateProfileSection returns them. Texts are UTF-8.
struct FileContent {
    std::map<std::string, std::string> mqtt;
    std::vector<std::string> itemLines;
};

// A configuration that cannot be used: one line naming the file, the section and the line.
class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Checks the file's content and makes the settings. `file` names the file in messages;
// `computerName` completes the default client id; `readable` tells whether a file named by
// CAFILE, CERTFILE or KEYFILE can be read. Throws SettingsError.
Settings ReadSettings(const std::string& file, const FileContent& content,
                      const std::string& computerName,
                      const std::function<bool(const std::string&)>& readable);

// Whether a topic name may be published to: not empty, no '+' or '#', no empty level, and at
// most 65535 bytes.
bool IsPublishableTopic(const std::string& topic);

// The bridge's own topics.
std::string StateTopic(const Settings& settings, const std::string& plc);
std::string BridgeTopic(const Settings& settings);

}  // namespace mqttbridge
