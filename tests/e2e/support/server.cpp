#include "tests/e2e/support/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "tests/e2e/support/messages.h"
#include "tests/e2e/support/wine.h"

namespace e2e {

Server::Server(ServerOptions options) : options(options)
{
    char pattern[] = "/tmp/komvas-e2e-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    dir = pattern;
}

Server::~Server()
{
    if (process && process->running()) {
        process->signal(SIGINT);
        process->waitExit(std::chrono::seconds(5));
    }
    process.reset();  // kills it if it still runs
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

void Server::writeIni(const std::string& text)
{
    std::ofstream file(dir + "/KOMVAS.ini", std::ios::binary | std::ios::trunc);
    file << text;
    if (!file)
        throw std::runtime_error("cannot write " + dir + "/KOMVAS.ini");
}

void Server::start()
{
    SpawnOptions spawn;
    spawn.argv = wineCommand(options.program.empty() ? komvasExe() : options.program);
    spawn.folder = dir;
    spawn.environment = wineEnvironment();
    if (!options.locale.empty())
        spawn.environment["LC_ALL"] = options.locale;
    spawn.mergeStderr = !options.separateStreams;
    process = std::make_unique<ChildProcess>(spawn);
}

bool Server::waitReady(milliseconds timeout)
{
    return waitForLine(msg::ready, timeout).has_value();
}

std::optional<size_t> Server::waitForLine(const std::string& text, milliseconds timeout,
                                          size_t from) const
{
    return process->waitForLine([&](const OutputLine& line) { return line.text == text; }, timeout,
                                from);
}

std::optional<size_t> Server::waitForLineContaining(const std::string& part, milliseconds timeout,
                                                    size_t from) const
{
    return process->waitForLine(
        [&](const OutputLine& line) { return line.text.find(part) != std::string::npos; }, timeout,
        from);
}

std::optional<size_t> Server::waitForLineMatching(const std::regex& pattern, milliseconds timeout,
                                                  size_t from) const
{
    return process->waitForLine(
        [&](const OutputLine& line) { return std::regex_search(line.text, pattern); }, timeout,
        from);
}

std::vector<OutputLine> Server::lines() const
{
    return process->lines();
}

std::vector<std::string> Server::texts() const
{
    std::vector<std::string> result;
    for (const OutputLine& line : process->lines())
        result.push_back(line.text);
    return result;
}

size_t Server::count(const std::string& text) const
{
    size_t n = 0;
    for (const OutputLine& line : process->lines())
        n += line.text == text;
    return n;
}

std::string Server::transcript() const
{
    std::string all = "KOMVAS.exe output:\n";
    for (const OutputLine& line : process->lines())
        all += (line.stream == Stream::Out ? "  | " : "  E ") + line.text + "\n";
    return all + describe(process->waitExit(milliseconds(0))) + "\n";
}

void Server::interrupt()
{
    process->signal(SIGINT);
}

std::optional<int> Server::waitExit(milliseconds timeout)
{
    const std::optional<ExitStatus> status = process->waitExit(timeout);
    if (!status)
        return std::nullopt;
    return status->exited() ? status->code : 128 + status->signal;
}

bool Server::running() const
{
    return process && process->running();
}

pid_t Server::pid() const
{
    return process->pid();
}

SilentPlc::SilentPlc()
{
    fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("cannot bind a UDP port on 127.0.0.1");
    port_ = ntohs(address.sin_port);
}

SilentPlc::~SilentPlc()
{
    if (fd >= 0)
        close(fd);
}

std::string iniSection(const std::string& name, unsigned port, const std::string& mode)
{
    return "[" + name + "]\r\nIP=127.0.0.1\r\nPORT=" + std::to_string(port) + "\r\nMODE=" + mode +
           "\r\n";
}

}  // namespace e2e
