// A pulled cable, for real: the server and its clients run in a network namespace of their own,
// joined by a veth pair to another namespace where two simulated modules serve. Taking the
// server's end of the pair down makes every send and connect fail with WSAENETUNREACH, as on a
// PC whose network link is gone. Needs root (ip netns); skipped with the reason where it is not
// permitted, except in CI, where it fails instead.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "tests/e2e/support/fixture.h"
#include "tests/e2e/support/wine.h"
#include "tests/support/skip.h"

namespace e2e {
namespace {

const std::string serverAddress = "10.213.0.1";
const std::string moduleAddress = "10.213.0.2";

// Runs a shell command, bounded; true when it succeeded.
bool run(const std::string& command)
{
    return std::system(("timeout 60 " + command + " >/dev/null 2>&1").c_str()) == 0;
}

// Two namespaces joined by a veth pair, a prefix copy and a wineserver for the server's side.
class PulledCable : public testing::Test {
protected:
    void SetUp() override
    {
        const std::string id = std::to_string(getpid());
        plcSide = "komvas-plc-" + id;
        pcSide = "komvas-pc-" + id;
        if (!run("ip netns add " + pcSide))
            KOMVAS_SKIP_TEST("network namespaces are not permitted here (`ip netns add` failed): "
                             "the pulled-cable test needs root");
        ASSERT_TRUE(run("ip netns add " + plcSide));
        ASSERT_TRUE(
            run("ip link add ka netns " + pcSide + " type veth peer name kb netns " + plcSide));
        for (const auto& [ns, link, address] :
             {std::tuple{pcSide, "ka", serverAddress}, std::tuple{plcSide, "kb", moduleAddress}}) {
            ASSERT_TRUE(run("ip -n " + ns + " addr add " + address + "/24 dev " + link));
            ASSERT_TRUE(run("ip -n " + ns + " link set lo up"));
            ASSERT_TRUE(run("ip -n " + ns + " link set " + link + " up"));
        }

        // One wineserver serves one prefix, and it must run where the server's sockets are.
        // The copy shares the prefix's files but has registry files of its own.
        const char* prefix = std::getenv("WINEPREFIX");
        ASSERT_NE(prefix, nullptr);
        wineCopy = "/tmp/komvas-netns-prefix-" + id;
        ASSERT_TRUE(run("cp -al '" + std::string(prefix) + "' " + wineCopy));
        for (const char* file : {"system.reg", "user.reg", "userdef.reg"})
            run("sh -c 'rm -f " + wineCopy + "/" + file + " && cp " + prefix + "/" + file + " " +
                wineCopy + "/'");
        ASSERT_TRUE(
            run("ip netns exec " + pcSide + " env WINEPREFIX=" + wineCopy + " wineserver -p"));
        setWineSite({pcSide, wineCopy});
    }

    void TearDown() override
    {
        server.reset();  // while its wineserver and namespace are still there
        modules.clear();
        setWineSite({});
        if (!wineCopy.empty()) {
            run("env WINEPREFIX=" + wineCopy + " wineserver -k");
            std::error_code ignored;
            std::filesystem::remove_all(wineCopy, ignored);
        }
        run("ip netns del " + plcSide);
        run("ip netns del " + pcSide);
    }

    // A simulated module serving in the PLCs' namespace.
    void startModule(unsigned port, const char* form, const char* value)
    {
        SpawnOptions spawn;
        spawn.argv = {"ip",          "netns",        "exec",
                      plcSide,       KOMVAS_E2E_SIM, "--address",
                      moduleAddress, "--port",       std::to_string(port),
                      "--form",      form,           "--set",
                      value};
        modules.push_back(std::make_unique<ChildProcess>(spawn));
        ASSERT_TRUE(modules.back()->waitForLine(
            [](const OutputLine& line) { return line.text.find("serving") != std::string::npos; },
            milliseconds(10000)));
    }

    std::string section(const std::string& name, unsigned port, const std::string& mode)
    {
        return "[" + name + "]\r\nIP=" + moduleAddress + "\r\nPORT=" + std::to_string(port) +
               "\r\nMODE=" + mode + "\r\n";
    }

    void cable(const char* state) { ASSERT_TRUE(run("ip -n " + pcSide + " link set ka " + state)); }

    std::string plcSide, pcSide, wineCopy;
    std::vector<std::unique_ptr<ChildProcess>> modules;
    std::unique_ptr<Server> server = std::make_unique<Server>();
};

TEST_F(PulledCable, ItemsShowTimeOutWhileTheLinkIsDownAndTheirValuesWhenItIsBack)
{
    startModule(12289, "binary", "D100=111");
    startModule(12290, "ascii", "D100=222");
    server->start(section("BIN", 12289, "BINARY") + section("AUTO", 12290, "AUTO"));
    ASSERT_TRUE(server->waitReady()) << server->transcript();
    ASSERT_TRUE(server->waitForLine(msg::asciiStarted("AUTO"))) << server->transcript();
    DdeClient binary("BIN"), automatic("AUTO");
    ASSERT_EQ(binary.command("advise D100,W"), "ok");
    ASSERT_EQ(automatic.command("advise D100,W"), "ok");
    ASSERT_TRUE(binary.waitForEvent("update D100,W 111")) << binary.transcript();
    ASSERT_TRUE(automatic.waitForEvent("update D100,W 222")) << automatic.transcript();

    const size_t before = server->lines().size();
    cable("down");
    // The next command fails to go out; no item keeps showing its last value.
    EXPECT_TRUE(binary.waitForEvent("update D100,W #TMOUT", milliseconds(10000)))
        << binary.transcript();
    EXPECT_TRUE(automatic.waitForEvent("update D100,W #TMOUT", milliseconds(10000)))
        << automatic.transcript();
    for (const char* plc : {"BIN", "AUTO"}) {
        const std::regex refused(std::string("warning\t: ") + plc + " \\S");
        EXPECT_TRUE(server->waitForLineMatching(refused, lineTimeout, before))
            << plc << "\n"
            << server->transcript();
    }

    cable("up");
    // A connect attempt every 501 ticks (about 10 s); then the values come back.
    EXPECT_TRUE(binary.waitForEvent("update D100,W 111", milliseconds(30000), 2))
        << binary.transcript();
    EXPECT_TRUE(automatic.waitForEvent("update D100,W 222", milliseconds(30000), 2))
        << automatic.transcript();
    EXPECT_EQ(binary.quit(), 0);
    EXPECT_EQ(automatic.quit(), 0);
    const ToolResult end = runTool({"--topic", "SYSTEM", "execute", "END"});
    EXPECT_EQ(end.exitCode, 0);
    EXPECT_EQ(server->waitExit(), 0) << server->transcript();
}

}  // namespace
}  // namespace e2e
