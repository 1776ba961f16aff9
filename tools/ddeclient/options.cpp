#include "tools/ddeclient/options.h"

namespace ddeclient {

namespace {

// DDE string handles hold at most 255 characters.
constexpr size_t maxNameLength = 255;

bool commandFromWord(const std::string& word, Command& command)
{
    if (word == "request") command = Command::Request;
    else if (word == "advise") command = Command::Advise;
    else if (word == "execute") command = Command::Execute;
    else if (word == "topics") command = Command::Topics;
    else if (word == "script") command = Command::Script;
    else return false;
    return true;
}

std::string checkName(const char* what, const std::string& name)
{
    if (name.empty()) return std::string(what) + " is empty";
    if (name.size() > maxNameLength)
        return std::string(what) + " is longer than 255 characters";
    return {};
}

}  // namespace

bool parseNumber(const std::string& text, unsigned minimum, unsigned maximum, unsigned& value)
{
    if (text.empty() || text.size() > 10) return false;
    unsigned long long number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    if (number < minimum || number > maximum) return false;
    value = static_cast<unsigned>(number);
    return true;
}

std::string parseOptions(const std::vector<std::string>& args, Options& options)
{
    std::vector<std::string> positional;
    bool optionsEnded = false;
    bool formatGiven = false;
    bool serviceGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help") {
            options.command = Command::Help;
            return {};
        }
        if (arg == "--version") {
            options.command = Command::Version;
            return {};
        }
        if (arg != "--service" && arg != "--topic" && arg != "--format" && arg != "--timeout" &&
            arg != "--seconds")
            return "unknown option " + arg;
        if (i + 1 >= args.size()) return "option " + arg + " needs a value";
        const std::string& value = args[++i];
        if (arg == "--service") {
            options.service = value;
            serviceGiven = true;
        } else if (arg == "--topic") {
            options.topic = value;
        } else if (arg == "--format") {
            // Clipboard formats are 16-bit; 0 is none.
            if (!parseNumber(value, 1, 0xFFFF, options.format))
                return "--format needs a clipboard format number from 1 to 65535, not '" + value +
                       "'";
            formatGiven = true;
        } else if (arg == "--timeout") {
            if (!parseNumber(value, 1, 3600000, options.timeoutMs))
                return "--timeout needs milliseconds from 1 to 3600000, not '" + value + "'";
        } else {
            if (!parseNumber(value, 0, 31536000, options.seconds))
                return "--seconds needs a whole number of seconds from 0 to 31536000, not '" +
                       value + "'";
            options.secondsGiven = true;
        }
    }

    if (positional.empty())
        return "no command given (request, advise, execute, topics or script)";
    if (!commandFromWord(positional[0], options.command))
        return "unknown command '" + positional[0] + "'";
    options.arguments.assign(positional.begin() + 1, positional.end());

    std::string problem = checkName("the service name", options.service);
    if (!problem.empty()) return problem;

    switch (options.command) {
    case Command::Script:
        if (!options.arguments.empty()) return "script takes no arguments";
        // The time-out applies to the script's transactions; the rest comes from its input.
        if (options.secondsGiven || formatGiven || serviceGiven || !options.topic.empty())
            return "script takes its service, topic and formats from its input";
        return {};
    case Command::Topics:
        if (!options.arguments.empty()) return "topics takes no arguments";
        // The topics come from the service's SYSTEM topic, as text.
        if (options.secondsGiven || formatGiven || !options.topic.empty())
            return "topics takes only --service and --timeout";
        return {};
    case Command::Request:
        if (options.arguments.size() != 1) return "request needs exactly one item name";
        break;
    case Command::Advise:
        if (options.arguments.empty()) return "advise needs at least one item name";
        break;
    case Command::Execute:
        if (options.arguments.size() != 1)
            return "execute needs exactly one command (quote it if it has blanks)";
        if (formatGiven) return "--format does not apply to execute";
        break;
    default:
        return "no command given";
    }
    if (options.secondsGiven && options.command != Command::Advise)
        return "--seconds applies to advise only";
    if (options.topic.empty()) return "--topic is missing";
    problem = checkName("the topic name", options.topic);
    if (!problem.empty()) return problem;
    if (options.command != Command::Execute) {
        for (const std::string& item : options.arguments) {
            problem = checkName("an item name", item);
            if (!problem.empty()) return problem;
        }
    }
    return {};
}

const char* usageText()
{
    return "usage: komvas-dde [--service NAME] --topic TOPIC [--timeout MS] COMMAND\n"
           "       komvas-dde [--service NAME] [--timeout MS] topics\n"
           "\n"
           "A DDE client for checking the KOMVAS server from a console.\n"
           "\n"
           "Commands:\n"
           "  request ITEM [--format N]   print the item's current value\n"
           "  advise ITEM... [--format N] [--seconds N]\n"
           "                              start an advise loop on every item, print the current\n"
           "                              values and then every update with a time stamp, until\n"
           "                              CTRL+C or N seconds; then stop the loops and disconnect\n"
           "  execute CMD                 send an execute command (--topic SYSTEM execute END)\n"
           "  topics                      list the service's topics (SYSTEM's Topics item)\n"
           "  script                      read commands from standard input, one per line\n"
           "\n"
           "Options:\n"
           "  --service NAME   DDE service (default KOMVAS)\n"
           "  --topic TOPIC    DDE topic: a PLC name, or SYSTEM\n"
           "  --format N       clipboard format number (default 1, CF_TEXT)\n"
           "  --timeout MS     time-out of each transaction in milliseconds (default 5000)\n"
           "  --seconds N      advise: stop after N seconds\n"
           "  --help           print this text\n"
           "  --version        print the version\n"
           "\n"
           "Output: request prints the value as received; advise prints lines\n"
           "  YYYY-MM-DD HH:MM:SS.mmm ITEM VALUE\n"
           "\n"
           "Script commands and their answer lines:\n"
           "  connect SERVICE TOPIC      ok | refused\n"
           "  disconnect                 ok\n"
           "  request ITEM [FORMAT]      data ITEM VALUE | nodata ITEM\n"
           "  advise ITEM [FORMAT]       ok | refused\n"
           "  unadvise ITEM [FORMAT]     ok | refused\n"
           "  execute COMMAND            ok | refused   (COMMAND: the rest of the line)\n"
           "  wait MS                    ok             (serves DDE messages meanwhile)\n"
           "  echo TEXT                  echo TEXT\n"
           "  quit                       bye            (end of input quits too)\n"
           "  anything else              error REASON\n"
           "  lines arriving by themselves: update ITEM VALUE | disconnected\n"
           "\n"
           "Exit codes: 0 ok, 1 DDE failure or conversation lost, 2 bad arguments,\n"
           "  3 no connection (no server, or topic not served), 4 request or topics without\n"
           "  data, 5 advise refused, 6 execute refused.\n";
}

}  // namespace ddeclient
