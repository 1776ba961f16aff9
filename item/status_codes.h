#pragma once
// Status codes of a value holder, signed 32-bit. The link hands them to the items of a read
// command, the holders store them and the rendering shows their markers. Any code not named here
// is the PLC's own error code (1 to 255) from an error answer.
#include <cstdint>

namespace fam3 {

constexpr std::int32_t StatusValid = 0;           // a value has been read; it is shown
constexpr std::int32_t StatusEmpty = -1;          // no data yet ("#EMPTY")
constexpr std::int32_t StatusTimeOut = -2;        // the PLC left a read unanswered ("#TMOUT")
constexpr std::int32_t StatusUninterpreted = -3;  // an answer the link cannot interpret
constexpr std::int32_t StatusNotANumber = -4;     // a floating-point reading was NaN ("#NaN")

} // namespace fam3
