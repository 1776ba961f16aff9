#include "tools/plcsim/plcsim.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <cstdio>
#include <mutex>
#include <ostream>
#include <random>
#include <stdexcept>
#include <thread>

namespace plcsim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int PollMs = 20;                              // longest sleep of the serving thread
constexpr auto StepInterval = std::chrono::seconds(1);  // counters and toggles
constexpr auto RampInterval = std::chrono::milliseconds(100);
constexpr std::size_t ReceiveCapacity = 65536;
// The record keeps the latest datagrams only, so that a simulator left running for weeks does
// not grow without end.
constexpr std::size_t RecordLimit = 10000;

std::string quoted(std::string_view s)
{
    return "'" + std::string(s) + "'";
}

bool covers(const Fault& f, const Command& c)
{
    if (!f.scoped)
        return true;
    if (!c.read)
        return false;
    const ReadCommand& r = *c.read;
    if (r.cpu != f.first.cpu || r.device != f.first.device)
        return false;
    const std::uint64_t end = std::uint64_t{r.point} + r.points();  // exclusive
    return r.point <= f.last.point && f.first.point < end;
}

// Changes the length by delta, keeping a final CR LF of an ASCII answer in place.
void changeLength(Bytes& bytes, int delta, Form form)
{
    const bool crlf = form == Form::Ascii && bytes.size() >= 3 && bytes[bytes.size() - 2] == '\r' &&
                      bytes.back() == '\n';
    const auto at = crlf ? bytes.end() - 2 : bytes.end();
    if (delta < 0) {
        if (!bytes.empty())
            bytes.erase(at - 1);
    } else if (delta > 0) {
        bytes.insert(at, form == Form::Ascii ? std::uint8_t{'0'} : std::uint8_t{0});
    }
}

}  // namespace

Fault& Fault::at(std::string_view location)
{
    return at(location, location);
}

Fault& Fault::at(std::string_view from, std::string_view to)
{
    const Location a = parseLocation(from), b = parseLocation(to);
    if (a.cpu != b.cpu || a.device != b.device)
        throw ParseError("a fault stretch " + quoted(from) + "-" + quoted(to) +
                         " must stay on one device of one CPU");
    scoped = true;
    first = a.point <= b.point ? a : b;
    last = a.point <= b.point ? b : a;
    return *this;
}

void checkFault(const Fault& fault)
{
    switch (fault.kind) {
    case FaultKind::Error:
        if (fault.value < 0 || fault.value > 255)
            throw ParseError("error code must be 0 to 255");
        break;
    case FaultKind::WrongLength:
        if (fault.value != -1 && fault.value != 1)
            throw ParseError("wrong length must be -1 or +1");
        break;
    case FaultKind::Delay:
        if (fault.value < 0 || fault.value > 3600000)
            throw ParseError("delay must be 0 to 3600000 milliseconds");
        break;
    default:
        break;
    }
    if (fault.count == 0 || fault.count < -1)
        throw ParseError("fault count must be 1 or more");
}

Fault parseFault(std::string_view text)
{
    const std::string where = " in fault " + quoted(text);
    Fault f;
    std::string_view rest = text;
    const std::size_t star = rest.rfind('*');
    if (star != std::string_view::npos) {
        const std::string_view n = rest.substr(star + 1);
        long long count = 0;
        if (n.empty() || n.size() > 9 ||
            n.find_first_not_of("0123456789") != std::string_view::npos ||
            (count = std::stoll(std::string(n))) < 1)
            throw ParseError("count must be a whole number of 1 or more" + where);
        f.count = static_cast<int>(count);
        rest = rest.substr(0, star);
    }
    const std::size_t atSign = rest.find('@');
    std::string_view scope;
    if (atSign != std::string_view::npos) {
        scope = rest.substr(atSign + 1);
        rest = rest.substr(0, atSign);
        if (scope.empty())
            throw ParseError("missing location after '@'" + where);
    }
    const std::size_t equals = rest.find('=');
    const std::string_view kind = rest.substr(0, equals);
    const std::string_view arg =
        equals == std::string_view::npos ? std::string_view() : rest.substr(equals + 1);
    const bool hasArg = equals != std::string_view::npos;
    auto number = [&](int lowest, int highest) {
        if (arg.empty() || arg.size() > 9 ||
            arg.find_first_not_of("0123456789") != std::string_view::npos)
            throw ParseError("expected a number after '='" + where);
        const int v = std::stoi(std::string(arg));
        if (v < lowest || v > highest)
            throw ParseError("value must be " + std::to_string(lowest) + " to " +
                             std::to_string(highest) + where);
        return v;
    };
    if (kind == "silent" || kind == "garbage") {
        if (hasArg)
            throw ParseError(std::string(kind) + " takes no value" + where);
        f.kind = kind == "silent" ? FaultKind::Silent : FaultKind::Garbage;
    } else if (kind == "error") {
        f.kind = FaultKind::Error;
        f.value = number(0, 255);
    } else if (kind == "delay") {
        f.kind = FaultKind::Delay;
        f.value = number(0, 3600000);
    } else if (kind == "wrong-length") {
        f.kind = FaultKind::WrongLength;
        if (arg == "short" || arg == "-1")
            f.value = -1;
        else if (arg == "long" || arg == "+1" || arg == "1")
            f.value = 1;
        else
            throw ParseError("wrong-length takes short or long" + where);
    } else {
        throw ParseError("unknown fault " + quoted(kind) +
                         " (silent, error=CODE, garbage, wrong-length=short|long, delay=MS)");
    }
    if (!scope.empty()) {
        try {
            const std::size_t dash = scope.find('-');
            if (dash == std::string_view::npos) {
                f.at(scope);
            } else {
                std::string to(scope.substr(dash + 1));
                const std::string from(scope.substr(0, dash));
                // "D100-120": the second end may leave out CPU and device.
                if (!to.empty() && to.find_first_not_of("0123456789") == std::string::npos) {
                    const std::size_t digits = from.find_last_not_of("0123456789");
                    to = from.substr(0, digits == std::string::npos ? 0 : digits + 1) + to;
                }
                f.at(from, to);
            }
        } catch (const ParseError& e) {
            throw ParseError(e.what() + where);
        }
    }
    return f;
}

