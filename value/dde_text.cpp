#include "value/dde_text.h"

#include <locale>
#include <sstream>

// Integers in the classic form whatever the global locale: without this, lexical_cast inserts
// the global locale's thousands separators.
#define BOOST_LEXICAL_CAST_ASSUME_C_LOCALE
#include <boost/lexical_cast.hpp>

namespace fam3 {

std::string formatInteger(std::int32_t value)
{
    return boost::lexical_cast<std::string>(value);
}

std::string formatDouble(double value)
{
    // Not boost::lexical_cast: it picks the precision that restores the value exactly
    // (0.1f would show as 0.100000001), while clients expect the stream's default 6 digits.
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << value;
    return out.str();
}

std::string statusText(std::int32_t status)
{
    switch (status) {
    case StatusNotANumber:
        return NaNText;
    case StatusTimeOut:
        return TimeOutText;
    case StatusEmpty:
        return EmptyText;
    default:
        return ErrorTextPrefix + formatInteger(status);
    }
}

} // namespace fam3
