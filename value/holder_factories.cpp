// The holder factories of the type tables: one per row, each making its row's holder.
#include "item/type_table.h"
#include "value/post_data.h"

namespace fam3 {

#define KOMVAS_DEFINE_HOLDER_FACTORY(factory, holder)                                              \
    POSTBASEPTR factory(HSZ topic, HSZ item)                                                       \
    {                                                                                              \
        return POSTBASEPTR(new holder(topic, item));                                               \
    }
KOMVAS_HOLDER_FACTORIES(KOMVAS_DEFINE_HOLDER_FACTORY)
#undef KOMVAS_DEFINE_HOLDER_FACTORY

} // namespace fam3
