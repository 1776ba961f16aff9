#pragma once
// Command line of komvas-dde: options and the command with its arguments.
#include <string>
#include <vector>

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

enum class Command { None, Help, Version, Request, Advise, Execute, Topics, Script };

struct Options {
    Command command = Command::None;
    std::string service = "KOMVAS";
    std::string topic;
    std::vector<std::string> arguments;  // the item names, or the one execute command
    unsigned format = 1;                 // clipboard format of requests and advise loops (CF_TEXT)
    unsigned timeoutMs = 5000;           // time-out of every synchronous transaction
    bool secondsGiven = false;
    unsigned seconds = 0;                // advise: stop after this many seconds
};

// Reads the arguments after the program name. Returns an empty text on success, otherwise
// the reason the command line is wrong (one line, no trailing newline).
std::string parseOptions(const std::vector<std::string>& args, Options& options);

// The text printed by --help.
const char* usageText();

// Reads a whole decimal number in [minimum, maximum]; false for anything else (sign, blanks,
// other characters, overflow).
bool parseNumber(const std::string& text, unsigned minimum, unsigned maximum, unsigned& value);

}  // namespace ddeclient
