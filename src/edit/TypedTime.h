// Times as people type them where a program takes a time (a command line's START, END and
// piece lengths, a list of cut points), read by one parser so that every place accepts the same.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace pelcato {

// The milliseconds of a typed time, or no value when the text is none of these forms:
//
//   90500          whole milliseconds (any number of digits)
//   500ms          the same with its unit
//   90s  90.5s     seconds, with a decimal fraction
//   1:30           minutes and seconds
//   1:02:03.5      hours, minutes and seconds
//   00:01:00.000   the same with leading zeros; the window's time code 000:00:00.000 is one
//
// In the forms with colons the first field has any number of digits, each later field one or
// two digits from 0 to 59, and the seconds may have a decimal fraction. A fraction of more
// than three digits is rounded to the nearest millisecond. Blanks around the text are allowed;
// signs, blanks inside it, and times beyond INT64_MAX milliseconds are not.
std::optional<int64_t> ParseTypedTime(std::string_view text);

// The forms above in a few words, for the message that refuses a time:
// "1:30, 1:02:03.5, 000:01:02.500, 90.5s or whole milliseconds such as 90500".
extern const char* const kTypedTimeForms;

}  // namespace pelcato