std::string describeBytes(const Bytes& bytes)
{
    bool text = !bytes.empty();
    for (std::uint8_t b : bytes)
        if (!(b >= 0x20 && b < 0x7F) && b != '\r' && b != '\n')
            text = false;
    std::string out;
    char buf[8];
    if (text) {
        out = "\"";
        for (std::uint8_t b : bytes) {
            if (b == '\r')
                out += "\\r";
            else if (b == '\n')
                out += "\\n";
            else if (b == '"' || b == '\\') {
                out += '\\';
                out += static_cast<char>(b);
            } else
                out += static_cast<char>(b);
        }
        out += "\"";
    } else {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", bytes[i]);
            out += buf;
        }
        if (bytes.empty())
            out = "(empty)";
    }
    return out;
}

struct Simulator::Impl {
    struct Pending {
        Clock::time_point due;
        Bytes bytes;
        Endpoint to;
    };
    struct RunningDemo {
        Demo demo;
        Clock::time_point next;
    };

    mutable std::mutex mutex;
    mutable std::condition_variable recorded;
    Form form;
    Memory memory;
    std::vector<Fault> faults;
    std::deque<Datagram> records;
    std::vector<RunningDemo> demos;
    std::mt19937 random{std::random_device{}()};
    std::ostream* trace = nullptr;
    Clock::time_point started = Clock::now();

    // Owned by the serving thread while it runs.
    UdpSocket socket;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<bool> serving{false};
    Endpoint bound;
    std::vector<Pending> pending;
    std::vector<std::uint8_t> buffer;

    explicit Impl(Form f) : form(f) { }

