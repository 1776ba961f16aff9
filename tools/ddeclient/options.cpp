#include "tools/ddeclient/options.h"

#include "tools/command_line.h"

namespace ddeclient {

namespace {

// DDE string handles hold at most 255 characters.
constexpr std::size_t MaxNameLength = 255;

const char* const UsageLine = "usage: komvas-dde [OPTION]... COMMAND [ARGUMENT]...";

// The text of -h and --help.
const char* const HelpText =
    "usage: komvas-dde [--service NAME] --topic TOPIC [--timeout MS] COMMAND\n"
    "       komvas-dde [--service NAME] [--timeout MS] topics\n"
    "       komvas-dde [--service NAME] [--timeout MS] status [--seconds N]\n"
    "\n"
    "A DDE client for checking the KOMVAS server from a console.\n"
    "\n"
    "Commands:\n"
    "  request ITEM [--format F]   print the item's current value\n"
    "  advise ITEM... [--format F] [--seconds N]\n"
    "                              start an advise loop on every item, print the current\n"
    "                              values and then every update with a time stamp, until\n"
    "                              CTRL+C or N seconds; then stop the loops and disconnect\n"
    "  execute CMD                 send an execute command (--topic SYSTEM execute END)\n"
    "  topics                      list the service's topics (SYSTEM's Topics item)\n"
    "  status [--seconds N]        print the table of every PLC's link statistics\n"
    "                              (SYSTEM's Statistics item) with its columns aligned;\n"
    "                              with --seconds, again every N seconds until CTRL+C\n"
    "  script                      read commands from standard input, one per line\n"
    "\n"
    "Options (the value after a blank or after '=': --topic PLC1, --topic=PLC1):\n"
    "  --service NAME   DDE service (default KOMVAS)\n"
    "  --topic TOPIC    DDE topic: a PLC name, or SYSTEM\n"
    "  --format F       clipboard format: text (CF_TEXT, the default), unicode\n"
    "                   (CF_UNICODETEXT, 13) or a format number from 1 to 65535\n"
    "  --timeout MS     time-out of each transaction in milliseconds (default 5000)\n"
    "  --seconds N      advise: stop after N seconds; status: repeat every N seconds\n"
    "  -h, --help       print this text\n"
    "  --version        print the version\n"
    "\n"
    "Output: request prints the value as received; advise prints lines\n"
    "  YYYY-MM-DD HH:MM:SS.mmm ITEM VALUE\n"
    "  status prints the table, a header row and a row per PLC; with --seconds each table\n"
    "  comes after a line with its time stamp\n"
    "\n"
    "Script commands and their answer lines:\n"
    "  connect SERVICE TOPIC      ok | refused\n"
    "  disconnect                 ok\n"
    "  request ITEM [FORMAT]      data ITEM VALUE | nodata ITEM   (FORMAT as --format)\n"
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
    "  3 no connection (no server, or topic not served), 4 request, topics or status\n"
    "  without data, 5 advise refused, 6 execute refused.\n";

// Refuses an empty name and one longer than a string handle holds.
CLI::Validator nameCheck(const char* what)
{
    return CLI::Validator(
        [what](std::string& name) {
            if (name.empty())
                return std::string(what) + " is empty";
            if (name.size() > MaxNameLength)
                return std::string(what) + " is longer than 255 characters";
            return std::string();
        },
        "NAME");
}

// Reads a --format value into `format`.
CLI::Validator formatCheck(unsigned& format)
{
    return CLI::Validator(
        [&format](std::string& text) {
            if (parseFormat(text, format))
                return std::string();
            return "needs text, unicode or a clipboard format number from 1 to 65535, not '" +
                   text + "'";
        },
        "FORMAT");
}

// Which of the one-shot options the command line holds, for the checks of what each command
// takes.
struct Given {
    bool service, topic, format, seconds;
};

// Why the options do not fit the command, or "" when they do.
std::string mismatch(Command command, const Given& given, const Options& o)
{
    switch (command) {
    case Command::Script:
        // The time-out applies to the script's transactions; the rest comes from its input.
        if (given.seconds || given.format || given.service || given.topic)
            return "script takes its service, topic and formats from its input";
        return {};
    case Command::Topics:
        // The topics come from the service's SYSTEM topic, as text.
        if (given.seconds || given.format || given.topic)
            return "topics takes only --service and --timeout";
        return {};
    case Command::Status:
        if (given.format || given.topic)
            return "status takes only --service, --timeout and --seconds";
        if (given.seconds && o.seconds == 0)
            return "status --seconds needs 1 or more seconds";
        return {};
    case Command::Execute:
        if (given.format)
            return "--format does not apply to execute";
        break;
    default:
        break;
    }
    if (given.seconds && command != Command::Advise)
        return "--seconds applies to advise and status only";
    if (!given.topic)
        return "--topic is missing";
    return {};
}

}  // namespace

bool parseNumber(const std::string& text, unsigned minimum, unsigned maximum, unsigned& value)
{
    if (text.empty() || text.size() > 10)
        return false;
    unsigned long long number = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    if (number < minimum || number > maximum)
        return false;
    value = static_cast<unsigned>(number);
    return true;
}

bool parseFormat(const std::string& text, unsigned& format)
{
    if (text == "text")
        format = TextFormat;
    else if (text == "unicode")
        format = UnicodeFormat;
    // Clipboard formats are 16-bit; 0 is none.
    else
        return parseNumber(text, 1, 0xFFFF, format);
    return true;
}

int readCommandLine(const std::vector<std::string>& args, const std::string& version, Options& o,
                    std::ostream& out, std::ostream& err)
{
    CLI::App app("", "komvas-dde");
    command_line::Configure(app, HelpText, version);
    // Options may follow the command and its items: `advise D1,W --seconds 10`.
    app.fallthrough();
    app.require_subcommand(0, 1);
    // Words that fit nowhere are collected, to be named in command-line order below.
    app.allow_extras();

    const CLI::Option* service =
        app.add_option("--service", o.service)->check(nameCheck("the service name"));
    const CLI::Option* topic =
        app.add_option("--topic", o.topic)->check(nameCheck("the topic name"));
    const CLI::Option* format = app.add_option("--format")->check(formatCheck(o.format));
    app.add_option("--timeout", o.timeoutMs)->check(CLI::Range(1u, 3600000u));
    const CLI::Option* seconds =
        app.add_option("--seconds", o.seconds)->check(CLI::Range(0u, 31536000u));

    const struct {
        const char* name;
        Command command;
        const char* argument;  // what the command takes, if anything
        int count;             // how many of it: 1, or -1 for one or more
    } commands[] = {
        {"request", Command::Request, "ITEM", 1},    {"advise", Command::Advise, "ITEM", -1},
        {"execute", Command::Execute, "COMMAND", 1}, {"topics", Command::Topics, nullptr, 0},
        {"status", Command::Status, nullptr, 0},     {"script", Command::Script, nullptr, 0},
    };
    for (const auto& c : commands) {
        CLI::App* sub = app.add_subcommand(c.name);
        if (c.argument == nullptr)
            continue;
        CLI::Option* argument =
            sub->add_option(c.argument, o.arguments)
                ->required()
                ->expected(1, c.count < 0 ? CLI::detail::expected_max_vector_size : c.count);
        // An execute command is sent as it is; item names become string handles.
        if (c.command != Command::Execute)
            argument->check(nameCheck("an item name"));
    }

    const int parsed = command_line::Parse(app, args, UsageLine, out, err);
    if (parsed != command_line::Run)
        return parsed;
    const std::vector<CLI::App*> chosen = app.get_subcommands();
    const std::vector<std::string> extra = app.remaining(true);
    if (!extra.empty()) {
        const std::string& word = extra[0];
        const std::string reason =
            word.rfind('-', 0) == 0 ? "unknown option '" + word + "'"
            : chosen.empty()
                ? "unknown command '" + word + "'"
                : "'" + word + "' is one argument too many for " + chosen[0]->get_name();
        return command_line::Refuse(app, reason, UsageLine, err);
    }
    if (chosen.empty())
        return command_line::Refuse(
            app, "no command given (request, advise, execute, topics, status or script)", UsageLine,
            err);
    for (const auto& c : commands)
        if (chosen[0]->get_name() == c.name)
            o.command = c.command;
    o.secondsGiven = seconds->count() > 0;
    const std::string problem = mismatch(
        o.command, {service->count() > 0, topic->count() > 0, format->count() > 0, o.secondsGiven},
        o);
    if (!problem.empty())
        return command_line::Refuse(app, problem, UsageLine, err);
    return command_line::Run;
}

}  // namespace ddeclient
