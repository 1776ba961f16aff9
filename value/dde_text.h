#pragma once
// Numbers and status markers as the text that DDE clients receive. Pure logic, no Windows API.
#include <cstdint>
#include <string>

#include "item/status_codes.h"

namespace fam3 {

// Markers shown instead of a value.
constexpr const char* NaNText = "#NaN";
constexpr const char* TimeOutText = "#TMOUT";
constexpr const char* EmptyText = "#EMPTY";
constexpr const char* ErrorTextPrefix = "#ERR ";  // followed by the code in signed decimal
// What a request for an item that no conversation advises shows: it is not read, so it has no
// value.
constexpr const char* NothingText = "#NOTHING";
// What an empty string value shows.
constexpr const char* NullStringText = "(null)";

// Signed decimal, no grouping, no "+".
std::string formatInteger(std::int32_t value);

// General notation with 6 significant digits, exactly what a fresh output string stream with
// default flags and precision writes in the classic locale: 1.5, 123457, 1.23457e+06, 1e-05,
// inf, -inf. Single-precision values are widened to double before they come here.
std::string formatDouble(double value);

// The marker of a status code other than StatusValid: "#NaN", "#TMOUT", "#EMPTY", or "#ERR "
// followed by the code. Callers show the value itself for StatusValid.
std::string statusText(std::int32_t status);

} // namespace fam3