    void serve()
    {
        buffer.resize(ReceiveCapacity);
        while (!stopping.load()) {
            const Clock::time_point now = Clock::now();
            int wait = PollMs;
            for (const Pending& p : pending) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(p.due - now).count();
                wait = static_cast<int>(std::max<long long>(0, std::min<long long>(wait, left)));
            }
            if (socket.waitReadable(wait)) {
                Endpoint from;
                const long n = socket.receive(buffer.data(), buffer.size(), from);
                if (n >= 0)
                    handle(buffer.data(), static_cast<std::size_t>(n), from);
            }
            sendDue(Clock::now());
            runDemos(Clock::now());
        }
        pending.clear();
    }

    void handle(const std::uint8_t* data, std::size_t size, const Endpoint& from)
    {
        Datagram record;
        record.received = Clock::now();
        record.from = from;
        record.bytes.assign(data, data + size);
        {
            std::lock_guard<std::mutex> lock(mutex);
            const Command command = parseCommand(form, data, size);
            Bytes reply = answer(command, memory);
            // Demonstrations that change with every read step once the answer holds the
            // values read, so that the next read sees new ones.
            if (command.read)
                for (const RunningDemo& d : demos)
                    if (d.demo.perRead)
                        stepDemo(d.demo, memory, 0);
            bool silent = false, garbage = false, errorSet = false;
            int lengthDelta = 0, delay = 0;
            for (Fault& f : faults) {
                if (!covers(f, command))
                    continue;
                switch (f.kind) {
                case FaultKind::Silent:
                    silent = true;
                    break;
                case FaultKind::Error:
                    if (!errorSet)
                        reply = errorAnswer(command, static_cast<std::uint8_t>(f.value), 0);
                    errorSet = true;
                    break;
                case FaultKind::Garbage:
                    garbage = true;
                    break;
                case FaultKind::WrongLength:
                    lengthDelta += f.value;
                    break;
                case FaultKind::Delay:
                    delay = std::max(delay, f.value);
                    break;
                }
                if (f.count > 0)
                    --f.count;
            }
            faults.erase(std::remove_if(faults.begin(), faults.end(),
                                        [](const Fault& f) { return f.count == 0; }),
                         faults.end());
            if (garbage) {
                const std::uint8_t first = reply.empty() ? 0 : reply[0];
                for (std::uint8_t& b : reply)
                    b = static_cast<std::uint8_t>(random() & 0xFF);
                if (!reply.empty())
                    reply[0] = static_cast<std::uint8_t>(first ^ (1 + random() % 255));
            }
            if (lengthDelta)
                changeLength(reply, lengthDelta, form);
            record.answered = !silent;
            if (!silent)
                record.answer = reply;
            record.delayMs = silent ? 0 : delay;
            records.push_back(record);
            if (records.size() > RecordLimit)
                records.pop_front();
        }
        recorded.notify_all();

        if (trace) {
            *trace << "<- " << from.text() << " " << describeBytes(record.bytes) << "\n";
            if (!record.answered)
                *trace << "   (no answer)\n";
            else
                *trace << "-> "
                       << (record.delayMs ? "after " + std::to_string(record.delayMs) + " ms " : "")
                       << describeBytes(record.answer) << "\n";
            trace->flush();
        }
        if (!record.answered)
            return;
        if (record.delayMs > 0)
            pending.push_back(
                {record.received + std::chrono::milliseconds(record.delayMs), record.answer, from});
        else
            socket.send(record.answer.data(), record.answer.size(), from);
    }

    void sendDue(Clock::time_point now)
    {
        for (auto it = pending.begin(); it != pending.end();) {
            if (it->due <= now) {
                socket.send(it->bytes.data(), it->bytes.size(), it->to);
                it = pending.erase(it);
            } else {
                ++it;
            }
        }
    }

    void runDemos(Clock::time_point now)
    {
        std::lock_guard<std::mutex> lock(mutex);
        const double t = std::chrono::duration<double>(now - started).count();
        for (RunningDemo& d : demos) {
            if (d.demo.perRead || now < d.next)
                continue;
            stepDemo(d.demo, memory, t);
            if (d.demo.kind == DemoKind::Ramp) {
                d.next = now + RampInterval;
            } else {
                d.next += StepInterval;
                if (d.next <= now)
                    d.next = now + StepInterval;  // after a stall, no burst of steps
            }
        }
    }

    const Device& device(const std::string& name) const
    {
        const Device* d = deviceByUserName(name);
        if (!d)
            throw ParseError("unknown device " + quoted(name));
        return *d;
    }

    // Points from the address on; checks CPU, address and that count points fit.
    std::uint32_t points(int cpu, const Device& d, std::uint32_t address, std::size_t count) const
    {
        if (cpu < 1 || cpu > CpuCount)
            throw ParseError("CPU number must be 1 to 4");
        const std::optional<std::uint32_t> p = pointOf(d, address);
        if (!p)
            throw ParseError("address number " + std::to_string(address) +
                             " is not valid for device " + d.name);
        if (*p + std::uint64_t{count} > deviceSize(d))
            throw ParseError(std::string("the values run past the end of device ") + d.name);
        return *p;
    }
};

Simulator::Simulator(Form form) : impl(std::make_unique<Impl>(form)) { }

Simulator::~Simulator()
{
    stop();
}

std::uint16_t Simulator::start(const std::string& address, std::uint16_t port)
{
    if (impl->serving.load())
        throw std::logic_error("the simulator is already running");
    impl->socket.open(address, port);
    impl->bound = impl->socket.local();
    {
        std::lock_guard<std::mutex> lock(impl->mutex);
        impl->started = Clock::now();
        for (Impl::RunningDemo& d : impl->demos)
            d.next =
                impl->started + (d.demo.kind == DemoKind::Ramp ? Clock::duration::zero()
                                                               : Clock::duration(StepInterval));
    }
    impl->stopping = false;
    impl->serving = true;
    impl->thread = std::thread([this] { impl->serve(); });
    return impl->bound.port;
}

void Simulator::stop()
{
    if (!impl->serving.load())
        return;
    impl->stopping = true;
    if (impl->thread.joinable())
        impl->thread.join();
    impl->socket.close();
    impl->bound = Endpoint();
    impl->serving = false;
}

bool Simulator::running() const
{
    return impl->serving.load();
}
Endpoint Simulator::endpoint() const
{
    return impl->bound;
}

