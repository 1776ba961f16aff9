// The Windows package as a user receives it: the zip of scripts/package.sh unpacked into an
// empty folder holds what the guide promises, and the guide's quick start works there under
// Wine: the simulator with the demonstration values, the server with the sample KOMVAS.ini,
// the client showing demonstration items, and END.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

#include "tests/e2e/support/child_process.h"
#include "tests/e2e/support/messages.h"
#include "tests/e2e/support/wine.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

const std::string zipFile = KOMVAS_PACKAGE_ZIP;
const std::string packageName = KOMVAS_PACKAGE_NAME;  // the folder inside the zip

// The sample KOMVAS.ini serves PLC1 on this port, the simulator's default.
constexpr uint16_t demoPort = 12289;

constexpr milliseconds programTimeout{30000};

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

struct Finished {
    std::optional<ExitStatus> status;
    std::vector<std::string> out;
    std::string transcript;
};

// Runs a program to its end (killed after the time-out) in a folder.
Finished run(std::vector<std::string> argv, const std::string& folder,
             const std::map<std::string, std::string>& environment = {},
             milliseconds timeout = programTimeout)
{
    SpawnOptions spawn;
    spawn.argv = std::move(argv);
    spawn.folder = folder;
    spawn.environment = environment;
    ChildProcess process(spawn);
    Finished result;
    result.status = process.waitExit(timeout);
    for (const OutputLine& line : process.lines()) {
        if (line.stream == Stream::Out)
            result.out.push_back(line.text);
        result.transcript += (line.stream == Stream::Out ? "  | " : "  E ") + line.text + "\n";
    }
    result.transcript += describe(result.status) + "\n";
    return result;
}

// A wine program of the package, started in its folder and left running. Should the test
// stop early, it gets CTRL+C first, as a user would give it, and is killed only if that fails.
class Program {
public:
    Program(const std::string& folder, const std::vector<std::string>& argv)
    {
        SpawnOptions spawn;
        spawn.argv = {"wine"};
        spawn.argv.insert(spawn.argv.end(), argv.begin(), argv.end());
        spawn.folder = folder;
        spawn.environment = wineEnvironment();
        spawn.mergeStderr = true;
        process = std::make_unique<ChildProcess>(spawn);
    }
    ~Program()
    {
        if (process->running()) {
            process->signal(SIGINT);
            process->waitExit(std::chrono::seconds(5));
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    ChildProcess* operator->() const { return process.get(); }
    const ChildProcess& operator*() const { return *process; }

private:
    std::unique_ptr<ChildProcess> process;
};

std::string transcript(const std::string& name, const ChildProcess& process)
{
    std::string all = name + " output:\n";
    for (const OutputLine& line : process.lines())
        all += "  | " + line.text + "\n";
    return all;
}

// Why the demonstration's UDP port cannot be had on 127.0.0.1, or nothing when it is free.
std::optional<std::string> portTaken(uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::string("no UDP socket: ") + std::strerror(errno);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    const int error = errno;
    close(fd);
    if (bound)
        return std::nullopt;
    return std::string(std::strerror(error));
}

class Package : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::exists(zipFile))
            << zipFile << " is missing: make it with scripts/package.sh before this test";
        ASSERT_TRUE(std::getenv("WINEPREFIX")) << "WINEPREFIX is not set";
        char pattern[] = "/tmp/komvas-package-XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        unpacked = pattern;
        const Finished unzip = run({"unzip", "-q", zipFile, "-d", unpacked}, unpacked);
        ASSERT_TRUE(unzip.status && unzip.status->exited() && unzip.status->code == 0)
            << "unzip of " << zipFile << " failed:\n"
            << unzip.transcript;
        folder = unpacked + "/" + packageName;
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(unpacked, ignored);
    }

    std::string unpacked;
    std::string folder;
};

TEST_F(Package, HoldsTheProgramsTheSampleFilesAndTheGuideInOneFolder)
{
    std::vector<std::string> top;
    for (const fs::directory_entry& entry : fs::directory_iterator(unpacked))
        top.push_back(entry.path().filename().string());
    EXPECT_EQ(top, std::vector<std::string>{packageName});

    std::set<std::string> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        files.insert(entry.path().filename().string());
    const std::set<std::string> expected = {"KOMVAS.exe",      "komvas-dde.exe", "komvas-sim.exe",
                                            "komvas-mqtt.exe", "KOMVAS.ini",     "komvas-mqtt.ini",
                                            "demo.txt",        "guide.en.md",    "guide.ja.md",
                                            "guide.en.html",   "guide.ja.html"};
    EXPECT_EQ(files, expected);

    // Windows line ends in the sample configurations, as Notepad writes them.
    for (const char* name : {"KOMVAS.ini", "komvas-mqtt.ini"}) {
        const std::string ini = readFile(folder + "/" + name);
        size_t lines = 0;
        for (size_t at = ini.find('\n'); at != std::string::npos; at = ini.find('\n', at + 1)) {
            EXPECT_TRUE(at > 0 && ini[at - 1] == '\r')
                << name << " line " << lines + 1 << " ends in LF alone";
            ++lines;
        }
        EXPECT_GT(lines, 0u) << name;
        EXPECT_EQ(ini.back(), '\n') << name;
    }

    // Whole pages that declare their encoding, so that a browser shows the Japanese.
    for (const char* page : {"guide.en.html", "guide.ja.html"}) {
        const std::string html = readFile(folder + "/" + page);
        EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos) << page;
        EXPECT_TRUE(std::regex_search(html, std::regex("<title>[^<]+</title>"))) << page;
        EXPECT_NE(html.find("</html>"), std::string::npos) << page;
    }
}

