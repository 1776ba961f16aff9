#include "tools/plcsim/cli.h"

#include "tools/command_line.h"

namespace plcsim {
namespace {

// The text of -h and --help.
const char* const HelpText = R"(usage: komvas-sim [OPTION]...
Simulates the Ethernet interface module of an FA-M3 PLC on one UDP port: it answers bit reads
(BRD, 0x01) and word reads (WRD, 0x11) of every device on CPUs 1 to 4 in ASCII or binary form,
so that KOMVAS can be tried without a PLC. CTRL+C stops it.

Network:
  --address IP          IPv4 address to serve on (default 127.0.0.1; 0.0.0.0 for all)
  --port N              UDP port (default 12289; 0 picks a free port, which is printed)
  --form ascii|binary   frame form (default ascii)

Options take their value after a blank or after '=': --port 0, --port=0.

Values (all devices start at 0):
  --set LOCATION[:TYPE]=VALUE
                        LOCATION is [CPU]DEVICE ADDRESS as in item names: D100, 2M5 (CPU 2),
                        X201 (unit 0, slot 2, terminal 1), L10001 (unit 1, point 1).
                        TYPE (default B on bit devices, W on word devices):
                          B       one bit, 0 or 1 (bit devices only)
                          W, INT  one word: -32768 to 65535, or 0x0000 to 0xFFFF
                          L       two words, first word low:  -2147483648 to 4294967295
                          LONG    two words, first word high: same range
                          F       single float, first word low; FLOAT: first word high
                          DOUBLE  double float, first word most significant
                          TEXT    characters, two to a word (first one in the high byte;
                                  eight to 16 points, first in the lowest bit, on bit devices)
                        On bit devices words take 16 points each, the first point in bit 0.
                        Examples: --set D100=1234 --set D101=0xFFFF --set 2M5=1
                          --set D200:float=3.14 --set D300:double=2.5e-3 --set D400:long=-7
                          --set D500:text=HELLO --set "D600:text=TWO WORDS"
  --values FILE         assignments from a file, one per line as for --set; lines
                        "counter ...", "ramp ..." and "toggle ..." start demonstrations
                        (the rest of the line as for --counter, --ramp, --toggle);
                        '#' starts a comment (quote text holding '#': D1:text="A#B")

Demonstrations:
  --counter LOCATION[:TYPE][,STEP][,per-read]
                        adds STEP (default 1) every second (default type W, wraps
                        around); per-read: after every answered read instead
  --toggle LOCATION[:TYPE][,per-read]
                        switches between 0 and 1 every second (or every read)
  --ramp LOCATION[:TYPE][,sine|saw][,PERIOD[,LOW,HIGH]]
                        follows a sine (default) or sawtooth wave from LOW to HIGH
                        (default 0 to 100) with PERIOD seconds (default 10), updated every
                        100 ms; example: --ramp D2:float,saw,30,-1,1

Faults (for every answer unless scoped):
  --silent              never answer
  --error CODE          answer every command with error CODE (0 to 255)
  --garbage             answer random bytes of the right length
  --wrong-length short|long   answer one byte short or long
  --delay MS            answer MS milliseconds late
  --fault KIND[=ARG][@LOCATION[-LOCATION]][*COUNT]
                        KIND: silent, error=CODE, garbage, wrong-length=short|long,
                        delay=MS; @ limits it to reads covering those points, *COUNT to the
                        next COUNT answers it applies to. Example: --fault error=5@D100-120*3
  --seed N              seed of the random bytes of --garbage

Other:
  --trace               print every datagram and answer
  -h, --help            print this help
  --version             print the version

Error codes of the simulated module (ASCII: "1<cpu>ER" code, command, position, CR LF, 15
bytes; binary: answer code, code, 00 01, position):
  01  CPU number not 1 to 4
  02  unknown command (the probe of AUTO mode gets this one)
  03  malformed frame: syntax, length field, missing CR LF
  04  unknown device
  05  address number invalid for the device, or the read runs past the device's end
  06  count 0, above 256 bits or above 64 words
  07  bit read of a word device
The position is the byte index of the offending field in the command.

Exit status: 0 after CTRL+C, 1 when the port cannot be opened, 2 for a bad command line.
)";

const char* const UsageLine = "usage: komvas-sim [OPTION]...";

// Runs `read` on an option's value as soon as CLI11 meets the option, so that repeated and
// mixed options (--set, --values, --counter, faults) keep their command-line order; a value
// that `read` refuses becomes CLI11's refusal, naming the option.
template <typename Read>
void inOrder(CLI::Option* option, Read read)
{
    option->trigger_on_parse()->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    option->each([read](const std::string& value) {
        try {
            read(value);
        } catch (const ParseError& e) {
            throw CLI::ValidationError(e.what());
        }
    });
}

}  // namespace

