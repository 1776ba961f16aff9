// The bridge's rules: what each DDE text becomes on the broker, and which configuration files it
// takes and what it says about the others.
#include <gtest/gtest.h>

#include "tools/mqttbridge/settings.h"

namespace mqttbridge {
namespace {

const std::string T = "2026-12-10T08:15:02.125+09:00";

TEST(Payload, EachTextBecomesItsValueAndQuality)
{
    const struct {
        std::string item;  // the item name gives the kind
        std::string text;
        bool stale;
        std::string payload;
    } cases[] = {
        {"D100,W", "1234", false, R"({"value":1234,"quality":"good","time":")" + T + "\"}"},
        {"D100,W", "-1", false, R"({"value":-1,"quality":"good","time":")" + T + "\"}"},
        {"D1,FLOAT", "1.23457e+06", false,
         R"({"value":1234570.0,"quality":"good","time":")" + T + "\"}"},
        {"D1,F", "inf", false, R"({"value":null,"quality":"inf","time":")" + T + "\"}"},
        {"D1,F", "-inf", false, R"({"value":null,"quality":"-inf","time":")" + T + "\"}"},
        {"D1,F", "#NaN", false, R"({"value":null,"quality":"nan","time":")" + T + "\"}"},
        {"D1,W", "#EMPTY", false, R"({"value":null,"quality":"empty","time":")" + T + "\"}"},
        {"D1,W", "#TMOUT", false, R"({"value":null,"quality":"timeout","time":")" + T + "\"}"},
        {"D1,W", "#ERR -3", false,
         R"({"value":null,"quality":"error","error":-3,"time":")" + T + "\"}"},
        {"d200,c6", "LINE \"1\"", false,
         R"({"value":"LINE \"1\"","quality":"good","time":")" + T + "\"}"},
        {"D200,C6", "\xE3\x83\xA9\xE3\x82\xA4\xE3\x83\xB3", false,
         R"({"value":"ライン","quality":"good","time":")" + T + "\"}"},
        {"D200,C6", "(null)", false, R"({"value":"","quality":"good","time":")" + T + "\"}"},
        {"D200,C6", "1234", false, R"({"value":"1234","quality":"good","time":")" + T + "\"}"},
        // Bytes that are not UTF-8 become U+FFFD.
        {"D200,C6", "\xFF", false,
         "{\"value\":\"\xEF\xBF\xBD\",\"quality\":\"good\",\"time\":\"" + T + "\"}"},
        // Stale keeps the last value; what was not a value stays null.
        {"D100,W", "1234", true, R"({"value":1234,"quality":"stale","time":")" + T + "\"}"},
        {"D100,W", "#ERR 5", true, R"({"value":null,"quality":"stale","time":")" + T + "\"}"},
        {"D200,C6", "AB", true, R"({"value":"AB","quality":"stale","time":")" + T + "\"}"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.payload, Payload(Interpret(c.text, KindOfItem(c.item)), T, c.stale))
            << c.item << " '" << c.text << "'" << (c.stale ? " stale" : "");
}

TEST(Payload, TimeHasMillisecondsAndTheOffsetFromUtc)
{
    local_time::LocalTime t;
    t.year = 2026, t.month = 1, t.day = 2, t.hour = 3, t.minute = 4, t.second = 5;
    t.millisecond = 6;
    EXPECT_EQ("2026-01-02T03:04:05.006+09:00", IsoTime(t, 540));
    EXPECT_EQ("2026-01-02T03:04:05.006-03:30", IsoTime(t, -210));
    EXPECT_EQ("2026-01-02T03:04:05.006+00:00", IsoTime(t, 0));
}

// Files that the bridge takes.
TEST(Settings, DefaultsKeysAndTopics)
{
    FileContent content;
    content.itemLines = {"PLC1!D100,W", "  PLC1 ! d200,c6 = line1/label ", "; a comment",
                         "LINE2!M1,B", ""};
    const auto anyFile = [](const std::string&) { return true; };
    Settings s = ReadSettings("b.ini", content, "PC7", anyFile);
    EXPECT_EQ("127.0.0.1", s.host);
    EXPECT_EQ(1883, s.port);
    EXPECT_EQ("komvas-PC7", s.clientId);
    EXPECT_EQ("komvas", s.prefix);
    EXPECT_EQ(1, s.qos);
    EXPECT_EQ(30u, s.keepAlive);
    ASSERT_EQ(3u, s.items.size());
    EXPECT_EQ("komvas/PLC1/D100,W", s.items[0].topic);
    EXPECT_EQ(ValueKind::Number, s.items[0].kind);
    EXPECT_EQ("PLC1", s.items[1].plc);
    EXPECT_EQ("d200,c6", s.items[1].name);
    EXPECT_EQ("komvas/line1/label", s.items[1].topic);
    EXPECT_EQ(ValueKind::Text, s.items[1].kind);
    EXPECT_EQ("komvas/LINE2/$state", StateTopic(s, "LINE2"));
    EXPECT_EQ("komvas/$bridge", BridgeTopic(s));

    content.mqtt = {{"host", "broker"}, {"CAFILE", "ca.pem"}, {"Prefix", "site/a"},
                    {"QOS", "0"},       {"KEEPALIVE", "5"},   {"USER", "u"},
                    {"PASSWORD", "p"},  {"CLIENTID", ""}};
    s = ReadSettings("b.ini", content, "PC7", anyFile);
    EXPECT_EQ("broker", s.host);
    EXPECT_EQ(8883, s.port);
    EXPECT_EQ("komvas-PC7", s.clientId);
    EXPECT_EQ("site/a/PLC1/D100,W", s.items[0].topic);
    EXPECT_EQ(0, s.qos);
    EXPECT_EQ(5u, s.keepAlive);
}

