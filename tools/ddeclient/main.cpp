// komvas-dde: a console DDE client for checking the KOMVAS server without a spreadsheet.
// One-shot commands (request, advise, execute) and a script mode that reads commands from
// standard input and answers each with one line; --help describes both.
#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <deque>
#include <iostream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "shell/config_values.h"
#include "tools/command_line.h"
#include "tools/ddeclient/options.h"
#include "tools/ddeclient/statistics_table.h"
#include "tools/ddesession/session.h"

using namespace ddeclient;
using ddesession::Session;

namespace {

// Set by CTRL+C, or by the server ending the conversation; wakes the waiting main thread.
HANDLE stopEvent = nullptr;
std::atomic<bool> interrupted{false};

void onInterrupt(int)
{
    interrupted = true;
    if (stopEvent)
        SetEvent(stopEvent);
}

// One line on standard output, flushed at once so that a program reading the pipe sees it.
// Values go out as the bytes received (ANSI text of the server's code page), except that a
// value's own line breaks (CR LF, as between the rows of a table) go out as "\n", to which the
// text-mode output adds the CR.
void printLine(const std::string& line)
{
    for (std::size_t at = 0; at < line.size(); ++at) {
        if (!(line[at] == '\r' && at + 1 < line.size() && line[at + 1] == '\n'))
            std::fputc(line[at], stdout);
    }
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void printError(const std::string& text)
{
    std::fprintf(stderr, "komvas-dde: %s\n", text.c_str());
    std::fflush(stderr);
}

std::string timeStamp()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth,
                  t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

std::string conversationName(const Options& options)
{
    return options.service + "|" + options.topic;
}

bool connectOrReport(Session& session, const Options& options)
{
    if (session.connect(options.service, options.topic))
        return true;
    printError("no connection to " + conversationName(options) + " (" + session.lastError() +
               "): no server, or the topic is not served");
    return false;
}

int runRequest(Session& session, const Options& options)
{
    if (!connectOrReport(session, options))
        return ExitNoConnection;
    const std::string& item = options.arguments[0];
    std::string value;
    if (!session.request(item, options.format, value)) {
        printError("request of " + item + " on " + conversationName(options) +
                   " returned no data (" + session.lastError() + ")");
        return ExitNoData;
    }
    printLine(value);
    return ExitOk;
}

// The SYSTEM topic's item, as text; false, after saying why, when the server does not answer it
// (no data, or a marker such as "#NOTHING" in place of the item's text).
bool requestSystemItem(Session& session, const Options& options, const char* item,
                       std::string& text, const char* purpose)
{
    const bool answered = session.request(item, TextFormat, text);
    if (answered && !text.empty() && text[0] != '#')
        return true;
    printError("the server of " + options.service + " does not answer the " + item +
               " item of its SYSTEM topic (" + (answered ? "'" + text + "'" : session.lastError()) +
               "), so " + purpose);
    return false;
}

// The topics of the service, one per line, from the Topics item of its System topic.
int runTopics(Session& session, Options options)
{
    options.topic = config::SystemTopicName;
    if (!connectOrReport(session, options))
        return ExitNoConnection;
    std::string topics;
    if (!requestSystemItem(session, options, "Topics", topics, "its topics cannot be listed"))
        return ExitNoData;
    std::size_t start = 0;
    for (std::size_t tab; (tab = topics.find('\t', start)) != std::string::npos; start = tab + 1)
        printLine(topics.substr(start, tab - start));
    printLine(topics.substr(start));
    return ExitOk;
}

// The statistics of every PLC's link as an aligned table, once or every --seconds until CTRL+C
// (each table then after a line with its time stamp).
int runStatus(Session& session, Options options)
{
    options.topic = config::SystemTopicName;
    bool lost = false;
    session.onDisconnect([&lost] {
        lost = true;
        SetEvent(stopEvent);
    });
    if (!connectOrReport(session, options))
        return ExitNoConnection;
    for (bool first = true;; first = false) {
        std::string table;
        if (!requestSystemItem(session, options, "Statistics", table,
                               "the statistics cannot be shown")) {
            if (!lost)
                return ExitNoData;
            printError("the server ended the conversation " + conversationName(options));
            return ExitDdeFailure;
        }
        if (options.secondsGiven)
            printLine((first ? "" : "\n") + timeStamp());
        const std::string text = alignedTable(table);
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
        if (!options.secondsGiven || interrupted)
            break;
        ddesession::pump(options.seconds * 1000u, {stopEvent});
        if (interrupted)
            break;
        if (lost) {
            printError("the server ended the conversation " + conversationName(options));
            return ExitDdeFailure;
        }
    }
    session.disconnect();
    return ExitOk;
}

int runExecute(Session& session, const Options& options)
{
    if (!connectOrReport(session, options))
        return ExitNoConnection;
    if (!session.execute(options.arguments[0])) {
        printError("execute of '" + options.arguments[0] + "' on " + conversationName(options) +
                   " refused (" + session.lastError() + ")");
        return ExitExecuteRefused;
    }
    return ExitOk;
}

int runAdvise(Session& session, const Options& options)
{
    bool lost = false;
    std::set<std::string> updated;
    session.onUpdate([&updated](const std::string& item, const std::string& value) {
        updated.insert(item);
        printLine(timeStamp() + " " + item + " " + value);
    });
    session.onDisconnect([&lost] {
        lost = true;
        SetEvent(stopEvent);
    });
    if (!connectOrReport(session, options))
        return ExitNoConnection;

    for (const std::string& item : options.arguments) {
        if (!session.advise(item, options.format)) {
            printError("advise of " + item + " on " + conversationName(options) + " refused (" +
                       session.lastError() + ")");
            session.unadviseAll();
            session.disconnect();
            return ExitAdviseRefused;
        }
    }
    // A hot loop sends data only when the value changes: show where each item stands now,
    // unless an update has already shown a value (the update may even overtake the answer
    // to the request, which then is the older value).
    for (const std::string& item : options.arguments) {
        std::string value;
        if (session.connected() && session.request(item, options.format, value) &&
            updated.count(item) == 0)
            printLine(timeStamp() + " " + item + " " + value);
    }

    const DWORD limit = options.secondsGiven ? options.seconds * 1000u : INFINITE;
    if (!interrupted && !lost)
        ddesession::pump(limit, {stopEvent});
    if (lost) {
        printError("the server ended the conversation " + conversationName(options));
        return ExitDdeFailure;
    }
    session.unadviseAll();
    session.disconnect();
    return ExitOk;
}

// Lines of standard input, read on a thread of their own so that the main thread keeps
// serving DDE messages while no input arrives. The event is set while lines are waiting or
// the input has ended.
class InputQueue {
public:
    InputQueue() : ready(CreateEventA(nullptr, TRUE, FALSE, nullptr)) { }

    void start()
    {
        std::thread([this] { readAll(); }).detach();
    }

    HANDLE event() const { return ready; }

    // Takes the next line; false when there is none yet (`ended` tells whether more may come).
    bool take(std::string& line, bool& ended)
    {
        std::lock_guard<std::mutex> lock(mutex);
        ended = atEnd && lines.empty();
        if (lines.empty()) {
            if (!atEnd)
                ResetEvent(ready);
            return false;
        }
        line = std::move(lines.front());
        lines.pop_front();
        return true;
    }

private:
    void readAll()
    {
        std::string line;
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, stdin)) {
            line += buffer;
            if (line.empty() || line.back() != '\n')
                continue;
            line.pop_back();
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            push(std::move(line), false);
            line.clear();
        }
        if (!line.empty())
            push(std::move(line), false);
        push({}, true);
    }

