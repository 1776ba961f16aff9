// The host build has no DDE and so no value holders: every factory of the type tables makes
// none. Tests of the item names compare the rows, never call them.
#include "item/type_table.h"

namespace fam3 {
#define KOMVAS_NO_HOLDER(name) \
    POSTBASEPTR name(HSZ, HSZ) { return nullptr; }
KOMVAS_NO_HOLDER(newBrdWord)
KOMVAS_NO_HOLDER(newBrdDWord)
KOMVAS_NO_HOLDER(newBrdFloat)
KOMVAS_NO_HOLDER(newBrdBasicInt)
KOMVAS_NO_HOLDER(newBrdBasicLong)
KOMVAS_NO_HOLDER(newBrdBasicFloat)
KOMVAS_NO_HOLDER(newBrdBasicDouble)
KOMVAS_NO_HOLDER(newWrdWord)
KOMVAS_NO_HOLDER(newWrdDWord)
KOMVAS_NO_HOLDER(newWrdFloat)
KOMVAS_NO_HOLDER(newWrdBasicInt)
KOMVAS_NO_HOLDER(newWrdBasicLong)
KOMVAS_NO_HOLDER(newWrdBasicFloat)
KOMVAS_NO_HOLDER(newWrdBasicDouble)
} // namespace fam3
