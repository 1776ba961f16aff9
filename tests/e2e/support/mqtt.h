#pragma once
// The MQTT side of the bridge's tests: Debian's mosquitto broker on a free loopback port with a
// configuration file of its own, ended by process id; mosquitto_sub as the subscriber nobody
// here wrote; and komvas-mqtt.exe under Wine in a folder of its own.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/support/child_process.h"

namespace e2e {

constexpr milliseconds mqttTimeout{30000};

class Broker {
public:
    // A broker on a free port of 127.0.0.1; `conf` is added to its configuration file, whose
    // folder (folder()) holds whatever files it names.
    explicit Broker(const std::string& conf = "allow_anonymous true\n");
    ~Broker();
    unsigned port() const { return port_; }
    const std::string& folder() const { return dir; }
    // Starts it (again, on the same port); false when it does not listen in time.
    bool start();
    void stop();  // ends it by its process id

private:
    std::string dir;
    std::string conf;
    unsigned port_ = 0;
    std::unique_ptr<ChildProcess> process;
};

// Writes a CA, a server certificate for 127.0.0.1 signed by it, another CA (other-ca.crt), and a
// password file with user "plant" and password "secret" into `folder`.
bool makeTlsFiles(const std::string& folder);

// mosquitto_sub on `topic`, printing retained flag, topic and payload, tab-separated (or what
// `format` asks for).
class Subscriber {
public:
    Subscriber(const Broker& broker, const std::string& topic,
               const std::vector<std::string>& options = {},
               const std::string& format = "%r\t%t\t%p");
    // Waits for a message "RETAINED\tTOPIC\tPAYLOAD" whose text contains `part`, from message
    // `from` on; its index, or nothing after the time-out.
    std::optional<size_t> waitFor(const std::string& part, size_t from = 0,
                                  milliseconds timeout = mqttTimeout) const;
    std::vector<OutputLine> lines() const { return process->lines(); }
    std::string transcript() const;

private:
    std::unique_ptr<ChildProcess> process;
};

// komvas-mqtt.exe with `args` in a fresh folder with `ini` as its komvas-mqtt.ini (and `files`
// copied from the folders they are named in).
class Bridge {
public:
    explicit Bridge(const std::string& ini, const std::vector<std::string>& files = {},
                    const std::vector<std::string>& args = {});
    ~Bridge();
    std::optional<size_t> waitForLine(const std::string& part, milliseconds timeout = mqttTimeout,
                                      size_t from = 0) const;
    ChildProcess* operator->() const { return process.get(); }
    std::string transcript() const;

private:
    std::string dir;
    std::unique_ptr<ChildProcess> process;
};

std::string mqttBridgeExe();
// What keeps the bridge's tests from running (komvas-mqtt.exe not built, no mosquitto), empty
// when nothing.
std::string mqttSetupProblem();

}  // namespace e2e
