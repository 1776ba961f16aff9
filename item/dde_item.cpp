#include "item/dde_item.h"

#include "item/item_name.h"
#include "shell/msg.h"
#include "value/post_data.h"

namespace fam3 {

std::int32_t DdeItem::liveCount = 0;

DdeItem::DdeItem(HSZ topic, HSZ item, const char* name) : refCount(0)
{
    const ItemSpec spec = convertItemName(name);
    cpu = spec.cpu;
    device = spec.device;
    address = spec.address;
    startOffset = spec.startOffset;
    if (spec.type != nullptr)
        holder = spec.type->factory(topic, item);
    else if (spec.kind == 1)
        holder.reset(new PostData_BRD_STRING(topic, item));
    else
        holder.reset(new PostData_WRD_STRING(topic, item));
    endOffset = startOffset + spec.span;
    key = spec.key;

    ++liveCount;
    Msg::Log(Msg::Info, 221, liveCount);
}

DdeItem::~DdeItem()
{
    --liveCount;
    Msg::Log(Msg::Info, 227, liveCount);
}

} // namespace fam3
