#include "item/dde_item.h"

#include "item/item_name.h"
#include "resources/message_ids.h"
#include "shell/msg.h"
#include "value/post_data.h"

namespace fam3 {

std::int32_t DdeItem::liveCount = 0;

DdeItem::DdeItem(HSZ topic, HSZ item, const char* name) : refCount(0)
{
    const ConvertedName converted = convertItemName(name);
    cpu = converted.cpu;
    device = converted.device;
    address = converted.address;
    startOffset = converted.startOffset;
    if (converted.type != nullptr)
        holder = converted.type->factory(topic, item);
    else if (converted.kind == BitKind)
        holder.reset(new PostData_BRD_STRING(topic, item));
    else
        holder.reset(new PostData_WRD_STRING(topic, item));
    endOffset = startOffset + converted.span;
    key = converted.key;

    ++liveCount;
    Msg::Log(Msg::Info, msgid::Registered, liveCount);
}

DdeItem::~DdeItem()
{
    --liveCount;
    Msg::Log(Msg::Info, msgid::Deleted, liveCount);
}

} // namespace fam3
