// The pure library's type tables name the holder factories, which live with the value holders
// in the Windows-only library. Test programs of the pure library (unit tests, fuzz replays, in
// both builds) link these stand-ins instead: tests of the item names compare the rows, never
// call them. A stand-in cannot return even an empty POSTBASEPTR, because its destructor needs
// the complete holder class, which the pure library never sees; so one that is called stops
// the program.
#include <cstdio>
#include <cstdlib>

#include "item/type_table.h"

namespace fam3 {
#define KOMVAS_NO_HOLDER(name)                                                          \
    POSTBASEPTR name(HSZ, HSZ)                                                          \
    {                                                                                   \
        std::fputs("no value holders in this test program: " #name " called\n", stderr); \
        std::abort();                                                                   \
    }
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
