#include "item/type_table.h"

namespace fam3 {

const TypeEntry bitTypeTable[BitTypeCount] = {
    {"B", 1, newBrdWord},
    {"W", 16, newBrdWord},
    {"L", 32, newBrdDWord},
    {"F", 32, newBrdFloat},
    {"INT", 16, newBrdBasicInt},
    {"LONG", 32, newBrdBasicLong},
    {"FLOAT", 32, newBrdBasicFloat},
    {"DOUBLE", 64, newBrdBasicDouble},
};

const TypeEntry wordTypeTable[WordTypeCount] = {
    {"W", 2, newWrdWord},
    {"L", 4, newWrdDWord},
    {"F", 4, newWrdFloat},
    {"INT", 2, newWrdBasicInt},
    {"LONG", 4, newWrdBasicLong},
    {"FLOAT", 4, newWrdBasicFloat},
    {"DOUBLE", 8, newWrdBasicDouble},
};

} // namespace fam3
