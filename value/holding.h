#pragma once
// What a value holder does with new data and status codes, apart from telling DDE: decode,
// compare, store, and say whether clients must be told; and the text the holder shows. The
// Windows holders (value/post_data.h) add only the advise notification and the data handle.
// Pure logic, no Windows API.
#include <cstdint>
#include <string>
#include <utility>

#include "value/dde_text.h"
#include "value/value_types.h"

namespace fam3 {

enum class DataOutcome {
    Unchanged,   // same value with status 0: nothing to post
    Changed,     // value and status 0 stored: post an advise notification
    NotANumber,  // a NaN reading: nothing stored; the holder sets StatusNotANumber, posting if new
};

// Takes the data of a read answer into `value` and `status` of an array policy A.
template<class A>
DataOutcome acceptData(typename A::Value& value, std::int32_t& status, const unsigned char* data,
                       unsigned size)
{
    typename A::Value fresh = A::decode(data, size);
    if (A::Type::isNaN(fresh))
        return DataOutcome::NotANumber;
    if (status == StatusValid && A::Type::same(value, fresh))
        return DataOutcome::Unchanged;
    status = StatusValid;
    // The new text of a string is exchanged with the stored one, never copied.
    using std::swap;
    swap(value, fresh);
    return DataOutcome::Changed;
}

// Stores a status code; true when it differs from the stored one and so must be posted. The
// value stays, so that status 0 shows it again.
inline bool acceptStatus(std::int32_t& status, std::int32_t code)
{
    if (status == code)
        return false;
    status = code;
    return true;
}

// The text of `value` and `status`: the value for status 0, the status marker otherwise.
template<class A>
std::string renderText(const typename A::Value& value, std::int32_t status)
{
    return status == StatusValid ? A::Type::text(value) : statusText(status);
}

} // namespace fam3
