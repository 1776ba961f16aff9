#include "item/post_base.h"

#include "dde/dde.h"
#include "item/item_name.h"
#include "resources/message_ids.h"

namespace fam3 {

PostBase::PostBase(HSZ topic, HSZ item) : topic(topic), item(item)
{
    if (!Dde::KeepStringHandle(item))
        throw DdeItemException(msgid::ItemNameUnobtainable);
}

PostBase::~PostBase() { Dde::FreeStringHandle(item); }

} // namespace fam3
