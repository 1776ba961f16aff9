#include "tests/e2e/support/mqtt.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "tests/e2e/support/wine.h"

namespace e2e {

namespace {

std::string tempFolder(const char* what)
{
    std::string pattern = std::string("/tmp/komvas-") + what + "-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    return pattern;
}

// A TCP connection to 127.0.0.1:port (bound, for port 0, to a free port whose number goes to
// `port`); whether it could be made.
bool loopbackTcp(unsigned& port, bool connectToIt)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t size = sizeof address;
    bool ok = fd >= 0;
    if (ok && connectToIt)
        ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    else if (ok)
        ok = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
             getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0;
    if (ok && !connectToIt)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        close(fd);
    return ok;
}

// The first line from `from` on that contains `part`.
std::optional<size_t> lineContaining(const ChildProcess& process, const std::string& part,
                                     milliseconds timeout, size_t from)
{
    return process.waitForLine(
        [&](const OutputLine& line) { return line.text.find(part) != std::string::npos; },
        timeout, from);
}

// Every line of a program, for failure messages.
std::string linesOf(const std::string& name, const ChildProcess& process)
{
    std::string all = name + ":\n";
    for (const OutputLine& line : process.lines())
        all += "  | " + line.text + "\n";
    return all;
}

}  // namespace

std::string mqttBridgeExe()
{
    return std::string(KOMVAS_E2E_BIN_DIR) + "/komvas-mqtt.exe";
}

std::string mqttSetupProblem()
{
    if (access(mqttBridgeExe().c_str(), R_OK) != 0)
        return mqttBridgeExe() + " is missing: scripts/third_party.sh builds its libraries";
    if (std::system("command -v mosquitto mosquitto_sub mosquitto_passwd openssl >/dev/null") != 0)
        return "mosquitto, mosquitto-clients or openssl is not installed (scripts/setup.sh)";
    return {};
}

Broker::Broker(const std::string& conf) : dir(tempFolder("broker")), conf(conf)
{
    loopbackTcp(port_, false);
}

Broker::~Broker()
{
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

bool Broker::start()
{
    // Debian's broker runs as root here only when told to.
    std::ofstream(dir + "/mosquitto.conf")
        << "user root\npersistence false\nlistener " << port_ << " 127.0.0.1\n"
        << conf;
    SpawnOptions spawn;
    spawn.argv = {"mosquitto", "-c", dir + "/mosquitto.conf"};
    spawn.folder = dir;
    spawn.mergeStderr = true;
    process = std::make_unique<ChildProcess>(spawn);
    for (int i = 0; i < 100 && process->running(); ++i) {
        unsigned port = port_;
        if (loopbackTcp(port, true))
            return true;
        std::this_thread::sleep_for(milliseconds(100));
    }
    return false;
}

void Broker::stop()
{
    if (process && process->running()) {
        process->signal(SIGTERM);
        process->waitExit(milliseconds(5000));
    }
    process.reset();
}

bool makeTlsFiles(const std::string& folder)
{
    std::ofstream(folder + "/make.sh") << R"(set -e
for ca in ca other-ca; do
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
          -keyout $ca.key -out $ca.crt -subj "/CN=KOMVAS test $ca"
done
openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout server.key \
        -out server.csr -subj /CN=127.0.0.1
printf 'subjectAltName=IP:127.0.0.1\n' > san
openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 \
        -extfile san -out server.crt
mosquitto_passwd -c -b passwd plant secret
)";
    return std::system(("cd '" + folder + "' && timeout 60 sh make.sh >make.log 2>&1").c_str()) ==
           0;
}

Subscriber::Subscriber(const Broker& broker, const std::string& topic,
                       const std::vector<std::string>& options, const std::string& format)
{
    SpawnOptions spawn;
    spawn.argv = {"mosquitto_sub", "-h", "127.0.0.1", "-p", std::to_string(broker.port()), "-t",
                  topic,           "-F", format};
    spawn.argv.insert(spawn.argv.end(), options.begin(), options.end());
    spawn.folder = broker.folder();
    spawn.mergeStderr = true;
    process = std::make_unique<ChildProcess>(spawn);
}

std::optional<size_t> Subscriber::waitFor(const std::string& part, size_t from,
                                          milliseconds timeout) const
{
    return lineContaining(*process, part, timeout, from);
}

std::string Subscriber::transcript() const
{
    return linesOf("mosquitto_sub", *process);
}

Bridge::Bridge(const std::string& ini, const std::vector<std::string>& files,
               const std::vector<std::string>& args)
    : dir(tempFolder("bridge"))
{
    std::ofstream(dir + "/komvas-mqtt.ini", std::ios::binary) << ini;
    for (const std::string& file : files)
        std::filesystem::copy_file(file,
                                   dir + "/" + std::filesystem::path(file).filename().string());
    SpawnOptions spawn;
    spawn.argv = wineCommand(mqttBridgeExe());
    spawn.argv.insert(spawn.argv.end(), args.begin(), args.end());
    spawn.folder = dir;
    spawn.environment = wineEnvironment();
    spawn.mergeStderr = true;
    process = std::make_unique<ChildProcess>(spawn);
}

Bridge::~Bridge()
{
    if (process->running()) {
        process->signal(SIGINT);
        process->waitExit(milliseconds(5000));
    }
    process.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

std::optional<size_t> Bridge::waitForLine(const std::string& part, milliseconds timeout,
                                          size_t from) const
{
    return lineContaining(*process, part, timeout, from);
}

std::string Bridge::transcript() const
{
    return linesOf("komvas-mqtt.exe", *process) + describe(process->waitExit(milliseconds(0))) +
           "\n";
}

}  // namespace e2e
