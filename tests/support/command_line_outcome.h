#pragma once
// What a tool makes of a command line, for the tests of both tools' command lines.
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

// The exit code of readCommandLine (command_line::Run: the program runs) and what it printed.
struct Outcome {
    int code;
    std::string out;
    std::string err;
};

// Reads `args` with the readCommandLine of the tool whose Options `o` are (found by the
// namespace of Options), as version 9.8.7.
template <class Options>
Outcome ReadCommandLine(const std::vector<std::string>& args, Options& o)
{
    std::ostringstream out, err;
    const int code = readCommandLine(args, "9.8.7", o, out, err);
    return {code, out.str(), err.str()};
}

} // namespace testing_support
