// The command lines that komvas-dde runs and the ones it refuses.
#include <gtest/gtest.h>


#include "tests/support/command_line_outcome.h"
#include "tools/command_line.h"
#include "tools/ddeclient/options.h"

namespace ddeclient {
namespace {

using testing_support::Outcome;

Outcome run(const std::vector<std::string>& args, Options& o)
{
    return testing_support::ReadCommandLine(args, o);
}

std::string shown(const std::vector<std::string>& args)
{
    std::string text;
    for (const std::string& arg : args)
        text += " '" + arg.substr(0, 20) + "'";
    return text;
}

TEST(CommandLine, RunsTheCommandWithItsOptionsBeforeOrAfterIt)
{
    const struct {
        std::vector<std::string> args;
        Command command;
        std::string topic;
        std::vector<std::string> arguments;
        unsigned format;
        unsigned seconds;  // 0: not given
    } cases[] = {
        {{"--topic", "PLC1", "request", "D1,W"}, Command::Request, "PLC1", {"D1,W"}, 1, 0},
        {{"--topic=PLC1", "request", "D1,W", "--format=unicode"},
         Command::Request,
         "PLC1",
         {"D1,W"},
         13,
         0},
        {{"--topic", "L", "advise", "D1,W", "d2,w", "--seconds", "10", "--format", "text"},
         Command::Advise,
         "L",
         {"D1,W", "d2,w"},
         1,
         10},
        {{"--format", "65535", "--topic", "L", "advise", "D1,W"},
         Command::Advise,
         "L",
         {"D1,W"},
         65535,
         0},
        {{"--topic", "SYSTEM", "execute", "END"}, Command::Execute, "SYSTEM", {"END"}, 1, 0},
        {{"--service", "OTHER", "--timeout=100", "topics"}, Command::Topics, "", {}, 1, 0},
        {{"status", "--seconds", "5"}, Command::Status, "", {}, 1, 5},
        {{"--timeout", "100", "script"}, Command::Script, "", {}, 1, 0},
    };
    for (const auto& c : cases) {
        Options o;
        const Outcome outcome = run(c.args, o);
        ASSERT_EQ(outcome.code, command_line::Run) << shown(c.args) << ": " << outcome.err;
        EXPECT_EQ(o.command, c.command) << shown(c.args);
        EXPECT_EQ(o.topic, c.topic) << shown(c.args);
        EXPECT_EQ(o.arguments, c.arguments) << shown(c.args);
        EXPECT_EQ(o.format, c.format) << shown(c.args);
        EXPECT_EQ(o.secondsGiven, c.seconds != 0) << shown(c.args);
        EXPECT_EQ(o.seconds, c.seconds) << shown(c.args);
    }
}

TEST(CommandLine, RefusesWithTheReasonAndTheUsageLine)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--topic", "PLC1"},
        {"--topic", "PLC1", "poke", "D1,W"},
        {"request", "D1,W"},  // no topic
        {"--topic"},          // option without its value
        {"--topic", "PLC1", "request"},
        {"--topic", "PLC1", "request", "D1,W", "D2,W"},
        {"--topic", "PLC1", "request", ""},
        {"--topic", "PLC1", "advise"},
        {"--topic", "PLC1", "advise", "D1,W", "--seconds", "x"},
        {"--topic", "PLC1", "advise", "D1,W", "--seconds=-1"},
        {"--topic", "PLC1", "advise", "D1,W", "--format", "0"},
        {"--topic", "PLC1", "advise", "D1,W", "--format", "65536"},
        {"--topic", "PLC1", "advise", "D1,W", "--format", "Unicode"},
        {"--topic", "PLC1", "request", "D1,W", "--seconds", "1"},
        {"--topic", "PLC1", "request", "D1,W", "--timeout", "0"},
        {"--topic", "PLC1", "request", "D1,W", "--verbose"},
        {"--topic", "SYSTEM", "execute"},
        {"--topic", "SYSTEM", "execute", "END", "END"},
        {"--topic", "SYSTEM", "execute", "END", "--format", "1"},
        {"--topic", "PLC1", "script"},
        {"script", "extra"},
        {"topics", "PLC1"},
        {"--topic", "SYSTEM", "topics"},
        {"status", "--topic", "SYSTEM"},
        {"status", "--format", "text"},
        {"status", "--seconds", "0"},
        {"--topic", std::string(256, 'T'), "request", "D1,W"},
        {"--service", "", "topics"},
    };
    for (const std::vector<std::string>& args : cases) {
        Options o;
        const Outcome outcome = run(args, o);
        EXPECT_EQ(outcome.code, ExitBadArguments) << shown(args);
        EXPECT_TRUE(outcome.out.empty()) << shown(args);
        const size_t end = outcome.err.find('\n');
        EXPECT_EQ(outcome.err.rfind("komvas-dde: ", 0), 0u) << shown(args) << ": " << outcome.err;
        EXPECT_EQ(outcome.err.substr(end + 1),
                  "usage: komvas-dde [OPTION]... COMMAND [ARGUMENT]... "
                  "(komvas-dde --help shows more)\n")
            << shown(args);
    }
}

TEST(CommandLine, HelpAndVersionArePrintedAndSucceed)
{
    Options o;
    for (const char* flag : {"-h", "--help"}) {
        const Outcome help = run({"--topic", "PLC1", flag}, o);
        EXPECT_EQ(help.code, ExitOk);
        EXPECT_EQ(help.out.rfind("usage: komvas-dde", 0), 0u) << help.out;
        for (const char* word : {"--format F", "unicode", "status [--seconds N]", "script"})
            EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }
    EXPECT_EQ(run({"--version"}, o).out, "komvas-dde 9.8.7\n");
}

TEST(ScriptFormat, IsTextUnicodeOrAClipboardFormatNumber)
{
    unsigned format = 0;
    EXPECT_TRUE(parseFormat("text", format) && format == 1u);
    EXPECT_TRUE(parseFormat("unicode", format) && format == 13u);
    EXPECT_TRUE(parseFormat("49350", format) && format == 49350u);
    for (const char* bad : {"", "0", "65536", "TEXT", "+1", " 1", "99999999999"})
        EXPECT_FALSE(parseFormat(bad, format)) << bad;
}

}  // namespace
}  // namespace ddeclient
