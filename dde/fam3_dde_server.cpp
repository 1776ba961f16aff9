#include "dde/fam3_dde_server.h"

#include <cstring>
#include <memory>
#include <utility>

#include "item/item_name.h"
#include "resources/message_ids.h"
#include "shell/msg.h"
#include "value/dde_text.h"

namespace fam3 {

namespace {

// DDE clients get at most this many characters of an item name through; the grammar needs no
// more.
const DWORD ItemNameBuffer = 19;

// A node of a container of type C that holds the value made of `args`, detached from any
// container. Making it is the only step that allocates; linking it into another C later cannot
// fail.
template <class C, class... Args>
typename C::node_type DetachedNode(Args&&... args)
{
    C staging;
    staging.emplace(std::forward<Args>(args)...);
    return staging.extract(staging.begin());
}

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
    // No exception may leave a DDE transaction. Register changes nothing until it cannot fail
    // any more, so a refusal here leaves the topic as it was.
    try {
        return Register(t);
    } catch (...) {
        return 0;
    }
}

int FAM3DdeServer::Register(const DdeTransaction* t)
{
    const auto found = items.find(t->hsz2);
    const bool newItem = found == items.end();
    char text[ItemNameBuffer] = {0};
    if (newItem && Dde::QueryString(t->hsz2, text, ItemNameBuffer) == 0) {
        Msg::Log(Msg::Warning, msgid::ItemNameUnobtainable, name.c_str());
        return 0;
    }

    // Every allocation comes first: the nodes that will link the item into `items`, `schedule`
    // and the conversation's set, then the item itself. Only when all of them exist are the
    // nodes linked in, which allocates nothing and cannot fail. A failure on the way releases
    // what was made: the topic's containers and reference counts stay as they were, and an item
    // that was never registered has logged neither 221 nor 227.
    std::map<HSZ, DdeItem*>::node_type itemNode;
    Schedule::node_type scheduleNode;
    if (newItem) {
        itemNode = DetachedNode<std::map<HSZ, DdeItem*>>(t->hsz2, nullptr);
        scheduleNode = DetachedNode<Schedule>(0, nullptr);
    }

    // A client may start an advise loop it already has; DDEML passes that on. The conversation
    // holds one reference per loop (item and format), so that its advise stop or disconnect
    // gives back exactly what it took.
    const Loop loop(t->hsz2, t->format);
    const auto conversation = conversations.find(t->conv);
    const bool newConversation = conversation == conversations.end();
    const bool newlyAdvised = newConversation || conversation->second.count(loop) == 0;
    Conversations::node_type conversationNode;
    std::set<Loop>::node_type advisedNode;
    if (newConversation)
        conversationNode = DetachedNode<Conversations>(t->conv, std::set<Loop>{loop});
    else if (newlyAdvised)
        advisedNode = DetachedNode<std::set<Loop>>(loop);

    std::unique_ptr<DdeItem> created;
    if (newItem) {
        try {
            created.reset(new DdeItem(t->hsz1, t->hsz2, text));
        } catch (const DdeItemException& refusal) {
            Msg::Log(Msg::Warning, refusal.id, name.c_str(), text);
            return 0;
        }
    }

    // From here on nothing fails.
    DdeItem* item;
    if (newItem) {
        item = created.release();
        itemNode.mapped() = item;
        items.insert(std::move(itemNode));
        scheduleNode.key() = item->key;
        scheduleNode.mapped() = item;
        schedule.insert(std::move(scheduleNode));  // behind the items of an equal key
    } else {
        item = found->second;
    }
    if (newConversation)
        conversations.insert(std::move(conversationNode));
    else if (newlyAdvised)
        conversation->second.insert(std::move(advisedNode));
    if (newlyAdvised)
        ++item->refCount;
    return 1;
}

HDDEDATA FAM3DdeServer::AdviseRequest(const DdeTransaction* t)
{
    // Wine's DdePostAdvise asks every conversation that advises an item of the same name,
    // whatever its topic, and names the posting topic: only this topic's own loops get its
    // values.
    const auto conversation = conversations.find(t->conv);
    if (conversation == conversations.end() ||
        conversation->second.count(Loop(t->hsz2, t->format)) == 0)
        return nullptr;
    const auto found = items.find(t->hsz2);
    return found == items.end() ? nullptr : found->second->holder->GetDataHandle();
}

HDDEDATA FAM3DdeServer::Request(const DdeTransaction* t)
{
    const auto found = items.find(t->hsz2);
    if (found != items.end())
        return found->second->holder->GetDataHandle();
    // Nobody advises the item, so it is not read from the PLC and has no value.
    const DWORD size = static_cast<DWORD>(std::strlen(fam3::NothingText) + 1);
    return Dde::CreateDataHandle(fam3::NothingText, size, 0, t->hsz2, CF_TEXT, 0);
}

int FAM3DdeServer::AdviseStop(const DdeTransaction* t)
{
    const auto conversation = conversations.find(t->conv);
    if (conversation == conversations.end())
        return 1;
    // The conversation's entry stays, even when its set is now empty.
    if (conversation->second.erase(Loop(t->hsz2, t->format)) != 0)
        Release(t->hsz2);
    return 1;
}

int FAM3DdeServer::Disconnect(const DdeTransaction* t)
{
    const auto conversation = conversations.find(t->conv);
    if (conversation == conversations.end())
        return 1;
    for (const Loop& loop : conversation->second)
        Release(loop.first);
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