// The values that a line of `komvas-dde advise` shows, by item.
std::map<std::string, std::vector<std::string>> valuesByItem(const std::vector<std::string>& out)
{
    static const std::regex line(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (\S+) (.*))");
    std::map<std::string, std::vector<std::string>> values;
    for (const std::string& text : out) {
        std::smatch m;
        if (std::regex_match(text, m, line))
            values[m[1]].push_back(m[2]);
    }
    return values;
}

bool isIntegerIn(const std::string& text, long low, long high)
{
    if (!std::regex_match(text, std::regex("-?[0-9]+")))
        return false;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    return value >= low && value <= high;
}

bool isNumberIn(const std::string& text, double low, double high)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && value >= low && value <= high;
}

TEST_F(Package, QuickStartShowsTheDemonstrationValuesAndEndsCleanly)
{
    if (const std::optional<std::string> taken = portTaken(demoPort))
        FAIL() << "UDP port " << demoPort << " on 127.0.0.1 cannot be used (" << *taken
               << "): the package's KOMVAS.ini and the simulator's default use it, so the quick "
                  "start needs it free. Is another komvas-sim (scripts/run.sh) running?";

    // 1. The simulator with the demonstration values.
    Program sim(folder, {"komvas-sim.exe", "--values", "demo.txt"});
    const std::string serving =
        "komvas-sim: serving ascii form on 127.0.0.1:" + std::to_string(demoPort);
    ASSERT_TRUE(sim->waitForLine(
        [&](const OutputLine& line) { return line.text.rfind(serving, 0) == 0; }, programTimeout))
        << transcript("komvas-sim.exe", *sim) << describe(sim->waitExit(milliseconds(0)));

    // 2. The server with the sample KOMVAS.ini: ready, then the frame form found out for PLC1
    //    (ASCII, the simulator's default).
    Program server(folder, {"KOMVAS.exe"});
    const auto line = [&](const std::string& text, size_t from = 0) {
        return server->waitForLine([&](const OutputLine& l) { return l.text == text; },
                                   programTimeout, from);
    };
    const std::optional<size_t> ready = line(msg::ready);
    ASSERT_TRUE(ready) << transcript("KOMVAS.exe", *server);
    const std::optional<size_t> started = server->waitForLine(
        [](const OutputLine& l) {
            return l.text == msg::asciiStarted("PLC1") || l.text == msg::binaryStarted("PLC1");
        },
        programTimeout, *ready);
    ASSERT_TRUE(started) << transcript("KOMVAS.exe", *server);

    // 3. The client shows where every demonstration item stands, and its updates.
    const Finished client =
        run({"wine", "komvas-dde.exe", "--topic", "PLC1", "advise", "D1,W", "M1,B", "D10,F",
             "D20,LONG", "D100,W", "D200,C6", "--seconds", "3"},
            folder, wineEnvironment());
    ASSERT_TRUE(client.status && client.status->exited()) << client.transcript;
    EXPECT_EQ(client.status->code, 0) << client.transcript;
    std::map<std::string, std::vector<std::string>> values = valuesByItem(client.out);
    const std::map<std::string, std::function<bool(const std::string&)>> shows = {
        {"D1,W", [](const std::string& v) { return isIntegerIn(v, 0, 32767); }},
        {"M1,B", [](const std::string& v) { return v == "0" || v == "1"; }},
        {"D10,F", [](const std::string& v) { return isNumberIn(v, -0.001, 100.001); }},
        {"D20,LONG", [](const std::string& v) { return isIntegerIn(v, 0, 1000); }},
        {"D100,W", [](const std::string& v) { return v == "1234"; }},
        {"D200,C6", [](const std::string& v) { return v == "KOMVAS"; }},
    };
    for (const auto& [item, good] : shows) {
        // A value read before the link's first answer is the marker of an empty item.
        std::vector<std::string>& seen = values[item];
        if (!seen.empty() && seen.front() == "#EMPTY")
            seen.erase(seen.begin());
        EXPECT_FALSE(seen.empty()) << item << " shows no value\n" << client.transcript;
        for (const std::string& value : seen)
            EXPECT_TRUE(good(value)) << item << " shows '" << value << "'\n" << client.transcript;
    }

    // 4. END on SYSTEM stops the server normally; CTRL+C the simulator.
    const Finished end = run({"wine", "komvas-dde.exe", "--topic", "SYSTEM", "execute", "END"},
                             folder, wineEnvironment());
    EXPECT_TRUE(end.status && end.status->exited() && end.status->code == 0) << end.transcript;
    const std::optional<ExitStatus> serverEnd = server->waitExit(programTimeout);
    ASSERT_TRUE(serverEnd) << transcript("KOMVAS.exe", *server);
    EXPECT_EQ(serverEnd->code, 0) << transcript("KOMVAS.exe", *server);
    EXPECT_TRUE(line(msg::ended(0), *started)) << transcript("KOMVAS.exe", *server);

    sim->signal(SIGINT);
    const std::optional<ExitStatus> simEnd = sim->waitExit(programTimeout);
    ASSERT_TRUE(simEnd) << transcript("komvas-sim.exe", *sim);
    EXPECT_EQ(simEnd->code, 0) << transcript("komvas-sim.exe", *sim);
}

}  // namespace
}  // namespace e2e