// Files that it refuses, each with one line naming the file, the section and the line.
TEST(Settings, RefusesWhatCannotBeUsedNamingTheLine)
{
    const struct {
        std::map<std::string, std::string> mqtt;
        std::vector<std::string> items;
        std::string message;
    } cases[] = {
        {{{"PORT", "0"}}, {"P!D1,W"}, "b.ini: [MQTT] PORT=0: the port is a number from 1 to 65535"},
        {{{"QOS", "2"}}, {"P!D1,W"}, "b.ini: [MQTT] QOS=2: QoS 0 or 1"},
        {{{"KEEPALIVE", "4"}}, {"P!D1,W"}, "b.ini: [MQTT] KEEPALIVE=4: the keep-alive"},
        {{{"HOTS", "x"}}, {"P!D1,W"}, "b.ini: [MQTT] HOTS=x: unknown key"},
        {{{"PASSWORD", "p"}}, {"P!D1,W"}, "b.ini: [MQTT] PASSWORD=...: a password needs a USER"},
        {{{"PREFIX", "a/+"}}, {"P!D1,W"}, "b.ini: [MQTT] PREFIX=a/+: '+' and '#'"},
        {{{"PREFIX", "a//b"}},
         {"P!D1,W"},
         "b.ini: [MQTT] PREFIX=a//b: the topic would have an empty"},
        {{{"PREFIX", "$SYS"}}, {"P!D1,W"}, "b.ini: [MQTT] PREFIX=$SYS: levels that begin with '$'"},
        {{{"CERTFILE", "c.pem"}},
         {"P!D1,W"},
         "b.ini: [MQTT] CERTFILE=c.pem: a client certificate needs both"},
        {{{"CERTFILE", "c.pem"}, {"KEYFILE", "k.pem"}},
         {"P!D1,W"},
         "a client certificate needs TLS"},
        {{{"CAFILE", "missing.pem"}},
         {"P!D1,W"},
         "b.ini: [MQTT] CAFILE=missing.pem: the file cannot be read"},
        {{}, {}, "b.ini: [ITEMS] holds no item"},
        {{}, {"PLC1D100,W"}, "b.ini: [ITEMS] PLC1D100,W: an item is written TOPIC!ITEM"},
        {{}, {"!D1,W"}, "b.ini: [ITEMS] !D1,W: the topic or the item is missing"},
        {{}, {"P!D1,W="}, "b.ini: [ITEMS] P!D1,W=: no name after '='"},
        {{},
         {"P!D1#W"},
         "b.ini: [ITEMS] P!D1#W: '+' and '#' are wildcards of subscriptions and "
         "cannot be part of a topic; give the item a name on the broker after '='"},
        {{}, {"P!D1,W=a/+/b"}, "[ITEMS] P!D1,W=a/+/b: '+' and '#'"},
        {{}, {"P!D1,W=a//b"}, "[ITEMS] P!D1,W=a//b: the topic would have an empty level"},
        {{}, {"P!D1,W=P/$state"}, "[ITEMS] P!D1,W=P/$state: levels that begin with '$'"},
        {{}, {"L+1!D1,W=a"}, "[ITEMS] L+1!D1,W=a: '+' and '#'"},
        {{}, {"P!D1,W", "p!d1,w=x"}, "[ITEMS] p!d1,w=x: the same item as P!D1,W"},
        {{},
         {"P!D1,W", "Q!D2,W=P/D1,W"},
         "[ITEMS] Q!D2,W=P/D1,W: the same topic komvas/P/D1,W as P!D1,W"},
        {{}, {"P!" + std::string(256, 'D')}, "DDE names are at most 255 characters"},
    };
    const auto readable = [](const std::string& file) { return file != "missing.pem"; };
    for (const auto& c : cases) {
        FileContent content;
        content.mqtt = c.mqtt;
        content.itemLines = c.items;
        try {
            ReadSettings("b.ini", content, "PC", readable);
            ADD_FAILURE() << "accepted, expected: " << c.message;
        } catch (const SettingsError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
                << "expected: " << c.message << "\n  actual: " << e.what();
        }
    }
}

}  // namespace
}  // namespace mqttbridge