void Simulator::setForm(Form form)
{
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->form = form;
}

Form Simulator::form() const
{
    std::lock_guard<std::mutex> lock(impl->mutex);
    return impl->form;
}

void Simulator::setWord(int cpu, const std::string& device, std::uint32_t address, std::uint16_t value)
{
    setWords(cpu, device, address, {value});
}

void Simulator::setWords(int cpu, const std::string& device, std::uint32_t address,
                         const std::vector<std::uint16_t>& values)
{
    const Device& d = impl->device(device);
    const std::vector<std::uint16_t> cells = wordsToCells(d.kind, values);
    std::lock_guard<std::mutex> lock(impl->mutex);
    const std::uint32_t p = impl->points(cpu, d, address, cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i)
        impl->memory.set(cpu, d, p + static_cast<std::uint32_t>(i), cells[i]);
}

std::uint16_t Simulator::word(int cpu, const std::string& device, std::uint32_t address) const
{
    const Device& d = impl->device(device);
    const std::size_t n = d.kind == Kind::Bit ? 16 : 1;
    std::lock_guard<std::mutex> lock(impl->mutex);
    const std::uint32_t p = impl->points(cpu, d, address, n);
    std::vector<std::uint16_t> cells;
    for (std::uint32_t i = 0; i < n; ++i)
        cells.push_back(impl->memory.get(cpu, d, p + i));
    return cellsToWords(d.kind, cells)[0];
}

void Simulator::setBit(int cpu, const std::string& device, std::uint32_t address, bool on)
{
    const Device& d = impl->device(device);
    if (d.kind != Kind::Bit)
        throw ParseError(std::string("device ") + d.name + " is a word device");
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->memory.set(cpu, d, impl->points(cpu, d, address, 1), on ? 1 : 0);
}

bool Simulator::bit(int cpu, const std::string& device, std::uint32_t address) const
{
    const Device& d = impl->device(device);
    if (d.kind != Kind::Bit)
        throw ParseError(std::string("device ") + d.name + " is a word device");
    std::lock_guard<std::mutex> lock(impl->mutex);
    return impl->memory.get(cpu, d, impl->points(cpu, d, address, 1)) != 0;
}

void Simulator::assign(std::string_view assignment)
{
    apply(parseAssignment(assignment));
}

void Simulator::apply(const Assignment& assignment)
{
    std::lock_guard<std::mutex> lock(impl->mutex);
    plcsim::apply(assignment, impl->memory);
}

double Simulator::number(std::string_view locationAndType) const
{
    const std::size_t colon = locationAndType.find(':');
    const Location at = parseLocation(locationAndType.substr(0, colon));
    ValueType type = at.device->kind == Kind::Bit ? ValueType::Bit : ValueType::Word;
    if (colon != std::string_view::npos)
        type = parseValueType(locationAndType.substr(colon + 1));
    if (type == ValueType::Text)
        throw ParseError("TEXT is not a number");
    if (type == ValueType::Bit && at.device->kind == Kind::Word)
        throw ParseError("type B needs a bit device");
    if (at.point + std::uint64_t{pointsOf(type, at.device->kind)} > deviceSize(*at.device))
        throw ParseError("the value runs past the end of the device");
    std::lock_guard<std::mutex> lock(impl->mutex);
    return readNumber(impl->memory, at, type);
}

void Simulator::clearValues()
{
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->memory.clear();
}

void Simulator::addDemo(const Demo& demo)
{
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->demos.push_back(
        {demo, Clock::now() + (demo.kind == DemoKind::Ramp ? Clock::duration::zero()
                                                           : Clock::duration(StepInterval))});
}

void Simulator::clearDemos()
{
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->demos.clear();
}

void Simulator::addFault(const Fault& fault)
{
    checkFault(fault);
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->faults.push_back(fault);
}

void Simulator::clearFaults()
{
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->faults.clear();
}

std::vector<Datagram> Simulator::datagrams() const
{
    std::lock_guard<std::mutex> lock(impl->mutex);
    return std::vector<Datagram>(impl->records.begin(), impl->records.end());
}

std::size_t Simulator::datagramCount() const
{
    std::lock_guard<std::mutex> lock(impl->mutex);
    return impl->records.size();
}

void Simulator::clearDatagrams()
{
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->records.clear();
}

bool Simulator::waitForDatagrams(std::size_t n, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(impl->mutex);
    return impl->recorded.wait_for(lock, timeout, [&] { return impl->records.size() >= n; });
}

void Simulator::setTrace(std::ostream* out)
{
    if (impl->serving.load())
        throw std::logic_error("set the trace before start()");
    impl->trace = out;
}

void Simulator::setSeed(std::uint32_t seed)
{
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->random.seed(seed);
}

}  // namespace plcsim
