// komvas-mqtt.exe between the real KOMVAS.exe and Debian's mosquitto: values arrive retained,
// the bridge rides out a broker restart and a KOMVAS restart, its last will marks it gone, TLS
// is verified and a wrong CA or password refused, and a bad configuration file is named.
#include <signal.h>

#include "tests/e2e/support/fixture.h"
#include "tests/e2e/support/mqtt.h"
#include "tests/support/skip.h"
#include "tools/plcsim/plcsim.h"

namespace e2e {
namespace {

class MqttBridge : public testing::Test {
protected:
    void SetUp() override
    {
        if (!mqttSetupProblem().empty())
            KOMVAS_SKIP_TEST(mqttSetupProblem());
        plc.setWord(1, "D", 100, 1234);
        plc.assign("D200:text=LINE1");
        server.start(iniSection("PLC1", plc.start(), "BINARY"));
        ASSERT_TRUE(server.waitReady()) << server.transcript();
    }

    // A komvas-mqtt.ini for the broker with `mqtt` lines and `items`.
    std::string ini(const Broker& broker, const std::string& mqtt, const std::string& items)
    {
        return "[MQTT]\r\nPORT=" + std::to_string(broker.port()) + "\r\n" + mqtt + "[ITEMS]\r\n" +
               items;
    }

