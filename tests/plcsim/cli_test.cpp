// The command line of komvas-sim and the text form of faults.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "tests/support/command_line_outcome.h"
#include "tools/command_line.h"
#include "tools/plcsim/cli.h"

namespace plcsim {
namespace {

using testing_support::Outcome;

Outcome run(const std::vector<std::string>& args, Options& o)
{
    return testing_support::ReadCommandLine(args, o);
}

Options parse(const std::vector<std::string>& args)
{
    Options o;
    const Outcome outcome = run(args, o);
    EXPECT_EQ(outcome.code, command_line::Run) << outcome.err;
    return o;
}

std::string errorOf(const std::vector<std::string>& args)
{
    Options o;
    const Outcome outcome = run(args, o);
    EXPECT_EQ(outcome.code, command_line::BadArguments);
    EXPECT_TRUE(outcome.out.empty()) << outcome.out;
    // The reason, then the usage line.
    const size_t end = outcome.err.find('\n');
    EXPECT_EQ(outcome.err.substr(end + 1),
              "usage: komvas-sim [OPTION]... (komvas-sim --help shows more)\n");
    return outcome.err.substr(0, end);
}

TEST(CommandLine, DefaultsServeAsciiOnTheLoopbackAtTheServersDefaultPort)
{
    const Options o = parse({});
    EXPECT_EQ(o.address, "127.0.0.1");
    EXPECT_EQ(o.port, 12289);
    EXPECT_EQ(o.form, Form::Ascii);
    EXPECT_TRUE(o.faults.empty());
}

TEST(CommandLine, TakesValuesAfterTheOptionOrAfterAnEqualsSign)
{
    const Options o = parse({"--port", "0", "--form=binary", "--address", "0.0.0.0", "--set",
                             "D100=1234", "--set=2M5=1", "--counter", "D1", "--ramp=D2:float,saw",
                             "--toggle", "M1", "--trace", "--seed", "42"});
    EXPECT_EQ(o.port, 0);
    EXPECT_EQ(o.form, Form::Binary);
    EXPECT_EQ(o.address, "0.0.0.0");
    ASSERT_EQ(o.assignments.size(), 2u);
    EXPECT_EQ(o.assignments[1].at.cpu, 2);
    EXPECT_EQ(o.demos.size(), 3u);
    EXPECT_TRUE(o.trace);
    EXPECT_EQ(o.seed, 42u);
}

TEST(CommandLine, HelpAndVersionArePrintedAndSucceed)
{
    for (const char* flag : {"-h", "--help"}) {
        Options o;
        const Outcome help = run({"--port", "1", flag}, o);
        EXPECT_EQ(help.code, 0) << flag;
        EXPECT_EQ(help.out.rfind("usage: komvas-sim [OPTION]...\n", 0), 0u) << help.out;
    }
    Options o;
    const Outcome version = run({"--version"}, o);
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, "komvas-sim 9.8.7\n");
}

TEST(CommandLine, FaultOptionsApplyToEveryAnswerInTheirOrder)
{
    const Options o =
        parse({"--silent", "--error", "5", "--garbage", "--wrong-length", "long", "--delay=250"});
    ASSERT_EQ(o.faults.size(), 5u);
    EXPECT_EQ(o.faults[0].kind, FaultKind::Silent);
    EXPECT_EQ(o.faults[1].kind, FaultKind::Error);
    EXPECT_EQ(o.faults[1].value, 5);
    EXPECT_EQ(o.faults[2].kind, FaultKind::Garbage);
    EXPECT_EQ(o.faults[3].value, 1);
    EXPECT_EQ(o.faults[4].value, 250);
    for (const Fault& f : o.faults) {
        EXPECT_EQ(f.count, -1);
        EXPECT_FALSE(f.scoped);
    }
}

TEST(CommandLine, BadArgumentsAreRefusedWithTheirName)
{
    const struct {
        std::vector<std::string> args;
        std::string reason;  // the start of the first line, after "komvas-sim: "
    } cases[] = {
        {{"--port", "70000"}, "--port: "},
        {{"--port=-1"}, "--port: "},
        {{"--port", "99999999999999"}, "--port: "},
        {{"--port"}, "--port: "},
        {{"--form", "ASCII"}, "--form: form must be ascii or binary, not 'ASCII'"},
        {{"--address", "localhost"}, "--address: not an IPv4 address: 'localhost'"},
        {{"--address=1.2.3"}, "--address: not an IPv4 address: '1.2.3'"},
        {{"--bogus"}, "The following argument was not expected: --bogus"},
        {{"D100=1"}, "The following argument was not expected: D100=1"},
        {{"--silent=yes"}, "silent was given a disallowed flag override"},
        {{"--set", "D1=zz"}, "--set: not an integer: 'zz' in 'D1=zz'"},
        {{"--set", "D1"}, "--set: missing '=' in 'D1' (expected LOCATION[:TYPE]=VALUE)"},
        {{"--set", "5D1=1"}, "--set: CPU number in '5D1' is outside 1 to 4"},
        {{"--error", "256"}, "--error: value must be 0 to 255 in fault 'error=256'"},
        {{"--delay", "soon"}, "--delay: expected a number after '=' in fault 'delay=soon'"},
        {{"--delay", "3600001"}, "--delay: "},
        {{"--wrong-length", "sideways"},
         "--wrong-length: wrong-length takes short or long in fault 'wrong-length=sideways'"},
        {{"--ramp", "M1:b"}, "--ramp: a ramp needs a type wider than one bit"},
        {{"--seed", "x"}, "Could not convert: --seed = x"},
    };
    for (const auto& c : cases) {
        const std::string error = errorOf(c.args);
        EXPECT_EQ(error.rfind("komvas-sim: " + c.reason, 0), 0u)
            << "expected 'komvas-sim: " << c.reason << "...', got '" << error << "'";
    }
}

class ValuesFileOption : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device r;
        path = (std::filesystem::temp_directory_path() /
                ("plcsim-values-" + std::to_string(r()) + ".txt"))
                   .string();
    }
    void TearDown() override { std::remove(path.c_str()); }
    void write(const std::string& content) { std::ofstream(path, std::ios::binary) << content; }
    std::string path;
};

