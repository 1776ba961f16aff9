#include "tests/e2e/support/dde_client.h"

#include <stdexcept>

#include "tests/e2e/support/wine.h"

namespace e2e {

namespace {

SpawnOptions toolSpawn(const std::vector<std::string>& args, bool pipeStdin)
{
    SpawnOptions spawn;
    spawn.argv = wineCommand(ddeClientExe());
    spawn.argv.insert(spawn.argv.end(), args.begin(), args.end());
    spawn.environment = wineEnvironment();
    spawn.pipeStdin = pipeStdin;
    return spawn;
}

}  // namespace

std::unique_ptr<ChildProcess> startTool(const std::vector<std::string>& args)
{
    return std::make_unique<ChildProcess>(toolSpawn(args, false));
}

ToolResult runTool(const std::vector<std::string>& args, milliseconds timeout)
{
    ChildProcess process(toolSpawn(args, false));
    ToolResult result;
    if (const std::optional<ExitStatus> status = process.waitExit(timeout))
        result.exitCode = status->exited() ? status->code : 128 + status->signal;
    for (const OutputLine& line : process.lines())
        (line.stream == Stream::Out ? result.out : result.err).push_back(line.text);
    return result;
}

std::string firstWord(const std::string& line)
{
    return line.substr(0, line.find(' '));
}

DdeClient::DdeClient(const std::string& topic)
    : process(std::make_unique<ChildProcess>(toolSpawn({"script"}, true)))
{
    if (!topic.empty()) {
        const std::string answer = connect(topic);
        if (answer != "ok")
            throw std::runtime_error("connect to KOMVAS|" + topic + " answered: " + answer + "\n" +
                                     transcript());
    }
}

DdeClient::~DdeClient()
{
    process->closeStdin();
    process->waitExit(std::chrono::seconds(10));
}

bool DdeClient::isEvent(const std::string& text)
{
    return text.rfind("update ", 0) == 0 || text == "disconnected";
}

std::string DdeClient::command(const std::string& line, milliseconds timeout)
{
    if (!process->write(line + "\n"))
        return "<no answer>";
    const std::optional<size_t> at =
        process->waitForLine([](const OutputLine& l) { return !isEvent(l.text); }, timeout, cursor);
    if (!at)
        return "<no answer>";
    cursor = *at + 1;
    return process->lines()[*at].text;
}

std::string DdeClient::connect(const std::string& topic, const std::string& service)
{
    return command("connect " + service + " " + topic);
}

std::optional<std::string> DdeClient::request(const std::string& item)
{
    const std::string answer = command("request " + item);
    const std::string prefix = "data " + item + " ";
    if (answer.rfind(prefix, 0) != 0)
        return std::nullopt;
    return answer.substr(prefix.size());
}

std::vector<std::string> DdeClient::events() const
{
    std::vector<std::string> result;
    for (const OutputLine& line : process->lines())
        if (isEvent(line.text))
            result.push_back(line.text);
    return result;
}

bool DdeClient::waitForEvent(const std::string& text, milliseconds timeout, size_t times) const
{
    size_t seen = 0;
    return process
        ->waitForLine([&](const OutputLine& line) { return line.text == text && ++seen == times; },
                      timeout)
        .has_value();
}

std::optional<int> DdeClient::quit(milliseconds timeout)
{
    process->write("quit\n");
    process->closeStdin();
    const std::optional<ExitStatus> status = process->waitExit(timeout);
    if (!status)
        return std::nullopt;
    return status->exited() ? status->code : 128 + status->signal;
}

std::string DdeClient::transcript() const
{
    std::string all = "komvas-dde script output:\n";
    for (const OutputLine& line : process->lines())
        all += (line.stream == Stream::Out ? "  | " : "  E ") + line.text + "\n";
    return all + describe(process->waitExit(milliseconds(0))) + "\n";
}

}  // namespace e2e
