#include "tools/mqttbridge/bridge.h"

#include <algorithm>

#include "shell/config_values.h"
#include "tools/mqttbridge/text.h"
#include "value/dde_text.h"

namespace mqttbridge {

namespace {

// Time-out of each synchronous DDE transaction.
constexpr DWORD TransactionMs = 5000;
// How often KOMVAS is looked for while it is away, and looked at while it is there.
constexpr DWORD KomvasRetryMs = 3000;
// The longest stretch of advises and requests between two visits to the broker.
constexpr DWORD CatchUpSliceMs = 50;
// How long CTRL+C waits for the broker to have "offline".
constexpr DWORD StopMs = 3000;
// An advise that failed although KOMVAS did not refuse it (its answer came after the time-out,
// KOMVAS being busy) is asked again, at most this many times in a row.
constexpr int AdviseAttempts = 8;

}  // namespace

std::string Now()
{
    FILETIME utc, local;
    GetSystemTimeAsFileTime(&utc);
    FileTimeToLocalFileTime(&utc, &local);
    SYSTEMTIME t;
    FileTimeToSystemTime(&local, &t);
    const auto ticks = [](const FILETIME& f) {
        return static_cast<long long>((static_cast<ULONGLONG>(f.dwHighDateTime) << 32) |
                                      f.dwLowDateTime);
    };
    // 100 ns units; the offset is a whole number of minutes.
    const long long offset = (ticks(local) - ticks(utc)) / 600000000LL;
    local_time::LocalTime lt;
    lt.year = t.wYear;
    lt.month = t.wMonth;
    lt.day = t.wDay;
    lt.hour = t.wHour;
    lt.minute = t.wMinute;
    lt.second = t.wSecond;
    lt.millisecond = t.wMilliseconds;
    return IsoTime(lt, static_cast<int>(offset));
}

Bridge::Bridge(const Settings& settings, std::function<void(const std::string&)> say)
    : settings(settings), say(std::move(say)), work(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      broker(
          settings, [this] { markAllDirty(); }, this->say)
{
    for (const Item& item : settings.items) {
        entries.push_back({item.topic, {}, false, false});
        ItemState state;
        state.ansiName = Ansi(item.name);
        items.push_back(state);
    }
    // One conversation per PLC topic; DDE names compare without regard to letter case.
    for (std::size_t i = 0; i < settings.items.size(); ++i) {
        const std::string ansiPlc = Ansi(settings.items[i].plc);
        auto plc = std::find_if(plcs.begin(), plcs.end(), [&](const Plc& p) {
            return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, p.ansiName.c_str(), -1,
                                  ansiPlc.c_str(), -1) == CSTR_EQUAL;
        });
        if (plc == plcs.end()) {
            Plc added;
            added.name = settings.items[i].plc;
            added.ansiName = ansiPlc;
            plcs.push_back(std::move(added));
            plc = plcs.end() - 1;
        }
        plc->items.push_back(i);
        plc->byName[items[i].ansiName] = i;
        items[i].plc = static_cast<std::size_t>(plc - plcs.begin());
    }
    for (Plc& plc : plcs) {
        plc.stateEntry = entries.size();
        entries.push_back({StateTopic(settings, plc.name), {}, false, false});
    }
}

Bridge::~Bridge()
{
    for (Plc& plc : plcs)
        plc.session.reset();
    system.reset();
    CloseHandle(work);
}

void Bridge::setPayload(std::size_t entry, const std::string& payload)
{
    Entry& e = entries[entry];
    if (e.set && e.payload == payload)
        return;
    e.payload = payload;
    e.set = true;
    if (!e.dirty) {
        e.dirty = true;
        dirty.push_back(entry);
    }
    SetEvent(work);
}

void Bridge::markAllDirty()
{
    dirty.clear();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        entries[i].dirty = entries[i].set;
        if (entries[i].set)
            dirty.push_back(i);
    }
    SetEvent(work);
}

void Bridge::flush()
{
    while (!dirty.empty() && broker.canPublish()) {
        Entry& e = entries[dirty.front()];
        dirty.pop_front();
        e.dirty = false;
        broker.publish(e.topic, e.payload);
    }
}

void Bridge::received(std::size_t item, const std::string& text)
{
    ItemState& state = items[item];
    state.reading = Interpret(text, settings.items[item].kind);
    state.time = Now();
    state.received = true;
    setPayload(item, Payload(state.reading, state.time));
}

void Bridge::connectKomvas()
{
    auto session = std::make_unique<ddesession::Session>(TransactionMs, CP_UTF8);
    if (!session->initialize() || !session->connect(config::ServiceName, config::SystemTopicName)) {
        if (!absenceSaid)
            say("KOMVAS is not running (no DDE conversation with " +
                std::string(config::ServiceName) + "|" + config::SystemTopicName +
                "): looking for it every " + std::to_string(KomvasRetryMs / 1000) + " s");
        absenceSaid = true;
        return;
    }
    system = std::move(session);
    system->onDisconnect([this] { komvasLost = true; });
    // The link state of each PLC: the SYSTEM item of its name.
    system->onUpdate([this](const std::string& name, const std::string& state) {
        for (Plc& plc : plcs) {
            if (plc.ansiName == name)
                setPayload(plc.stateEntry, state);
        }
    });
    komvasUp = true;
    komvasLost = false;
    absenceSaid = false;
    say("connected to KOMVAS");
    for (Plc& plc : plcs) {
        plc.topicRefusalSaid = false;
        std::string state;
        if (system->advise(plc.ansiName, CF_UNICODETEXT) &&
            system->request(plc.ansiName, CF_UNICODETEXT, state) && !state.empty() &&
            state[0] != '#')
            setPayload(plc.stateEntry, state);
        else
            say("KOMVAS gives no link state for " + plc.name + " on its " +
                config::SystemTopicName + " topic");
    }
    for (Plc& plc : plcs)
        openTopic(plc);
}