TEST_F(ValuesFileOption, AddsItsAssignmentsAndDemosInCommandLineOrder)
{
    write("D1=2\ncounter D5\n");
    const Options o = parse({"--set", "D1=1", "--values", path, "--set", "D1=3"});
    ASSERT_EQ(o.assignments.size(), 3u);
    EXPECT_EQ(o.assignments[0].cells[0], 1);
    EXPECT_EQ(o.assignments[1].cells[0], 2);
    EXPECT_EQ(o.assignments[2].cells[0], 3);
    ASSERT_EQ(o.demos.size(), 1u);
    EXPECT_EQ(o.demos[0].at.number, 5u);
}

TEST_F(ValuesFileOption, ErrorsNameTheFileAndLine)
{
    write("D1=1\nD2:float=abc\n");
    EXPECT_EQ(errorOf({"--values", path}),
              "komvas-sim: --values: " + path + ":2: not a number: 'abc' in 'D2:float=abc'");
    EXPECT_EQ(errorOf({"--values", path + ".missing"}),
              "komvas-sim: --values: cannot read values file '" + path + ".missing'");
}

TEST(FaultText, CarriesKindValueScopeAndCount)
{
    const Fault f = parseFault("error=5@D100*3");
    EXPECT_EQ(f.kind, FaultKind::Error);
    EXPECT_EQ(f.value, 5);
    EXPECT_EQ(f.count, 3);
    EXPECT_TRUE(f.scoped);
    EXPECT_EQ(f.first.point, 99u);
    EXPECT_EQ(f.last.point, 99u);

    const Fault stretch = parseFault("silent@2D100-120");
    EXPECT_EQ(stretch.first.cpu, 2);
    EXPECT_EQ(stretch.first.point, 99u);
    EXPECT_EQ(stretch.last.point, 119u);
    EXPECT_EQ(stretch.count, -1);

    const Fault reversed = parseFault("garbage@M30-M20");
    EXPECT_EQ(reversed.first.point, 19u);
    EXPECT_EQ(reversed.last.point, 29u);

    EXPECT_EQ(parseFault("delay=1500").value, 1500);
    EXPECT_EQ(parseFault("wrong-length=short*1").value, -1);
    EXPECT_EQ(parseFault("wrong-length=long@X201").first.point, 64u);
}

TEST(FaultText, RefusesWhatItCannotRead)
{
    auto errorOfFault = [](const char* text) {
        try {
            parseFault(text);
        } catch (const ParseError& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_NE(errorOfFault("loud").find("unknown fault 'loud'"), std::string::npos);
    EXPECT_NE(errorOfFault("error").find("expected a number"), std::string::npos);
    EXPECT_NE(errorOfFault("error=").find("expected a number"), std::string::npos);
    EXPECT_NE(errorOfFault("silent=1").find("takes no value"), std::string::npos);
    EXPECT_NE(errorOfFault("silent@").find("missing location"), std::string::npos);
    EXPECT_NE(errorOfFault("silent*0").find("count must be"), std::string::npos);
    EXPECT_NE(errorOfFault("silent*").find("count must be"), std::string::npos);
    EXPECT_NE(errorOfFault("silent*9999999999").find("count must be"), std::string::npos);
    EXPECT_NE(errorOfFault("silent@D1-M5").find("one device of one CPU"), std::string::npos);
    EXPECT_NE(errorOfFault("silent@D1-2D5").find("one device of one CPU"), std::string::npos);
    EXPECT_NE(errorOfFault("silent@Q1").find("unknown device"), std::string::npos);
    EXPECT_NE(errorOfFault("delay=3600001").find("0 to 3600000"), std::string::npos);
}

TEST(CommandLine, HelpDocumentsEveryErrorCodeAndOption)
{
    Options o;
    const std::string help = run({"--help"}, o).out;
    for (const char* code : {"01", "02", "03", "04", "05", "06", "07"})
        EXPECT_NE(help.find(std::string("  ") + code + "  "), std::string::npos) << code;
    for (const char* option :
         {"--address", "--port", "--form", "--set", "--values", "--counter", "--ramp", "--toggle",
          "--silent", "--error", "--garbage", "--wrong-length", "--delay", "--fault", "--seed",
          "--trace", "--help", "--version"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
        // Every option documented is one that the command line takes.
        EXPECT_EQ(run({option}, o).err.find("was not expected"), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace plcsim
