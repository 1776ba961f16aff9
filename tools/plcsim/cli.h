#pragma once
// Command line of komvas-sim.
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "shell/config_values.h"
#include "tools/plcsim/plcsim.h"

namespace plcsim {

struct Options {
    std::string address = "127.0.0.1";
    std::uint16_t port = config::DefaultPort;  // the port a PLC section gets by default
    Form form = Form::Ascii;
    std::vector<Assignment> assignments;  // --set and --values, in command-line order
    std::vector<Demo> demos;              // --counter, --toggle, --ramp and --values, in order
    std::vector<Fault> faults;            // in command-line order, each value checked
    bool trace = false;
    std::optional<std::uint32_t> seed;
};

// Reads the arguments after the program name into `options`, reading --values files on the
// way. Returns command_line::Run when the simulator is to run; otherwise the exit code, after
// printing the help or the version (`version`, the project's) to `out`, or the refusal, which
// names the offending option, to `err`.
int readCommandLine(const std::vector<std::string>& args, const std::string& version,
                    Options& options, std::ostream& out, std::ostream& err);

}  // namespace plcsim
