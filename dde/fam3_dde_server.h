#pragma once
// The server of one FA-M3 PLC topic. It owns the topic's items, counts their advise loops per
// conversation and keeps them in the key-ordered read schedule that the PLC's link walks.
#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "dde/plc_dde_server.h"
#include "item/dde_item.h"

namespace fam3 {

class FAM3DdeServer : public PLCDdeServer {
public:
    typedef std::multimap<std::int64_t, DdeItem*> Schedule;

    explicit FAM3DdeServer(const char* name);
    ~FAM3DdeServer() override;

    int AdviseStart(const DdeTransaction* t) override;
    HDDEDATA AdviseRequest(const DdeTransaction* t) override;
    HDDEDATA Request(const DdeTransaction* t) override;
    int AdviseStop(const DdeTransaction* t) override;
    int Disconnect(const DdeTransaction* t) override;

    // Takes one advise loop off the item of `hsz`; deletes the item when it was the last.
    void Release(HSZ hsz);

    std::string name;
    std::map<HSZ, DdeItem*> items;
    std::map<HCONV, std::set<HSZ>> conversations;
    Schedule schedule;
};

} // namespace fam3
