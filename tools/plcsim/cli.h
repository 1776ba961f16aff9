// Command line of komvas-sim.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/plcsim/plcsim.h"

namespace plcsim {

struct Options {
    bool help = false;
    bool version = false;
    std::string address = "127.0.0.1";
    uint16_t port = kDefaultPort;
    Form form = Form::Ascii;
    std::vector<Assignment> assignments;  // --set and --values, in command-line order
    std::vector<Demo> demos;
    std::vector<Fault> faults;
    bool trace = false;
    std::optional<uint32_t> seed;
};

// Arguments without the program name. Reads --values files. Throws ParseError with a message
// that names the offending argument.
Options parseArguments(const std::vector<std::string>& args);

std::string helpText();

}  // namespace plcsim
