#pragma once
// The sixteen value holders: fam3::PostData over an array policy (BrdArray for bit devices,
// WrdArray for word devices) of one of the eight value types. Each keeps its item's last value
// and status code, posts an advise notification when what clients see changes, and renders
// the value or status as CF_TEXT. The decisions are those of value/holding.h.
#include <cstdint>
#include <string>

#include "dde/dde.h"
#include "item/post_base.h"
#include "value/holding.h"
#include "value/value_types.h"

namespace fam3 {

template<class A>
class PostData : public PostBase {
public:
    // Value zero (or the empty text), StatusEmpty. Only the PostBase part can fail (214).
    PostData(HSZ topic, HSZ item) : PostBase(topic, item), value(), status(StatusEmpty) {}

    ~PostData() override = default;

    void SetData(const unsigned char* data, unsigned size) override
    {
        DataOutcome outcome;
        try {
            outcome = acceptData<A>(value, status, data, size);
        } catch (...) {
            // Only a string's memory can run out; the holder keeps what it had.
            return;
        }
        switch (outcome) {
        case DataOutcome::Changed:
            // Value and status are stored already: DDEML asks this holder for its text from
            // within the post (XTYP_ADVREQ, once per advise loop).
            Dde::PostAdvise(topic, item);
            break;
        case DataOutcome::NotANumber:
            this->SetStatus(StatusNotANumber);
            break;
        case DataOutcome::Unchanged:
            break;
        }
    }

    void SetStatus(int code) override
    {
        if (acceptStatus(status, code))
            Dde::PostAdvise(topic, item);
    }

    // A new handle on every call; the text's NUL is part of the data. DDEML takes the handle
    // over when the callback returns it. Null when no handle can be made.
    HDDEDATA GetDataHandle() override
    {
        try {
            const std::string text = renderText<A>(value, status);
            return Dde::CreateDataHandle(text.c_str(), static_cast<DWORD>(text.size() + 1), 0,
                                         item, CF_TEXT, 0);
        } catch (...) {
            return nullptr;
        }
    }

private:
    typename A::Value value;
    std::int32_t status;
};

typedef PostData<BrdArray<BasicStringType> > PostData_BRD_STRING;
typedef PostData<BrdArray<WordType> > PostData_BRD_WORD;
typedef PostData<BrdArray<DWordType> > PostData_BRD_DWORD;
typedef PostData<BrdArray<FloatType> > PostData_BRD_FLOAT;
typedef PostData<BrdArray<BasicIntType> > PostData_BRD_BASICINT;
typedef PostData<BrdArray<BasicLongType> > PostData_BRD_BASICLONG;
typedef PostData<BrdArray<BasicFloatType> > PostData_BRD_BASICFLOAT;
typedef PostData<BrdArray<BasicDoubleType> > PostData_BRD_BASICDOUBLE;
typedef PostData<WrdArray<BasicStringType> > PostData_WRD_STRING;
typedef PostData<WrdArray<WordType> > PostData_WRD_WORD;
typedef PostData<WrdArray<DWordType> > PostData_WRD_DWORD;
typedef PostData<WrdArray<FloatType> > PostData_WRD_FLOAT;
typedef PostData<WrdArray<BasicIntType> > PostData_WRD_BASICINT;
typedef PostData<WrdArray<BasicLongType> > PostData_WRD_BASICLONG;
typedef PostData<WrdArray<BasicFloatType> > PostData_WRD_BASICFLOAT;
typedef PostData<WrdArray<BasicDoubleType> > PostData_WRD_BASICDOUBLE;

} // namespace fam3
