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
#define KOMVAS_NO_HOLDER(factory, holder)                                                          \
    POSTBASEPTR factory(HSZ, HSZ)                                                                  \
    {                                                                                              \
        std::fputs("no value holders in this test program: " #factory " called\n", stderr);        \
        std::abort();                                                                              \
    }
KOMVAS_HOLDER_FACTORIES(KOMVAS_NO_HOLDER)
#undef KOMVAS_NO_HOLDER
} // namespace fam3
