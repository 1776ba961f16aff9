#include "tools/mqttbridge/settings.h"

#include <set>

#include "item/item_name.h"

namespace mqttbridge {

namespace {

// DDE string handles hold at most 255 characters.
constexpr std::size_t MaxDdeName = 255;
// MQTT strings carry their length in 16 bits.
constexpr std::size_t MaxMqttString = 65535;

std::string Trim(const std::string& text)
{
    const char* blanks = " \t";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Names compare as the profile functions and DDE string handles compare them: ASCII letters
// without regard to case.
std::string Upper(std::string text)
{
    for (char& c : text)
        c = fam3::upperAscii(c);
    return text;
}

bool ReadNumber(const std::string& text, unsigned minimum, unsigned maximum, unsigned& value)
{
    if (text.empty() || text.size() > 9)
        return false;
    unsigned number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    if (number < minimum || number > maximum)
        return false;
    value = number;
    return true;
}

// Why the levels of a topic (or of a part of one) cannot be an item's, or "".
std::string LevelProblem(const std::string& levels)
{
    if (levels.find_first_of("+#") != std::string::npos)
        return "'+' and '#' are wildcards of subscriptions and cannot be part of a topic";
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = levels.find('/', start);
        const std::string level = levels.substr(start, slash - start);
        if (level.empty())
            return "the topic would have an empty level (a '/' at the start or the end, or '//')";
        if (level[0] == '$')
            return "levels that begin with '$' are the bridge's own ($state, $bridge) and the "
                   "broker's";
        if (slash == std::string::npos)
            return {};
        start = slash + 1;
    }
}

class Checker {
public:
    Checker(const std::string& file) : file(file) { }

    [[noreturn]] void refuse(const char* section, const std::string& line,
                             const std::string& reason) const
    {
        throw SettingsError(file + ": [" + section + "] " + line + ": " + reason);
    }