    void push(std::string line, bool end)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (end)
            atEnd = true;
        else
            lines.push_back(std::move(line));
        SetEvent(ready);
    }

    HANDLE ready;
    std::mutex mutex;
    std::deque<std::string> lines;
    bool atEnd = false;
};

std::vector<std::string> words(const std::string& line)
{
    std::vector<std::string> result;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        std::size_t end = i;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t')
            ++end;
        if (end > i)
            result.push_back(line.substr(i, end - i));
        i = end;
    }
    return result;
}

// Runs one script line and prints its one answer line. False when the script ends.
bool runScriptLine(Session& session, const std::string& line)
{
    const std::vector<std::string> w = words(line);
    if (w.empty() || w[0][0] == '#')
        return true;  // blank lines and comments get no answer
    const std::string& command = w[0];
    const std::size_t count = w.size() - 1;

    auto refused = [&session] { printLine("refused " + session.lastError()); };
    auto formatOf = [&w](std::size_t index, UINT& format) {
        unsigned value = TextFormat;
        if (w.size() > index && !parseFormat(w[index], value))
            return false;
        format = value;
        return true;
    };

    if (command == "quit") {
        printLine("bye");
        return false;
    }
    if (command == "echo") {
        const std::size_t at = line.find("echo") + 4;
        printLine("echo" + (at < line.size() ? line.substr(at) : std::string()));
        return true;
    }
    if (command == "wait") {
        unsigned ms = 0;
        if (count != 1 || !parseNumber(w[1], 0, 600000, ms)) {
            printLine("error wait needs milliseconds from 0 to 600000");
            return true;
        }
        ddesession::pump(ms, {stopEvent});
        printLine("ok");
        return true;
    }
    if (command == "connect") {
        if (count != 2)
            printLine("error connect needs SERVICE TOPIC");
        else if (session.connected())
            printLine("error already connected");
        else if (session.connect(w[1], w[2]))
            printLine("ok");
        else
            refused();
        return true;
    }
    if (command != "disconnect" && command != "request" && command != "advise" &&
        command != "unadvise" && command != "execute") {
        printLine("error unknown command " + command);
        return true;
    }
    if (!session.connected()) {
        printLine("error not connected");
        return true;
    }
    if (command == "disconnect") {
        if (count != 0) {
            printLine("error disconnect takes no arguments");
            return true;
        }
        session.disconnect();
        printLine("ok");
        return true;
    }
    if (command == "execute") {
        // The command is the rest of the line after one blank, blanks and all.
        const std::size_t at = line.find("execute") + 7;
        const std::string text = at < line.size() ? line.substr(at + 1) : std::string();
        if (session.execute(text))
            printLine("ok");
        else
            refused();
        return true;
    }
    UINT format = TextFormat;
    if (count < 1 || count > 2 || !formatOf(2, format)) {
        printLine("error " + command +
                  " needs ITEM and an optional format (text, unicode or 1 to 65535)");
        return true;
    }
    const std::string& item = w[1];
    if (command == "request") {
        std::string value;
        if (session.request(item, format, value))
            printLine("data " + item + " " + value);
        else
            printLine("nodata " + item + " " + session.lastError());
    } else if (command == "advise") {
        if (session.advise(item, format))
            printLine("ok");
        else
            refused();
    } else {
        if (session.unadvise(item, format))
            printLine("ok");
        else
            refused();
    }
    return true;
}

