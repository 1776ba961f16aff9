#pragma once
// A child process with its standard output and standard error read through pipes by a thread
// of its own, line by line. Lines are decoded from CP932 (the console code page of the Windows
// programs under a Japanese locale) to UTF-8. Every wait is bounded; end of file is never
// waited for, because Wine's services may inherit the pipes and keep them open.
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

using std::chrono::milliseconds;

enum class Stream { Out, Err };

struct OutputLine {
    Stream stream;
    std::string text;  // UTF-8, without the line end
    bool crlf;         // the line ended with CR LF (not LF alone)
};

struct SpawnOptions {
    std::vector<std::string> argv;                   // argv[0] is looked up in PATH
    std::string folder;                              // working directory; empty: the test's own
    std::map<std::string, std::string> environment;  // set on top of the test's environment
    bool mergeStderr = false;  // standard error into the standard output pipe (exact order)
    bool pipeStdin = false;    // otherwise standard input is /dev/null
};

struct ExitStatus {
    int code = -1;   // exit code 0 to 255 when exited
    int signal = 0;  // the signal that ended it, 0 when it exited
    bool exited() const { return signal == 0; }
};

class ChildProcess {
public:
    // Starts the process; throws std::runtime_error when it cannot be started.
    explicit ChildProcess(const SpawnOptions& options);
    // Ends the process if it still runs (SIGKILL) and waits a bounded time for it.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    // Writes to the child's standard input (when piped); false once it is closed or broken.
    bool write(const std::string& text);
    void closeStdin();
    // Sends a signal to the child (nothing once it has been reaped).
    void signal(int number);

    // The exit status once the process has ended, or nothing after the time-out.
    std::optional<ExitStatus> waitExit(milliseconds timeout);
    bool running() const;

    // Every complete line so far, in arrival order.
    std::vector<OutputLine> lines() const;
    // Waits for a line at index `from` or later that satisfies `match` (asked once per line, in
    // order, so it may count); its index, or nothing
    // after the time-out or once the process has ended without one.
    std::optional<size_t> waitForLine(const std::function<bool(const OutputLine&)>& match,
                                      milliseconds timeout, size_t from = 0) const;

private:
    void readLoop();
    void take(int fd, Stream stream, std::string& pending);
    void addLine(Stream stream, std::string raw);

    pid_t pid_ = -1;
    int stdinFd = -1;
    int outFd = -1;
    int errFd = -1;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<OutputLine> output;
    std::optional<ExitStatus> status;
    bool readerDone = false;
    std::thread reader;
};

// "running", "exit code N" or "killed by signal N", for failure messages.
std::string describe(const std::optional<ExitStatus>& status);

// Decodes CP932 bytes to UTF-8; bytes that are not CP932 come out as U+FFFD.
std::string fromCp932(const std::string& bytes);

}  // namespace e2e
