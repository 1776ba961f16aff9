#pragma once
// The DDE client tool komvas-dde.exe under Wine: one-shot runs, and a long-lived script
// client that takes one command per line and answers each with one line.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/support/child_process.h"

namespace e2e {

constexpr milliseconds toolTimeout{20000};
constexpr milliseconds answerTimeout{15000};

struct ToolResult {
    std::optional<int> exitCode;  // nothing when it did not end in time (it is then killed)
    std::vector<std::string> out;
    std::vector<std::string> err;
};

// Starts komvas-dde.exe with the arguments and leaves it running.
std::unique_ptr<ChildProcess> startTool(const std::vector<std::string>& args);

// Runs komvas-dde.exe with the arguments and waits for it to end.
ToolResult runTool(const std::vector<std::string>& args, milliseconds timeout = toolTimeout);

// The first blank-separated word of a line ("refused" of "refused DMLERR_NOTPROCESSED").
std::string firstWord(const std::string& line);

class DdeClient {
public:
    // Starts `komvas-dde script`; when `topic` is given, connects to it on KOMVAS at once and
    // throws std::runtime_error if that is refused.
    explicit DdeClient(const std::string& topic = "");
    // Quits (end of input), waits a bounded time, and kills it if it has not ended.
    ~DdeClient();
    DdeClient(const DdeClient&) = delete;
    DdeClient& operator=(const DdeClient&) = delete;

    // Sends one script line and returns its answer line; "<no answer>" after the time-out.
    std::string command(const std::string& line, milliseconds timeout = answerTimeout);
    std::string connect(const std::string& topic, const std::string& service = "KOMVAS");
    // The value of a request ("data ITEM VALUE"), or nothing when it returned no data.
    std::optional<std::string> request(const std::string& item);

    // Lines that came by themselves: "update ITEM VALUE" and "disconnected".
    std::vector<std::string> events() const;
    // Waits until the event line has come `times` times in all.
    bool waitForEvent(const std::string& text, milliseconds timeout = answerTimeout,
                      size_t times = 1) const;

    // Ends the script with "quit" and returns the exit code.
    std::optional<int> quit(milliseconds timeout = toolTimeout);
    std::string transcript() const;

private:
    static bool isEvent(const std::string& text);
    std::unique_ptr<ChildProcess> process;
    size_t cursor = 0;  // lines before it have been answered or are events
};

}  // namespace e2e
