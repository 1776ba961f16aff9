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

// Holder factories, one per table row ("B" and "W" of bit devices share one).
POSTBASEPTR newBrdWord(HSZ topic, HSZ item);
POSTBASEPTR newBrdDWord(HSZ topic, HSZ item);
POSTBASEPTR newBrdFloat(HSZ topic, HSZ item);
POSTBASEPTR newBrdBasicInt(HSZ topic, HSZ item);
POSTBASEPTR newBrdBasicLong(HSZ topic, HSZ item);
POSTBASEPTR newBrdBasicFloat(HSZ topic, HSZ item);
POSTBASEPTR newBrdBasicDouble(HSZ topic, HSZ item);
POSTBASEPTR newWrdWord(HSZ topic, HSZ item);
POSTBASEPTR newWrdDWord(HSZ topic, HSZ item);
POSTBASEPTR newWrdFloat(HSZ topic, HSZ item);
POSTBASEPTR newWrdBasicInt(HSZ topic, HSZ item);
POSTBASEPTR newWrdBasicLong(HSZ topic, HSZ item);
POSTBASEPTR newWrdBasicFloat(HSZ topic, HSZ item);
POSTBASEPTR newWrdBasicDouble(HSZ topic, HSZ item);

} // namespace fam3