void Bridge::openTopic(Plc& plc)
{
    auto session = std::make_unique<ddesession::Session>(TransactionMs, CP_UTF8);
    if (!session->initialize() || !session->connect(config::ServiceName, plc.ansiName)) {
        // Looked for again with KOMVAS itself; said once for each time KOMVAS is reached.
        if (!plc.topicRefusalSaid) {
            for (std::size_t i : plc.items)
                say("KOMVAS refuses " + settings.items[i].plc + "!" + settings.items[i].name +
                    ": it has no topic " + plc.name);
        }
        plc.topicRefusalSaid = true;
        return;
    }
    plc.session = std::move(session);
    plc.session->onDisconnect([this] { komvasLost = true; });
    Plc* owner = &plc;
    plc.session->onUpdate([this, owner](const std::string& name, const std::string& value) {
        const auto found = owner->byName.find(name);
        if (found != owner->byName.end())
            received(found->second, value);
    });
}

void Bridge::adviseItem(Plc& plc, std::size_t item)
{
    ItemState& state = items[item];
    for (int attempt = 0; attempt < AdviseAttempts; ++attempt) {
        if (plc.session->advise(state.ansiName, CF_UNICODETEXT)) {
            state.advised = true;
            return;
        }
        // KOMVAS has handled the advise before it answers this request: an item it accepted
        // has a value, one it refused is "#NOTHING" (no conversation advises it). Only an
        // advise that KOMVAS did not refuse is asked again.
        std::string answer;
        if (plc.session->request(state.ansiName, CF_UNICODETEXT, answer) &&
            answer == fam3::NothingText) {
            say("KOMVAS refuses " + settings.items[item].plc + "!" + settings.items[item].name +
                " (its console says why)");
            state.refused = true;
            // The broker keeps nothing for an item KOMVAS refuses: an empty retained message
            // clears what an earlier run left there.
            setPayload(item, std::string());
            return;
        }
        // Its loop is stopped first, so that KOMVAS counts one loop of this conversation.
        plc.session->unadvise(state.ansiName, CF_UNICODETEXT);
    }
    // Asked again at the next check.
}

bool Bridge::catchUp(ULONGLONG until)
{
    // Items still to advise, and the value each has when its loop starts (a hot advise loop
    // brings only changes), a few at a time, so that the broker is served meanwhile; an item
    // whose advise or request did not go through is asked again at the next check.
    const ULONGLONG now = GetTickCount64();
    const std::size_t from = catchUpFrom;
    for (std::size_t n = 0; n < items.size() && GetTickCount64() < until; ++n) {
        const std::size_t i = (from + n) % items.size();
        ItemState& state = items[i];
        Plc& plc = plcs[state.plc];
        if (state.refused || state.received || now < state.retryAt || !plc.session ||
            !plc.session->connected())
            continue;
        state.retryAt = now + KomvasRetryMs;
        if (!state.advised)
            adviseItem(plc, i);
        std::string value;
        if (state.advised && plc.session->request(state.ansiName, CF_UNICODETEXT, value) &&
            !state.received && value != fam3::NothingText)
            received(i, value);
        catchUpFrom = i + 1;
    }
    return GetTickCount64() < until;
}

void Bridge::loseKomvas(const std::string& why)
{
    if (!why.empty())
        say(why + ": every item is stale until KOMVAS is back");
    for (Plc& plc : plcs)
        plc.session.reset();
    system.reset();
    komvasUp = false;
    komvasLost = false;
    for (std::size_t i = 0; i < items.size(); ++i) {
        ItemState& state = items[i];
        state.advised = false;
        state.retryAt = 0;
        if (!state.refused)
            setPayload(i, Payload(state.reading, state.received ? state.time : Now(), true));
        state.received = false;
        state.refused = false;
    }
    for (const Plc& plc : plcs)
        setPayload(plc.stateEntry, UnknownState);
}

void Bridge::run(HANDLE stop)
{
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= nextKomvasCheck) {
            nextKomvasCheck = now + KomvasRetryMs;
            if (komvasUp) {
                bool alive = system && system->serverAlive();
                for (const Plc& plc : plcs)
                    alive = alive && (!plc.session || plc.session->serverAlive());
                if (!alive)
                    komvasLost = true;
                else {
                    for (Plc& plc : plcs) {
                        if (!plc.session)
                            openTopic(plc);
                    }
                }
            } else {
                connectKomvas();
                // Not there at the start: what the broker holds from earlier is not current.
                if (!komvasUp && !entries[0].set)
                    loseKomvas({});
            }
        }
        if (komvasLost)
            loseKomvas("KOMVAS has ended its conversations (stopped, ended or crashed)");
        const bool caughtUp = !komvasUp || catchUp(GetTickCount64() + CatchUpSliceMs);
        broker.service();
        flush();
        const ULONGLONG later = GetTickCount64();
        DWORD wait = static_cast<DWORD>(std::min<ULONGLONG>(
            broker.dueInMs(), nextKomvasCheck - std::min(nextKomvasCheck, later)));
        if ((!dirty.empty() && broker.canPublish()) || !caughtUp)
            wait = 0;
        ResetEvent(work);
        if (broker.event())
            ddesession::pump(wait, {stop, work, broker.event()});
        else
            ddesession::pump(wait, {stop, work});
        if (WaitForSingleObject(stop, 0) == WAIT_OBJECT_0)
            break;
    }
    say("stopping");
    for (Plc& plc : plcs) {
        if (plc.session)
            plc.session->disconnect();
    }
    if (system)
        system->disconnect();
    broker.stop(StopMs);
}

}  // namespace mqttbridge
