#include "tools/mqttbridge/options.h"

#include "tools/command_line.h"

namespace mqttbridge {

namespace {

const char* const UsageLine = "usage: komvas-mqtt [--config FILE]";

// The text of -h and --help.
const char* const HelpText =
    "usage: komvas-mqtt [--config FILE]\n"
    "\n"
    "Publishes the values of KOMVAS's items to an MQTT broker: it advises the items that the\n"
    "configuration file lists, on KOMVAS running on this PC, and publishes every change,\n"
    "retained, as PREFIX/PLC/ITEM with a JSON payload "
    "{\"value\":...,\"quality\":...,\"time\":...}.\n"
    "It keeps going while the broker or KOMVAS is away and catches up when they are back.\n"
    "CTRL+C stops it.\n"
    "\n"
    "Options (the value after a blank or after '='):\n"
    "  --config FILE   the configuration file (default: komvas-mqtt.ini in the current folder)\n"
    "  -h, --help      print this text\n"
    "  --version       print the version\n"
    "\n"
    "The file (every key of [MQTT] may be left out):\n"
    "  [MQTT]\n"
    "  HOST=127.0.0.1     the broker\n"
    "  PORT=1883          8883 by default when CAFILE is set\n"
    "  CLIENTID=          default: komvas- and the computer name\n"
    "  USER=              user name and password at the broker\n"
    "  PASSWORD=\n"
    "  PREFIX=komvas      the first level of every topic\n"
    "  QOS=1              0 or 1\n"
    "  KEEPALIVE=30       seconds\n"
    "  CAFILE=            set: TLS, the broker's certificate verified against this CA\n"
    "  CERTFILE=          a client certificate and its key (optional, with CAFILE)\n"
    "  KEYFILE=\n"
    "  [ITEMS]\n"
    "  PLC1!D100,W              published as PREFIX/PLC1/D100,W\n"
    "  PLC1!D200,C6=line1/label published as PREFIX/line1/label\n"
    "\n"
    "Topics: PREFIX/PLC/ITEM (or PREFIX/NAME), PREFIX/PLC/$state (the PLC's link state) and\n"
    "  PREFIX/$bridge (online, or offline when the bridge is gone), all retained.\n"
    "Qualities: good, empty, timeout, error (with \"error\": the code), nan, inf, -inf, and\n"
    "  stale while KOMVAS cannot be reached (with the last value received).\n"
    "\n"
    "Exit codes: 0 stopped by CTRL+C, 1 the bridge could not start, 2 bad command line or\n"
    "  configuration file.\n";

}  // namespace

int readCommandLine(const std::vector<std::string>& args, const std::string& version,
                    Options& options, std::ostream& out, std::ostream& err)
{
    CLI::App app("", "komvas-mqtt");
    command_line::Configure(app, HelpText, version);
    app.add_option("--config", options.config)
        ->check(CLI::Validator(
            [](std::string& file) { return file.empty() ? "the file name is empty" : ""; },
            "FILE"));
    return command_line::Parse(app, args, UsageLine, out, err);
}

}  // namespace mqttbridge
