#pragma once
// Command line of komvas-mqtt. No Windows API: it builds natively as well, for its tests.
#include <ostream>
#include <string>
#include <vector>

namespace mqttbridge {

// Exit codes of the program.
enum ExitCode {
    ExitOk = 0,            // stopped by CTRL+C
    ExitFailure = 1,       // the bridge could not start (DDEML, Windows Sockets, MQTT library)
    ExitBadArguments = 2,  // the command line or the configuration file cannot be used
};

struct Options {
    std::string config;  // the configuration file; empty: komvas-mqtt.ini in the current folder
};

// Reads the arguments after the program name into `options`. Returns command_line::Run when
// the program is to run; otherwise the exit code, after printing the help or the version
// (`version`, the project's) to `out`, or the reason and the usage line to `err`.
int readCommandLine(const std::vector<std::string>& args, const std::string& version,
                    Options& options, std::ostream& out, std::ostream& err);

}  // namespace mqttbridge
