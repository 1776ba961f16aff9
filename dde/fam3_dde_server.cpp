#include "dde/fam3_dde_server.h"

#include <memory>

#include "item/item_name.h"
#include "shell/msg.h"

namespace fam3 {

namespace {

// DDE clients get at most this many characters of an item name through; the grammar needs no
// more.
const DWORD ItemNameBuffer = 19;

} // namespace

FAM3DdeServer::FAM3DdeServer(const char* name) : PLCDdeServer(name), name(name) {}

FAM3DdeServer::~FAM3DdeServer()
{
    for (auto& entry : items)
        delete entry.second;
    schedule.clear();
    conversations.clear();
    items.clear();
}

int FAM3DdeServer::AdviseStart(const DdeTransaction* t)
{
    DdeItem* item;
    const auto found = items.find(t->hsz2);
    if (found != items.end()) {
        item = found->second;
    } else {
        char text[ItemNameBuffer] = {0};
        if (Dde::QueryString(t->hsz2, text, ItemNameBuffer) == 0) {
            Msg::Log(Msg::Warning, 214, name.c_str());
            return 0;
        }
        std::unique_ptr<DdeItem> created;
        try {
            created.reset(new DdeItem(t->hsz1, t->hsz2, text));
        } catch (const DdeItemException& refusal) {
            Msg::Log(Msg::Warning, refusal.id, name.c_str(), text);
            return 0;
        }
        item = created.get();
        items.emplace(t->hsz2, item);
        schedule.emplace(item->key, item);
        created.release();
    }

    // A client may start an advise loop on an item it already advises; DDEML passes that on.
    // The conversation holds one reference per item, so that its advise stop or disconnect
    // gives back exactly what it took.
    std::set<HSZ>& advised = conversations[t->conv];
    if (advised.insert(t->hsz2).second)
        ++item->refCount;
    return 1;
}

HDDEDATA FAM3DdeServer::AdviseRequest(const DdeTransaction* t)
{
    const auto found = items.find(t->hsz2);
    return found == items.end() ? nullptr : found->second->holder->GetDataHandle();
}

HDDEDATA FAM3DdeServer::Request(const DdeTransaction* t)
{
    const auto found = items.find(t->hsz2);
    if (found != items.end())
        return found->second->holder->GetDataHandle();
    // Nobody advises the item, so it is not read from the PLC and has no value.
    static const char nothing[] = "#NOTHING";
    return Dde::CreateDataHandle(nothing, sizeof nothing, 0, t->hsz2, CF_TEXT, 0);
}

int FAM3DdeServer::AdviseStop(const DdeTransaction* t)
{
    const auto conversation = conversations.find(t->conv);
    if (conversation == conversations.end())
        return 1;
    // The conversation's entry stays, even when its set is now empty.
    if (conversation->second.erase(t->hsz2) != 0)
        Release(t->hsz2);
    return 1;
}

int FAM3DdeServer::Disconnect(const DdeTransaction* t)
{
    const auto conversation = conversations.find(t->conv);
    if (conversation == conversations.end())
        return 1;
    for (HSZ hsz : conversation->second)
        Release(hsz);
    conversations.erase(conversation);
    return 1;
}

void FAM3DdeServer::Release(HSZ hsz)
{
    const auto found = items.find(hsz);
    if (found == items.end())
        return;
    DdeItem* item = found->second;
    if (--item->refCount > 0)
        return;
    const auto range = schedule.equal_range(item->key);
    for (auto entry = range.first; entry != range.second; ++entry) {
        if (entry->second == item) {
            schedule.erase(entry);
            break;
        }
    }
    items.erase(found);
    delete item;
}

} // namespace fam3