    [[noreturn]] void refuseKey(const std::string& key, const std::string& value,
                                const std::string& reason) const
    {
        refuse(MqttSection, key + "=" + value, reason);
    }

private:
    const std::string& file;
};

}  // namespace

bool IsPublishableTopic(const std::string& topic)
{
    return !topic.empty() && topic.size() <= MaxMqttString && LevelProblem(topic).empty();
}

std::string StateTopic(const Settings& settings, const std::string& plc)
{
    return settings.prefix + "/" + plc + "/" + StateLevel;
}

std::string BridgeTopic(const Settings& settings)
{
    return settings.prefix + "/" + BridgeLevel;
}

Settings ReadSettings(const std::string& file, const FileContent& content,
                      const std::string& computerName,
                      const std::function<bool(const std::string&)>& readable)
{
    const Checker check(file);
    Settings s;

    // [MQTT]: every key known, every value valid; an empty value is the default.
    std::map<std::string, std::string> values;
    for (const auto& [key, value] : content.mqtt) {
        bool known = false;
        for (const char* name : Keys)
            known = known || Upper(key) == name;
        if (!known)
            check.refuseKey(key, value,
                            "unknown key (the keys are HOST, PORT, CLIENTID, USER, "
                            "PASSWORD, PREFIX, QOS, KEEPALIVE, CAFILE, CERTFILE, "
                            "KEYFILE)");
        if (!value.empty())
            values[Upper(key)] = value;
    }
    const auto given = [&values](const char* key) { return values.count(key) != 0; };
    const auto text = [&values](const char* key) {
        const auto found = values.find(key);
        return found == values.end() ? std::string() : found->second;
    };

    if (given(HostKey))
        s.host = text(HostKey);
    if (s.host.size() > MaxDdeName || s.host.find_first_of(" \t") != std::string::npos)
        check.refuseKey(HostKey, s.host, "not a host name or IP address");
    s.caFile = text(CaFileKey);
    s.certFile = text(CertFileKey);
    s.keyFile = text(KeyFileKey);
    s.port = s.caFile.empty() ? DefaultPort : DefaultTlsPort;
    unsigned number = 0;
    if (given(PortKey)) {
        if (!ReadNumber(text(PortKey), 1, 65535, number))
            check.refuseKey(PortKey, text(PortKey), "the port is a number from 1 to 65535");
        s.port = static_cast<std::uint16_t>(number);
    }
    s.clientId = given(ClientIdKey) ? text(ClientIdKey) : ClientIdStem + computerName;
    if (s.clientId.size() > MaxMqttString)
        check.refuseKey(ClientIdKey, s.clientId, "longer than MQTT allows");
    s.user = text(UserKey);
    s.password = text(PasswordKey);
    if (!s.password.empty() && s.user.empty())
        check.refuseKey(PasswordKey, "...", "a password needs a USER");
    if (s.user.size() > MaxMqttString || s.password.size() > MaxMqttString)
        check.refuseKey(UserKey, s.user, "longer than MQTT allows");
    if (given(PrefixKey)) {
        s.prefix = text(PrefixKey);
        const std::string problem = LevelProblem(s.prefix);
        if (!problem.empty())
            check.refuseKey(PrefixKey, s.prefix, problem);
    }
    if (given(QosKey)) {
        if (!ReadNumber(text(QosKey), 0, 1, number))
            check.refuseKey(QosKey, text(QosKey), "QoS 0 or 1");
        s.qos = static_cast<int>(number);
    }
    if (given(KeepAliveKey)) {
        if (!ReadNumber(text(KeepAliveKey), 5, 65535, number))
            check.refuseKey(KeepAliveKey, text(KeepAliveKey),
                            "the keep-alive is a number of seconds from 5 to 65535");
        s.keepAlive = number;
    }
    if (s.certFile.empty() != s.keyFile.empty())
        check.refuseKey(s.certFile.empty() ? KeyFileKey : CertFileKey,
                        s.certFile.empty() ? s.keyFile : s.certFile,
                        "a client certificate needs both CERTFILE and KEYFILE");
    if (!s.certFile.empty() && s.caFile.empty())
        check.refuseKey(CertFileKey, s.certFile, "a client certificate needs TLS: set CAFILE");
    for (const char* key : {CaFileKey, CertFileKey, KeyFileKey}) {
        if (given(key) && !readable(text(key)))
            check.refuseKey(key, text(key), "the file cannot be read");
    }

    // [ITEMS]: one item a line, "TOPIC!ITEM" or "TOPIC!ITEM=NAME".
    std::map<std::string, std::string> topics;    // topic -> its line
    std::map<std::string, std::string> ddeItems;  // PLC!ITEM in upper case -> its line
    for (const std::string& raw : content.itemLines) {
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == ';')
            continue;
        const std::size_t equals = line.find('=');
        const std::string link = Trim(line.substr(0, equals));
        const std::size_t bang = link.find('!');
        if (bang == std::string::npos)
            check.refuse(ItemsSection, line,
                         "an item is written TOPIC!ITEM, for example PLC1!D100,W");
        Item item;
        item.plc = Trim(link.substr(0, bang));
        item.name = Trim(link.substr(bang + 1));
        if (item.plc.empty() || item.name.empty())
            check.refuse(ItemsSection, line, "the topic or the item is missing around '!'");
        if (item.plc.size() > MaxDdeName || item.name.size() > MaxDdeName)
            check.refuse(ItemsSection, line, "DDE names are at most 255 characters");
        std::string levels = item.plc + "/" + item.name;
        if (equals != std::string::npos) {
            levels = Trim(line.substr(equals + 1));
            if (levels.empty())
                check.refuse(ItemsSection, line, "no name after '='");
        }
        // The topic is also a level of its PLC's $state topic.
        std::string problem = LevelProblem(item.plc);
        if (problem.empty())
            problem = LevelProblem(levels);
        if (!problem.empty())
            check.refuse(ItemsSection, line,
                         problem + (equals == std::string::npos
                                        ? "; give the item a name on the broker after '='"
                                        : ""));
        item.topic = s.prefix + "/" + levels;
        if (item.topic.size() > MaxMqttString)
            check.refuse(ItemsSection, line, "the topic is longer than MQTT allows");
        const std::string ddeName = Upper(item.plc) + "!" + Upper(item.name);
        if (ddeItems.count(ddeName))
            check.refuse(ItemsSection, line, "the same item as " + ddeItems[ddeName]);
        if (topics.count(item.topic))
            check.refuse(ItemsSection, line,
                         "the same topic " + item.topic + " as " + topics[item.topic]);
        ddeItems[ddeName] = line;
        topics[item.topic] = line;
        item.kind = KindOfItem(item.name);
        s.items.push_back(item);
    }
    if (s.items.empty())
        throw SettingsError(file + ": [" + ItemsSection +
                            "] holds no item (one a line, "
                            "TOPIC!ITEM, for example PLC1!D100,W)");
    return s;
}

}  // namespace mqttbridge
