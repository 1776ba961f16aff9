// komvas-sim: a simulated FA-M3 Ethernet interface module on one UDP port, for trying
// spreadsheets without a PLC and for driving the server in end-to-end tests.
//
// In-process use:
//   plcsim::Simulator sim(plcsim::Form::Binary);
//   const std::uint16_t port = sim.start();                 // 127.0.0.1, a free port
//   sim.setWord(1, "D", 100, 1234);
//   sim.addFault(plcsim::Fault::error(5, 1).at("D100"));
//   sim.waitForDatagrams(3, std::chrono::seconds(5));
//   for (const auto& d : sim.datagrams()) ...          // every command, byte for byte
//   sim.stop();
// Every member function may be called from any thread while the simulator serves.
#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tools/plcsim/devices.h"
#include "tools/plcsim/protocol.h"
#include "tools/plcsim/udp_socket.h"
#include "tools/plcsim/values.h"

namespace plcsim {

enum class FaultKind {
    Silent,       // no answer
    Error,        // an error answer with the fault's code instead of the real answer
    Garbage,      // random bytes of the answer's length, never starting like the real answer
    WrongLength,  // the answer one byte short (value -1) or long (value +1)
    Delay,        // the answer sent value milliseconds late
};

// A misbehaviour of the module. Every fault that matches a datagram applies to its answer and
// counts it; a fault whose count runs out is dropped.
struct Fault {
    FaultKind kind = FaultKind::Silent;
    int value = 0;   // Error: code 0 to 255; WrongLength: -1 or +1; Delay: milliseconds
    int count = -1;  // answers still to spoil; -1 for all of them
    // Scope: every datagram unless scoped; a scoped fault matches only valid reads that cover at
    // least one point from first to last of the device on the CPU.
    bool scoped = false;
    Location first, last;

    static Fault make(FaultKind kind, int value, int count)
    {
        Fault f;
        f.kind = kind;
        f.value = value;
        f.count = count;
        return f;
    }
    static Fault silent(int count = -1) { return make(FaultKind::Silent, 0, count); }
    static Fault error(int code, int count = -1) { return make(FaultKind::Error, code, count); }
    static Fault garbage(int count = -1) { return make(FaultKind::Garbage, 0, count); }
    static Fault wrongLength(int delta, int count = -1)
    {
        return make(FaultKind::WrongLength, delta, count);
    }
    static Fault delay(int ms, int count = -1) { return make(FaultKind::Delay, ms, count); }
    // Limits the fault to one point, or to a stretch of one device ("D100", "2M1", "X201").
    // Throws ParseError.
    Fault& at(std::string_view location);
    Fault& at(std::string_view from, std::string_view to);
};

// "KIND[=ARG][@LOCATION[-LOCATION]][*COUNT]": silent, error=CODE, garbage,
// wrong-length=short|long, delay=MS; for example "error=5@D100*3". Throws ParseError.
Fault parseFault(std::string_view text);
// Throws ParseError when the fault's value is out of its range.
void checkFault(const Fault& fault);

// One received datagram, as recorded.
struct Datagram {
    std::chrono::steady_clock::time_point received;
    Endpoint from;
    Bytes bytes;
    bool answered = false;  // false when a fault kept the module silent
    Bytes answer;           // what was sent back (after delayMs)
    int delayMs = 0;
};

class Simulator {
public:
    explicit Simulator(Form form = Form::Ascii);
    ~Simulator();  // stops
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Binds address:port (port 0: a free port) and starts serving on its own thread; returns the
    // bound port. Throws std::runtime_error when the port cannot be had, std::logic_error when
    // already running.
    std::uint16_t start(const std::string& address = "127.0.0.1", std::uint16_t port = 0);
    void stop();  // waits for the serving thread; answers still delayed are dropped
    bool running() const;
    Endpoint endpoint() const;  // where it serves (port 0 when stopped)

    void setForm(Form form);
    Form form() const;

    // Device values by CPU (1 to 4), device name ("D", "M", "C" or "CU", ...) and address number
    // as written. word() and setWord() on a bit device take 16 points from the address on (the
    // first in bit 0); bit() and setBit() need a bit device. Throw ParseError for bad names,
    // addresses or CPUs.
    void setWord(int cpu, const std::string& device, std::uint32_t address, std::uint16_t value);
    void setWords(int cpu, const std::string& device, std::uint32_t address,
                  const std::vector<std::uint16_t>& values);
    std::uint16_t word(int cpu, const std::string& device, std::uint32_t address) const;
    void setBit(int cpu, const std::string& device, std::uint32_t address, bool on);
    bool bit(int cpu, const std::string& device, std::uint32_t address) const;
    // "LOCATION[:TYPE]=VALUE", as --set (values.h); "LOCATION[:TYPE]" read back as a number.
    void assign(std::string_view assignment);
    void apply(const Assignment& assignment);
    double number(std::string_view locationAndType) const;
    void clearValues();

    // Demonstration changes: counters and toggles step once a second, ramps follow the time
    // since start every 100 ms.
    void addDemo(const Demo& demo);
    void clearDemos();

    void addFault(const Fault& fault);  // throws ParseError for a bad value
    void clearFaults();

    // The latest 10000 datagrams, oldest first.
    std::vector<Datagram> datagrams() const;
    std::size_t datagramCount() const;
    void clearDatagrams();
    // Waits until at least n datagrams are recorded or the timeout passes; true when they are.
    bool waitForDatagrams(std::size_t n, std::chrono::milliseconds timeout) const;

    // Writes one line per datagram and answer to out (nullptr: none). Set before start().
    void setTrace(std::ostream* out);
    void setSeed(std::uint32_t seed);  // of the random bytes of garbage answers

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// Printable form of a datagram: quoted text with \r, \n and \xNN escapes, or hex bytes.
std::string describeBytes(const Bytes& bytes);

}  // namespace plcsim
