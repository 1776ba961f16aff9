#include "tests/e2e/support/child_process.h"

#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <stdexcept>

extern char** environ;

namespace e2e {

namespace {

// How long one poll of the pipes lasts; also how soon a finished process is noticed.
constexpr int pollMs = 20;

std::string findInPath(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return name;
    const char* path = std::getenv("PATH");
    std::string rest = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find(':', start);
        if (end == std::string::npos)
            end = rest.size();
        const std::string folder = rest.substr(start, end - start);
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    throw std::runtime_error("program not found in PATH: " + name);
}

void setNonBlocking(int fd)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

void closeFd(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

// A pipe written by a child after fork would kill this process with SIGPIPE once the child
// is gone; the write then fails with EPIPE instead.
void ignoreSigpipe()
{
    static const bool done = [] {
        ::signal(SIGPIPE, SIG_IGN);
        return true;
    }();
    (void)done;
}

}  // namespace

std::string describe(const std::optional<ExitStatus>& status)
{
    if (!status)
        return "running";
    if (status->exited())
        return "exit code " + std::to_string(status->code);
    return "killed by signal " + std::to_string(status->signal);
}

std::string fromCp932(const std::string& bytes)
{
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("iconv has no CP932");
    std::string out;
    char buffer[1024];
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // A byte that is no CP932 (or a sequence cut short): mark it and go on.
            out += "\xEF\xBF\xBD";
            ++in;
            --inLeft;
        }
    }
    iconv_close(cd);
    return out;
}

ChildProcess::ChildProcess(const SpawnOptions& options)
{
    ignoreSigpipe();
    if (options.argv.empty())
        throw std::runtime_error("no program to start");
    const std::string program = findInPath(options.argv[0]);

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string key = entry.substr(0, entry.find('='));
        if (options.environment.count(key) == 0)
            env.push_back(entry);
    }
    for (const auto& [key, value] : options.environment)
        env.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = options.argv;
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int inPipe[2] = {-1, -1}, outPipe[2], errPipe[2] = {-1, -1}, failPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(failPipe, O_CLOEXEC) != 0 ||
        (!options.mergeStderr && pipe2(errPipe, O_CLOEXEC) != 0) ||
        (options.pipeStdin && pipe2(inPipe, O_CLOEXEC) != 0))
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    const int nullFd = open("/dev/null", O_RDONLY | O_CLOEXEC);

    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid_ == 0) {
        // Only async-signal-safe calls from here to exec.
        dup2(options.pipeStdin ? inPipe[0] : nullFd, 0);
        dup2(outPipe[1], 1);
        dup2(options.mergeStderr ? outPipe[1] : errPipe[1], 2);
        int error = 0;
        if (!options.folder.empty() && chdir(options.folder.c_str()) != 0)
            error = errno;
        if (error == 0) {
            execve(program.c_str(), argv.data(), envp.data());
            error = errno;
        }
        (void)!::write(failPipe[1], &error, sizeof error);
        _exit(127);
    }
    close(nullFd);
    close(outPipe[1]);
    if (errPipe[1] >= 0)
        close(errPipe[1]);
    if (inPipe[0] >= 0)
        close(inPipe[0]);
    close(failPipe[1]);
    int error = 0;
    const ssize_t got = read(failPipe[0], &error, sizeof error);  // EOF once exec succeeded
    close(failPipe[0]);
    outFd = outPipe[0];
    errFd = errPipe[0];
    stdinFd = inPipe[1];
    if (got == static_cast<ssize_t>(sizeof error)) {
        waitpid(pid_, nullptr, 0);
        closeFd(outFd);
        closeFd(errFd);
        closeFd(stdinFd);
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(error));
    }
    setNonBlocking(outFd);
    if (errFd >= 0)
        setNonBlocking(errFd);
    reader = std::thread([this] { readLoop(); });
}

ChildProcess::~ChildProcess()
{
    closeStdin();
    if (running())
        ::kill(pid_, SIGKILL);
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (!changed.wait_for(lock, std::chrono::seconds(10), [this] { return readerDone; }))
            std::cerr << "e2e: process " << pid_ << " did not end 10 s after SIGKILL\n";
    }
    reader.join();
    closeFd(outFd);
    closeFd(errFd);
}

bool ChildProcess::write(const std::string& text)
{
    size_t done = 0;
    while (stdinFd >= 0 && done < text.size()) {
        const ssize_t n = ::write(stdinFd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return stdinFd >= 0;
}

void ChildProcess::closeStdin()
{
    closeFd(stdinFd);
}

void ChildProcess::signal(int number)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!status)
        ::kill(pid_, number);
}

bool ChildProcess::running() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return !status;
}

std::optional<ExitStatus> ChildProcess::waitExit(milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, timeout, [this] { return readerDone; });
    if (!readerDone)
        return std::nullopt;
    return status;
}

std::vector<OutputLine> ChildProcess::lines() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return output;
}

std::optional<size_t> ChildProcess::waitForLine(const std::function<bool(const OutputLine&)>& match,
                                                milliseconds timeout, size_t from) const
{
    std::unique_lock<std::mutex> lock(mutex);
    std::optional<size_t> found;
    auto look = [&] {
        for (; from < output.size(); ++from) {
            if (match(output[from])) {
                found = from;
                return true;
            }
        }
        return readerDone;
    };
    changed.wait_for(lock, timeout, look);
    return found;
}

void ChildProcess::addLine(Stream stream, std::string raw)
{
    bool crlf = false;
    if (!raw.empty() && raw.back() == '\r') {
        raw.pop_back();
        crlf = true;
    }
    OutputLine line{stream, fromCp932(raw), crlf};
    std::lock_guard<std::mutex> lock(mutex);
    output.push_back(std::move(line));
    changed.notify_all();
}

void ChildProcess::take(int fd, Stream stream, std::string& pending)
{
    int& owned = stream == Stream::Out ? outFd : errFd;
    if (fd < 0)
        return;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return;  // EAGAIN: nothing more for now
        if (n == 0) {
            closeFd(owned);
            return;
        }
        pending.append(buffer, static_cast<size_t>(n));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            addLine(stream, pending.substr(0, end));
            pending.erase(0, end + 1);
        }
    }
}

void ChildProcess::readLoop()
{
    std::string outPending, errPending;
    for (;;) {
        pollfd fds[2];
        nfds_t count = 0;
        if (outFd >= 0)
            fds[count++] = {outFd, POLLIN, 0};
        if (errFd >= 0)
            fds[count++] = {errFd, POLLIN, 0};
        if (count > 0)
            poll(fds, count, pollMs);
        else
            usleep(pollMs * 1000);
        take(outFd, Stream::Out, outPending);
        take(errFd, Stream::Err, errPending);

        int raw = 0;
        if (waitpid(pid_, &raw, WNOHANG) == pid_) {
            // Whatever the process wrote before it ended is in the pipes now.
            take(outFd, Stream::Out, outPending);
            take(errFd, Stream::Err, errPending);
            if (!outPending.empty())
                addLine(Stream::Out, outPending);
            if (!errPending.empty())
                addLine(Stream::Err, errPending);
            ExitStatus exit;
            if (WIFEXITED(raw))
                exit.code = WEXITSTATUS(raw);
            else if (WIFSIGNALED(raw))
                exit.signal = WTERMSIG(raw);
            std::lock_guard<std::mutex> lock(mutex);
            status = exit;
            readerDone = true;
            changed.notify_all();
            return;
        }
    }
}

}  // namespace e2e
