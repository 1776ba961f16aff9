#pragma once
// KOMVAS.exe under Wine, in a fresh temporary folder of its own (its current directory, where
// it finds KOMVAS.ini). Standard output and standard error are read through pipes; by default
// both go into one pipe so that the order of all lines is exact (the level prefix still tells
// the stream).
#include <chrono>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "tests/e2e/support/child_process.h"

namespace e2e {

// Generous bounds: the first wine start in a prefix without a running wineserver takes seconds.
constexpr milliseconds startTimeout{30000};
constexpr milliseconds exitTimeout{15000};
constexpr milliseconds lineTimeout{10000};

struct ServerOptions {
    bool separateStreams = false;  // standard error through a pipe of its own
    std::string locale = {};       // LC_ALL of Wine when not the Japanese one of the tests
    std::string program = {};      // another build's KOMVAS.exe; empty: this build's
};

class Server {
public:
    explicit Server(ServerOptions options = {});
    // Stops the server if it still runs (SIGINT, then SIGKILL) and removes the folder.
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    const std::string& folder() const { return dir; }
    // Writes KOMVAS.ini into the folder, byte for byte.
    void writeIni(const std::string& text);
    // Starts KOMVAS.exe in the folder.
    void start();
    void start(const std::string& iniText)
    {
        writeIni(iniText);
        start();
    }
    // Waits for the start-up to complete (message 208); false when it ends or times out first.
    bool waitReady(milliseconds timeout = startTimeout);

    // Index of the first line (from `from` on) whose text is exactly `text`.
    std::optional<size_t> waitForLine(const std::string& text, milliseconds timeout = lineTimeout,
                                      size_t from = 0) const;
    std::optional<size_t> waitForLineContaining(const std::string& part,
                                                milliseconds timeout = lineTimeout,
                                                size_t from = 0) const;
    std::optional<size_t> waitForLineMatching(const std::regex& pattern,
                                              milliseconds timeout = lineTimeout,
                                              size_t from = 0) const;

    std::vector<OutputLine> lines() const;
    std::vector<std::string> texts() const;
    size_t count(const std::string& text) const;
    std::string transcript() const;  // every line, for failure messages

    // CTRL+C: SIGINT to the wine process.
    void interrupt();
    // Exit code once it has ended (-1 arrives as 255), nothing after the time-out.
    std::optional<int> waitExit(milliseconds timeout = exitTimeout);
    bool running() const;
    pid_t pid() const;

private:
    ServerOptions options;
    std::string dir;
    std::unique_ptr<ChildProcess> process;
};

// A UDP port on 127.0.0.1 that is bound and never answers: the PLC of the servers under test,
// so that no other program on this machine answers their links.
class SilentPlc {
public:
    SilentPlc();
    ~SilentPlc();
    SilentPlc(const SilentPlc&) = delete;
    SilentPlc& operator=(const SilentPlc&) = delete;
    unsigned port() const { return port_; }

private:
    int fd = -1;
    unsigned port_ = 0;
};

// One INI section for a PLC at 127.0.0.1:port, CR LF line ends.
std::string iniSection(const std::string& name, unsigned port, const std::string& mode = "ASCII");

}  // namespace e2e