    plcsim::Simulator plc{plcsim::Form::Binary};
    Server server;
};

TEST_F(MqttBridge, ValuesArriveRetainedAndCtrlCSaysOffline)
{
    Broker broker;
    ASSERT_TRUE(broker.start());
    Bridge bridge(ini(broker, "PREFIX=t1\r\n",
                      "PLC1!D100,W\r\nPLC1!D200,C6 = line1/label\r\nPLC1!5D1,W\r\n"));
    Subscriber live(broker, "t1/#");
    for (const char* expected :
         {"t1/PLC1/D100,W\t{\"value\":1234,\"quality\":\"good\",\"time\":\"",
          "t1/line1/label\t{\"value\":\"LINE1\",\"quality\":\"good\"", "t1/PLC1/$state\tBINARY"})
        EXPECT_TRUE(live.waitFor(expected)) << expected << "\n"
                                            << live.transcript() << bridge.transcript();
    EXPECT_TRUE(bridge.waitForLine("KOMVAS refuses PLC1!5D1,W")) << bridge.transcript();
    plc.setWord(1, "D", 100, 0xFFFE);
    EXPECT_TRUE(live.waitFor("t1/PLC1/D100,W\t{\"value\":-2,\"quality\":\"good\""))
        << live.transcript();

    // A subscriber that comes later gets the retained values.
    Subscriber late(broker, "t1/#");
    for (const char* expected : {"1\tt1/PLC1/D100,W\t{\"value\":-2,\"quality\":\"good\"",
                                 "1\tt1/$bridge\tonline", "1\tt1/PLC1/$state\tBINARY"})
        EXPECT_TRUE(late.waitFor(expected)) << expected << "\n" << late.transcript();

    bridge->signal(SIGINT);
    const std::optional<ExitStatus> end = bridge->waitExit(mqttTimeout);
    ASSERT_TRUE(end) << bridge.transcript();
    EXPECT_EQ(0, end->code) << bridge.transcript();
    EXPECT_TRUE(late.waitFor("0\tt1/$bridge\toffline")) << late.transcript();
}

TEST_F(MqttBridge, RidesOutABrokerAndAKomvasRestartAndItsWillSaysOfflineWhenKilled)
{
    Broker broker;
    ASSERT_TRUE(broker.start());
    Bridge bridge(ini(broker, "PREFIX=t2\r\nKEEPALIVE=5\r\n", "PLC1!D100,W\r\n"));
    {
        Subscriber first(broker, "t2/#");
        ASSERT_TRUE(first.waitFor("t2/PLC1/D100,W\t{\"value\":1234,\"quality\":\"good\""))
            << first.transcript() << bridge.transcript();
    }
    // A new broker knows nothing: the bridge gives it every latest value again.
    broker.stop();
    ASSERT_TRUE(broker.start());
    Subscriber sub(broker, "t2/#");
    EXPECT_TRUE(sub.waitFor("t2/PLC1/D100,W\t{\"value\":1234,\"quality\":\"good\""))
        << sub.transcript() << bridge.transcript();

    // KOMVAS ended: the last value, stale, and the state unknown; back: good values again.
    EXPECT_EQ(0, runTool({"--topic", "SYSTEM", "execute", "END"}).exitCode);
    EXPECT_EQ(0, server.waitExit()) << server.transcript();
    EXPECT_TRUE(sub.waitFor("t2/PLC1/D100,W\t{\"value\":1234,\"quality\":\"stale\""))
        << sub.transcript() << bridge.transcript();
    EXPECT_TRUE(sub.waitFor("t2/PLC1/$state\tUNKNOWN")) << sub.transcript();
    plc.setWord(1, "D", 100, 4321);
    server.start();
    ASSERT_TRUE(server.waitReady()) << server.transcript();
    EXPECT_TRUE(sub.waitFor("t2/PLC1/D100,W\t{\"value\":4321,\"quality\":\"good\""))
        << sub.transcript() << bridge.transcript();

    // Killed: the broker publishes the last will.
    bridge->signal(SIGKILL);
    EXPECT_TRUE(sub.waitFor("t2/$bridge\toffline")) << sub.transcript();
}

TEST_F(MqttBridge, TlsIsVerifiedAndAWrongCaOrPasswordIsRefusedAtEachTry)
{
    Broker broker("allow_anonymous false\npassword_file passwd\ncafile ca.crt\n"
                  "certfile server.crt\nkeyfile server.key\n");
    ASSERT_TRUE(makeTlsFiles(broker.folder())) << "openssl failed in " << broker.folder();
    ASSERT_TRUE(broker.start());
    const std::string items = "PLC1!D100,W\r\n";
    const std::string ca = broker.folder() + "/ca.crt";
    const std::string otherCa = broker.folder() + "/other-ca.crt";
    Bridge good(
        ini(broker, "CAFILE=ca.crt\r\nUSER=plant\r\nPASSWORD=secret\r\nPREFIX=t3\r\n", items),
        {ca});
    Bridge wrongCa(ini(broker,
                       "CAFILE=other-ca.crt\r\nUSER=plant\r\nPASSWORD=secret\r\n"
                       "PREFIX=bad\r\nCLIENTID=wrong-ca\r\n",
                       items),
                   {otherCa});
    Bridge wrongPassword(ini(broker,
                             "CAFILE=ca.crt\r\nUSER=plant\r\nPASSWORD=guess\r\n"
                             "PREFIX=bad\r\nCLIENTID=wrong-password\r\n",
                             items),
                         {ca});
    Subscriber sub(broker, "#", {"--cafile", ca, "-u", "plant", "-P", "secret"});
    EXPECT_TRUE(sub.waitFor("t3/PLC1/D100,W\t{\"value\":1234,\"quality\":\"good\""))
        << sub.transcript() << good.transcript();
    EXPECT_TRUE(good.waitForLine("(TLS, certificate verified)")) << good.transcript();
    for (const Bridge* refused : {&wrongCa, &wrongPassword}) {
        const std::string says = refused == &wrongCa ? "certificate verify failed"
                                                     : "refused the connection: Connection Refused";
        const std::optional<size_t> first = refused->waitForLine(says);
        EXPECT_TRUE(first && refused->waitForLine(says, mqttTimeout, *first + 1))
            << "expected twice: " << says << "\n"
            << refused->transcript();
    }
    EXPECT_FALSE(sub.waitFor("bad/", 0, milliseconds(0))) << sub.transcript();
}

TEST(MqttBridgeConfiguration, AFileItCannotUseIsNamedWithItsSectionAndLine)
{
    if (!mqttSetupProblem().empty())
        KOMVAS_SKIP_TEST(mqttSetupProblem());
    const struct {
        std::string ini;
        std::vector<std::string> args;
        std::string line;
    } cases[] = {
        {"[MQTT]\r\nPORT=x\r\n[ITEMS]\r\nPLC1!D1,W\r\n",
         {},
         "komvas-mqtt: komvas-mqtt.ini: [MQTT] PORT=x: the port is a number from 1 to 65535"},
        // The profile functions give a line without '=' as it is, one with '=' trimmed around it.
        {"[ITEMS]\r\n  PLC1 D1,W  =  a  \r\n",
         {},
         "komvas-mqtt: komvas-mqtt.ini: [ITEMS] PLC1 D1,W=a: an item is written TOPIC!ITEM"},
        {"",
         {"--config", "other.ini"},
         "komvas-mqtt: other.ini: the configuration file cannot be read"},
    };
    for (const auto& c : cases) {
        Bridge bridge(c.ini, {}, c.args);
        const std::optional<ExitStatus> end = bridge->waitExit(mqttTimeout);
        ASSERT_TRUE(end) << bridge.transcript();
        EXPECT_EQ(2, end->code) << bridge.transcript();
        ASSERT_EQ(1u, bridge->lines().size()) << bridge.transcript();
        EXPECT_EQ(0u, bridge->lines()[0].text.find(c.line)) << "expected: " << c.line << "\n"
                                                            << bridge.transcript();
    }
}

}  // namespace
}  // namespace e2e
