// Time codes: the text form "000:00:00.000" (hours, minutes, seconds, milliseconds) of a
// millisecond count, as the windows show positions and lengths and as the user types them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pelcato {

// The time code of a count: three-digit hours (more digits from 1000 hours on, never cut),
// two-digit minutes and seconds, three-digit milliseconds. A negative count gets a leading "-".
std::string FormatTimeCode(int64_t ms);

// Repairs a typed time code as the masked edit gives it back (blanks in unfilled places): a
// tens digit of minutes or seconds above 5 becomes 5, and every blank becomes 0. Only the first
// 13 characters are kept.
std::string NormalizeTimeCode(std::string_view text);

// The count a time code denotes. Fields are read at their fixed places (hours 1-3, minutes
// 5-6, seconds 8-9, milliseconds 11-13, counted from 1) at face value, without upper limits;
// a field that is not a decimal number, or lies beyond the end of the text, counts as 0.
int64_t ParseTimeCode(std::string_view text);

// Reads a whole decimal integer: optional leading blanks, an optional sign, one or more digits
// and nothing else. False (value untouched) for anything else or on overflow.
bool ParseDecimal(std::string_view text, int64_t& value);

}  // namespace pelcato