int readCommandLine(const std::vector<std::string>& args, const std::string& version, Options& o,
                    std::ostream& out, std::ostream& err)
{
    CLI::App app("", "komvas-sim");
    command_line::Configure(app, HelpText, version);

    app.add_option("--address", o.address)
        ->check(CLI::Validator(
            [](std::string& text) {
                std::uint32_t ip = 0;
                return parseIpv4(text, ip) ? std::string() : "not an IPv4 address: '" + text + "'";
            },
            "IP"));
    app.add_option("--port", o.port)->check(CLI::Range(0, 65535));
    app.add_option("--form", o.form)
        ->transform(CLI::Validator(
            [](std::string& text) {
                if (text == "ascii" || text == "binary") {
                    text = text == "ascii" ? "0" : "1";
                    return std::string();
                }
                return "form must be ascii or binary, not '" + text + "'";
            },
            "ascii|binary"));
    inOrder(app.add_option("--set"),
            [&o](const std::string& v) { o.assignments.push_back(parseAssignment(v)); });
    inOrder(app.add_option("--values"), [&o](const std::string& path) {
        const ValuesFile f = loadValuesFile(path);
        o.assignments.insert(o.assignments.end(), f.assignments.begin(), f.assignments.end());
        o.demos.insert(o.demos.end(), f.demos.begin(), f.demos.end());
    });
    inOrder(app.add_option("--counter"),
            [&o](const std::string& v) { o.demos.push_back(parseDemo(DemoKind::Counter, v)); });
    inOrder(app.add_option("--toggle"),
            [&o](const std::string& v) { o.demos.push_back(parseDemo(DemoKind::Toggle, v)); });
    inOrder(app.add_option("--ramp"),
            [&o](const std::string& v) { o.demos.push_back(parseDemo(DemoKind::Ramp, v)); });
    // Every fault option is the text form of a fault with its kind put in front.
    const auto fault = [&o](const std::string& prefix) {
        return [&o, prefix](const std::string& v) {
            const Fault f = parseFault(prefix + v);
            checkFault(f);
            o.faults.push_back(f);
        };
    };
    inOrder(app.add_option("--error"), fault("error="));
    inOrder(app.add_option("--delay"), fault("delay="));
    inOrder(app.add_option("--wrong-length"), fault("wrong-length="));
    inOrder(app.add_option("--fault"), fault(""));
    app.add_flag_callback("--silent", [&o] { o.faults.push_back(Fault::silent()); })
        ->trigger_on_parse()
        ->disable_flag_override();
    app.add_flag_callback("--garbage", [&o] { o.faults.push_back(Fault::garbage()); })
        ->trigger_on_parse()
        ->disable_flag_override();
    app.add_option_function<std::uint32_t>("--seed", [&o](const std::uint32_t& seed) { o.seed = seed; });
    app.add_flag("--trace", o.trace)->disable_flag_override();

    return command_line::Parse(app, args, UsageLine, out, err);
}

}  // namespace plcsim
