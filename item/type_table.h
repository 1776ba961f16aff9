#pragma once
// The data types an item name may ask for, one constant table per device kind. Each row names
// the type text, the span in the kind's unit (bits or bytes) and the factory of the value
// holder. The string type ("C" and a length) is not a row: the item makes its holder itself.
#include <cstdint>
#include <memory>

#include "item/hsz.h"

namespace fam3 {
class PostBase;
}

// The single owner of a value holder.
typedef std::unique_ptr<fam3::PostBase> POSTBASEPTR;

namespace fam3 {

typedef POSTBASEPTR (*HolderFactory)(HSZ topic, HSZ item);

struct TypeEntry {
    const char* name;
    std::uint32_t count;
    HolderFactory factory;
};

constexpr std::size_t BitTypeCount = 8;
constexpr std::size_t WordTypeCount = 7;
extern const TypeEntry bitTypeTable[BitTypeCount];
extern const TypeEntry wordTypeTable[WordTypeCount];

// The holder factories, one per table row ("B" and "W" of bit devices share one): each
// X(factory, holder class) names the function and the value holder it makes. The one list
// serves the declarations here, the definitions beside the holders (value/holder_factories.cpp)
// and the stand-ins of the test programs that have no holders.
#define KOMVAS_HOLDER_FACTORIES(X)                                                                 \
    X(newBrdWord, PostData_BRD_WORD)                                                               \
    X(newBrdDWord, PostData_BRD_DWORD)                                                             \
    X(newBrdFloat, PostData_BRD_FLOAT)                                                             \
    X(newBrdBasicInt, PostData_BRD_BASICINT)                                                       \
    X(newBrdBasicLong, PostData_BRD_BASICLONG)                                                     \
    X(newBrdBasicFloat, PostData_BRD_BASICFLOAT)                                                   \
    X(newBrdBasicDouble, PostData_BRD_BASICDOUBLE)                                                 \
    X(newWrdWord, PostData_WRD_WORD)                                                               \
    X(newWrdDWord, PostData_WRD_DWORD)                                                             \
    X(newWrdFloat, PostData_WRD_FLOAT)                                                             \
    X(newWrdBasicInt, PostData_WRD_BASICINT)                                                       \
    X(newWrdBasicLong, PostData_WRD_BASICLONG)                                                     \
    X(newWrdBasicFloat, PostData_WRD_BASICFLOAT)                                                   \
    X(newWrdBasicDouble, PostData_WRD_BASICDOUBLE)

#define KOMVAS_DECLARE_HOLDER_FACTORY(factory, holder) POSTBASEPTR factory(HSZ topic, HSZ item);
KOMVAS_HOLDER_FACTORIES(KOMVAS_DECLARE_HOLDER_FACTORY)
#undef KOMVAS_DECLARE_HOLDER_FACTORY

} // namespace fam3
