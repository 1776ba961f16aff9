#include "tools/plcsim/cli.h"

namespace plcsim {
namespace {

bool isNumber(const std::string& s)
{
    return !s.empty() && s.size() <= 9 && s.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::string helpText()
{
    return R"(Usage: komvas-sim [OPTION]...
Simulates the Ethernet interface module of an FA-M3 PLC on one UDP port: it answers bit reads
(BRD, 0x01) and word reads (WRD, 0x11) of every device on CPUs 1 to 4 in ASCII or binary form,
so that KOMVAS can be tried without a PLC. CTRL+C stops it.

Network:
  --address IP          IPv4 address to serve on (default 127.0.0.1; 0.0.0.0 for all)
  --port N              UDP port (default 12289; 0 picks a free port, which is printed)
  --form ascii|binary   frame form (default ascii)

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
}

Options parseArguments(const std::vector<std::string>& args)
{
    Options o;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (name.rfind("--", 0) == 0) {
            const size_t equals = name.find('=');
            if (equals != std::string::npos) {
                inlineValue = name.substr(equals + 1);
                name = name.substr(0, equals);
            }
        }
        auto value = [&]() -> std::string {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= args.size())
                throw ParseError(name + " needs a value (see --help)");
            return args[++i];
        };
        auto flag = [&] {
            if (inlineValue)
                throw ParseError(name + " takes no value");
        };
        try {
            if (name == "-h" || name == "--help") {
                flag();
                o.help = true;
            } else if (name == "--version") {
                flag();
                o.version = true;
            } else if (name == "--address") {
                o.address = value();
                uint32_t ip = 0;
                if (!parseIpv4(o.address, ip))
                    throw ParseError("not an IPv4 address: '" + o.address + "'");
            } else if (name == "--port") {
                const std::string v = value();
                if (!isNumber(v) || std::stoul(v) > 65535)
                    throw ParseError("port must be 0 to 65535, not '" + v + "'");
                o.port = static_cast<uint16_t>(std::stoul(v));
            } else if (name == "--form") {
                const std::string v = value();
                if (v == "ascii")
                    o.form = Form::Ascii;
                else if (v == "binary")
                    o.form = Form::Binary;
                else
                    throw ParseError("form must be ascii or binary, not '" + v + "'");
            } else if (name == "--set") {
                o.assignments.push_back(parseAssignment(value()));
            } else if (name == "--values") {
                ValuesFile f = loadValuesFile(value());
                o.assignments.insert(o.assignments.end(), f.assignments.begin(),
                                     f.assignments.end());
                o.demos.insert(o.demos.end(), f.demos.begin(), f.demos.end());
            } else if (name == "--counter") {
                o.demos.push_back(parseDemo(DemoKind::Counter, value()));
            } else if (name == "--toggle") {
                o.demos.push_back(parseDemo(DemoKind::Toggle, value()));
            } else if (name == "--ramp") {
                o.demos.push_back(parseDemo(DemoKind::Ramp, value()));
            } else if (name == "--silent") {
                flag();
                o.faults.push_back(Fault::silent());
            } else if (name == "--garbage") {
                flag();
                o.faults.push_back(Fault::garbage());
            } else if (name == "--error") {
                o.faults.push_back(parseFault("error=" + value()));
            } else if (name == "--delay") {
                o.faults.push_back(parseFault("delay=" + value()));
            } else if (name == "--wrong-length") {
                o.faults.push_back(parseFault("wrong-length=" + value()));
            } else if (name == "--fault") {
                o.faults.push_back(parseFault(value()));
            } else if (name == "--seed") {
                const std::string v = value();
                if (!isNumber(v))
                    throw ParseError("seed must be a whole number, not '" + v + "'");
                o.seed = static_cast<uint32_t>(std::stoul(v));
            } else if (name == "--trace") {
                flag();
                o.trace = true;
            } else {
                throw ParseError("unknown option '" + args[i] + "' (see --help)");
            }
        } catch (const ParseError& e) {
            const std::string message = e.what();
            if (message.rfind(name, 0) == 0 || message.rfind("unknown option", 0) == 0)
                throw;
            throw ParseError(name + ": " + message);
        }
    }
    return o;
}

}  // namespace plcsim