int runScript(Session& session)
{
    session.onUpdate([](const std::string& item, const std::string& value) {
        printLine("update " + item + " " + value);
    });
    session.onDisconnect([] { printLine("disconnected"); });

    InputQueue input;
    input.start();
    for (;;) {
        std::string line;
        bool ended = false;
        if (input.take(line, ended)) {
            session.checkConversation();
            if (!runScriptLine(session, line))
                break;
            continue;
        }
        if (ended || interrupted)
            break;
        ddesession::pump(INFINITE, {input.event(), stopEvent});
        if (interrupted)
            break;
    }
    session.unadviseAll();
    session.disconnect();
    return ExitOk;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    const int exitCode = readCommandLine(command_line::Arguments(argc, argv), KOMVAS_VERSION,
                                         options, std::cout, std::cerr);
    if (exitCode != command_line::Run)
        return exitCode;

    stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::signal(SIGINT, onInterrupt);

    // Make this thread's message queue before DDEML and the input thread need it.
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);

    Session session(options.timeoutMs);
    if (!session.initialize()) {
        printError("DDEML initialize failed (" + session.lastError() + ")");
        return ExitDdeFailure;
    }
    switch (options.command) {
    case Command::Request:
        return runRequest(session, options);
    case Command::Advise:
        return runAdvise(session, options);
    case Command::Execute:
        return runExecute(session, options);
    case Command::Topics:
        return runTopics(session, options);
    case Command::Status:
        return runStatus(session, options);
    case Command::Script:
        return runScript(session);
    default:
        return ExitBadArguments;
    }
}
