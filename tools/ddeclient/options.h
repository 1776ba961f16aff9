#pragma once
// Command line of komvas-dde: options and the command with its arguments. No Windows API: it
// builds natively as well, for its tests.
#include <ostream>
#include <string>
#include <vector>

#include "shell/config_values.h"

namespace ddeclient {

// Exit codes of the program; each failure that a user or a script may want to tell apart has
// its own.
enum ExitCode {
    ExitOk = 0,
    ExitDdeFailure = 1,      // DDEML could not be initialised, or the conversation was lost
    ExitBadArguments = 2,    // the command line could not be understood
    ExitNoConnection = 3,    // no server answered for the service and topic
    ExitNoData = 4,          // a request returned no data
    ExitAdviseRefused = 5,   // an advise loop was refused
    ExitExecuteRefused = 6,  // an execute command was refused
};

enum class Command { Request, Advise, Execute, Topics, Status, Script };

// Clipboard formats by number, as DDE transactions carry them.
constexpr unsigned TextFormat = 1;      // CF_TEXT
constexpr unsigned UnicodeFormat = 13;  // CF_UNICODETEXT

struct Options {
    Command command = Command::Request;
    std::string service = config::ServiceName;
    std::string topic;
    std::vector<std::string> arguments;  // the item names, or the one execute command
    unsigned format = TextFormat;        // clipboard format of requests and advise loops
    unsigned timeoutMs = 5000;           // time-out of every synchronous transaction
    bool secondsGiven = false;
    unsigned seconds = 0;  // advise: stop after this many seconds; status: period
};

// Reads the arguments after the program name into `options`. Returns -1 when the program is to
// run; otherwise the exit code, after printing the help or the version (`version`, the
// project's) to `out`, or the reason and the usage line to `err`.
int readCommandLine(const std::vector<std::string>& args, const std::string& version,
                    Options& options, std::ostream& out, std::ostream& err);

// A clipboard format: "text", "unicode", or a whole decimal number from 1 to 65535. False for
// anything else.
bool parseFormat(const std::string& text, unsigned& format);

// Reads a whole decimal number in [minimum, maximum]; false for anything else (sign, blanks,
// other characters, overflow).
bool parseNumber(const std::string& text, unsigned minimum, unsigned maximum, unsigned& value);

}  // namespace ddeclient
