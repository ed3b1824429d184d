#pragma once
// Internal helpers of the VARIANT conversions, shared with the tests.
#include "platform/com/types.h"

#include <string>
#include <string_view>

namespace com::detail {

// Text -> number as VarR8FromStr: blanks around, sign, digits, point,
// exponent, or "&H"/"&O" integers. False for anything else.
bool ParseNumber(std::string_view s, double& out);
// "m/d/yyyy", "yyyy-mm-dd", either followed by a time, or a time alone
// ("h:mm[:ss] [AM|PM]"). False for anything else or out-of-range parts.
bool ParseDate(std::string_view s, DATE& out);
// "m/d/yyyy h:mm:ss AM"; the date alone when there is no time of day, the
// time alone when the day is 1899-12-30.
std::string FormatDate(DATE d);
// Up to `digits` significant digits, exponent as "1E+20" / "1.5E-05".
std::string FormatReal(double v, int digits);

} // namespace com::detail
