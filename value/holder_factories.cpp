// The holder factories of the type tables: one per row, each making its row's holder.
#include "item/type_table.h"
#include "value/post_data.h"

namespace fam3 {

POSTBASEPTR newBrdWord(HSZ topic, HSZ item)
{
    return POSTBASEPTR(new PostData_BRD_WORD(topic, item));
}

POSTBASEPTR newBrdDWord(HSZ topic, HSZ item)
{
    return POSTBASEPTR(new PostData_BRD_DWORD(topic, item));
}

POSTBASEPTR newBrdFloat(HSZ topic, HSZ item)
{
    return POSTBASEPTR(new PostData_BRD_FLOAT(topic, item));
}

POSTBASEPTR newBrdBasicInt(HSZ topic, HSZ item)
{
    return POSTBASEPTR(new PostData_BRD_BASICINT(topic, item));
}

POSTBASEPTR newBrdBasicLong(HSZ topic, HSZ item)
{
    return POSTBASEPTR(new PostData_BRD_BASICLONG(topic, item));
}

POSTBASEPTR newBrdBasicFloat(HSZ topic, HSZ item)
{
    return POSTBASEPTR(new PostData_BRD_BASICFLOAT(topic, item));
}

POSTBASEPTR newBrdBasicDouble(HSZ topic, HSZ item)
{
    return POSTBASEPTR(new PostData_BRD_BASICDOUBLE(topic, item));
}

POSTBASEPTR newWrdWord(HSZ topic, HSZ item)
{
    return POSTBASEPTR(new PostData_WRD_WORD(topic, item));
}

POSTBASEPTR newWrdDWord(HSZ topic, HSZ item)
{
    return POSTBASEPTR(new PostData_WRD_DWORD(topic, item));
}

POSTBASEPTR newWrdFloat(HSZ topic, HSZ item)
{
    return POSTBASEPTR(new PostData_WRD_FLOAT(topic, item));
}

POSTBASEPTR newWrdBasicInt(HSZ topic, HSZ item)
{
    return POSTBASEPTR(new PostData_WRD_BASICINT(topic, item));
}

POSTBASEPTR newWrdBasicLong(HSZ topic, HSZ item)
{
    return POSTBASEPTR(new PostData_WRD_BASICLONG(topic, item));
}

POSTBASEPTR newWrdBasicFloat(HSZ topic, HSZ item)
{
    return POSTBASEPTR(new PostData_WRD_BASICFLOAT(topic, item));
}

POSTBASEPTR newWrdBasicDouble(HSZ topic, HSZ item)
{
    return POSTBASEPTR(new PostData_WRD_BASICDOUBLE(topic, item));
}

} // namespace fam3
