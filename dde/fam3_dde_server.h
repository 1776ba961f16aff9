#pragma once
// The server of one FA-M3 PLC topic. It owns the topic's items, counts their advise loops per
// conversation and keeps them in the key-ordered read schedule that the PLC's link walks. An
// advise loop is an item in one clipboard format: a conversation may advise one item in two
// formats, and holds it until both loops have stopped.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "dde/plc_dde_server.h"
#include "item/dde_item.h"

namespace fam3 {

class FAM3DdeServer : public PLCDdeServer {
public:
    typedef std::multimap<std::int64_t, DdeItem*> Schedule;
    // An advise loop of a conversation: the item's string handle and the clipboard format.
    typedef std::pair<HSZ, UINT> Loop;
    typedef std::map<HCONV, std::set<Loop>> Conversations;

    explicit FAM3DdeServer(const char* name);
    ~FAM3DdeServer() override;

    // Registers one advise loop of the conversation on the item, creating the item on its first
    // loop. All or nothing: a refusal (0), for a bad name or for want of memory, leaves items,
    // schedule, conversations and reference counts as they were.
    int AdviseStart(const DdeTransaction* t) override;
    // The item's data for an advise loop of the conversation on this topic; null when the
    // conversation has no such loop here (DDEML may ask for a loop on another topic).
    HDDEDATA AdviseRequest(const DdeTransaction* t) override;
    HDDEDATA Request(const DdeTransaction* t) override;
    int AdviseStop(const DdeTransaction* t) override;
    int Disconnect(const DdeTransaction* t) override;

    // Takes one advise loop off the item of `hsz`; deletes the item when it was the last.
    void Release(HSZ hsz);

    std::string name;
    std::map<HSZ, DdeItem*> items;
    Conversations conversations;
    Schedule schedule;

private:
    // AdviseStart without its guard against exceptions.
    int Register(const DdeTransaction* t);
};

} // namespace fam3
