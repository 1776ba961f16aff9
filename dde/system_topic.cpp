#include "dde/system_topic.h"

#include <csignal>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "dde/fam3_dde_server.h"
#include "dde/statistics_table.h"
#include "item/item_name.h"
#include "link/le01_comm.h"
#include "link/schedule.h"
#include "shell/config_values.h"
#include "shell/process.h"

namespace system_topic {

namespace {

const char StatisticsItem[] = "Statistics";

const char* StateText(fam3::LinkState state)
{
    switch (state) {
    case fam3::LinkState::Ascii:
        return "ASCII";
    case fam3::LinkState::Binary:
        return "BINARY";
    case fam3::LinkState::NoAnswer:
        return "NO ANSWER";
    case fam3::LinkState::Unreachable:
        return "UNREACHABLE";
    case fam3::LinkState::Starting:
        break;
    }
    return "STARTING";
}

// Item names compare as DDE string handles do, without regard to letter case.
bool SameName(const char* a, const char* b)
{
    for (; *a != '\0' && fam3::upperAscii(*a) == fam3::upperAscii(*b); ++a, ++b) {
    }
    return fam3::upperAscii(*a) == fam3::upperAscii(*b);
}

// The system topic's name, then the PLC names in configuration order, tab-separated.
std::string TopicsText()
{
    std::string names = config::SystemTopicName;
    for (const fam3::LE01Comm* link : process::linkList)
        names += "\t" + link->server->name;
    return names;
}

std::string SysItemsText();
std::string StatisticsText();

// The topic's own items, in the order SysItems lists them: each item's name and how its text is
// made. They win over a PLC of the same name.
const struct FixedItem {
    const char* name;
    std::string (*text)();
} FixedItems[] = {
    {"SysItems", SysItemsText},
    {"Topics", TopicsText},
    {"Formats", [] { return std::string("TEXT\tUNICODETEXT"); }},
    {"Status", [] { return std::string("Ready"); }},  // while the server runs
    {StatisticsItem, StatisticsText},
};

const FixedItem* FindFixedItem(const char* name)
{
    for (const FixedItem& fixed : FixedItems) {
        if (SameName(name, fixed.name))
            return &fixed;
    }
    return nullptr;
}

// The fixed items' names, then the PLC names that are items of their own (not hidden by a
// fixed item of the same name), tab-separated.
std::string SysItemsText()
{
    std::string names;
    for (const FixedItem& fixed : FixedItems)
        names += (names.empty() ? "" : "\t") + std::string(fixed.name);
    for (const fam3::LE01Comm* link : process::linkList) {
        if (FindFixedItem(link->server->name.c_str()) == nullptr)
            names += "\t" + link->server->name;
    }
    return names;
}

std::string StatisticsText()
{
    std::vector<statistics_table::Row> rows;
    for (const fam3::LE01Comm* link : process::linkList) {
        statistics_table::Row row;
        row.plc = link->server->name;
        row.state = StateText(link->linkState);
        row.items = link->server->items.size();
        row.commands = fam3::CommandsPerPass(link->server->schedule, link->readDataMaxCount);
        row.counts = link->statistics;
        rows.push_back(row);
    }
    return statistics_table::Text(rows);
}

// The text of the item, false when the topic has no such item.
bool ItemText(HSZ item, std::string& text)
{
    char name[256] = {0};
    if (Dde::QueryString(item, name, sizeof name) == 0)
        return false;
    if (const FixedItem* fixed = FindFixedItem(name)) {
        text = fixed->text();
        return true;
    }
    for (const fam3::LE01Comm* link : process::linkList) {
        if (Dde::SameString(item, link->server->GetTopic())) {
            text = StateText(link->linkState);
            return true;
        }
    }
    return false;
}

// The advise loops on the system topic, per conversation: item and clipboard format. DDEML
// may ask for loops on other topics that advise an item of the same name; only these get the
// topic's values.
std::map<HCONV, std::set<std::pair<HSZ, UINT>>> advising;

// Whether some conversation has an advise loop on the item, in either format.
bool Advised(HSZ item)
{
    for (const auto& conversation : advising) {
        for (const auto& loop : conversation.second) {
            if (Dde::SameString(loop.first, item))
                return true;
        }
    }
    return false;
}

HDDEDATA TextData(const DdeTransaction& t)
{
    std::string text;
    if (!ItemText(t.hsz2, text))
        return nullptr;
    return Dde::CreateDataHandle(text.c_str(), static_cast<DWORD>(text.size() + 1), 0, t.hsz2,
                                 CF_TEXT, 0);
}

// The command of an execute compared with "END" without regard to letter case, one unit of
// `width` bytes (little-endian) at a time.
bool IsEnd(const unsigned char* data, std::size_t size, std::size_t width)
{
    const char end[] = "END";
    std::size_t at = 0;
    for (std::size_t i = 0; i < sizeof end - 1; ++i, at += width) {
        if (at + width > size)
            return false;
        unsigned unit = 0;
        for (std::size_t b = 0; b < width; ++b)
            unit |= static_cast<unsigned>(data[at + b]) << (8 * b);
        if (unit > 0x7F || fam3::upperAscii(static_cast<char>(unit)) != end[i])
            return false;
    }
    // The text ends here: at the end of the data or with its terminator. Whatever a client's
    // buffer holds after the terminator is not part of the command.
    for (std::size_t b = 0; b < width && at + b < size; ++b) {
        if (data[at + b] != 0)
            return false;
    }
    return true;
}

} // namespace

bool Served()
{
    return process::systemTopic != nullptr &&
           process::topicTable.count(process::systemTopic) == 0;
}

bool Serves(HSZ topic)
{
    return topic != nullptr && topic == process::systemTopic && Served();
}

HDDEDATA Request(const DdeTransaction& t)
{
    return TextData(t);
}

HDDEDATA AdviseRequest(const DdeTransaction& t)
{
    const auto conversation = advising.find(t.conv);
    if (conversation == advising.end() || conversation->second.count({t.hsz2, t.format}) == 0)
        return nullptr;
    return TextData(t);
}

bool AdviseStart(const DdeTransaction& t)
{
    std::string text;
    if (!ItemText(t.hsz2, text))
        return false;
    try {
        advising[t.conv].insert({t.hsz2, t.format});
    } catch (...) {
        return false;
    }
    return true;
}

void AdviseStop(const DdeTransaction& t)
{
    const auto conversation = advising.find(t.conv);
    if (conversation == advising.end())
        return;
    conversation->second.erase({t.hsz2, t.format});
    if (conversation->second.empty())
        advising.erase(conversation);
}

void Disconnect(const DdeTransaction& t)
{
    advising.erase(t.conv);
}

bool Execute(const DdeTransaction& t)
{
    // The command belongs to the system topic's name, even where a PLC has taken it. Its first
    // 256 bytes are far more than "END" and its terminator need.
    unsigned char command[256];
    const DWORD size = t.hsz1 == process::systemTopic
                           ? Dde::GetData(t.data, command, sizeof command, 0)
                           : 0;
    if (size == 0 || !IsEndCommand(command, size))
        return false;
    process::StopRequest(SIGINT);
    return true;
}

bool IsEndCommand(const unsigned char* data, std::size_t size)
{
    return IsEnd(data, size, 1) || IsEnd(data, size, 2);
}

void LinkStateChanged(fam3::LE01Comm& link)
{
    // A PLC named like a fixed item has no item of its own; its state shows in Statistics.
    if (Served() && FindFixedItem(link.server->name.c_str()) == nullptr)
        Dde::PostAdvise(process::systemTopic, link.server->GetTopic());
}

void PostStatistics()
{
    static ULONGLONG lastCheck = 0;
    static std::string lastText;
    static HSZ item = nullptr;
    const ULONGLONG now = GetTickCount64();
    if (!Served() || now - lastCheck < StatisticsPeriodMs)
        return;
    lastCheck = now;
    // Kept for the life of the instance: advise loops name the item by it.
    if (item == nullptr)
        item = Dde::CreateStringHandle(StatisticsItem);
    // Nobody to tell: the table is not made, and DDEML is not asked to walk its links.
    if (item == nullptr || !Advised(item))
        return;
    std::string text = StatisticsText();
    if (text == lastText)
        return;
    lastText.swap(text);
    Dde::PostAdvise(process::systemTopic, item);
}

HDDEDATA WildConnect(HSZ topic, HSZ service)
{
    if (process::serviceHandle == nullptr ||
        (service != nullptr && !Dde::SameString(service, process::serviceHandle)))
        return nullptr;
    std::vector<HSZPAIR> pairs;
    const auto offer = [&](HSZ candidate) {
        if (topic == nullptr || Dde::SameString(topic, candidate))
            pairs.push_back(HSZPAIR{process::serviceHandle, candidate});
    };
    offer(process::systemTopic);
    for (const fam3::LE01Comm* link : process::linkList) {
        // A PLC named SYSTEM has the system topic's handle, offered above already.
        if (link->server->GetTopic() != process::systemTopic)
            offer(link->server->GetTopic());
    }
    if (pairs.empty())
        return nullptr;
    pairs.push_back(HSZPAIR{nullptr, nullptr});
    return Dde::CreateDataHandle(pairs.data(), static_cast<DWORD>(pairs.size() * sizeof(HSZPAIR)),
                                 0, nullptr, 0, 0);
}

} // namespace system_topic
