#include "edit/TypedTime.h"

#include <limits>

namespace pelcato {
namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A run of one or more digits at the front of text, taken off it; false for none or overflow.
bool TakeNumber(std::string_view& text, int64_t& value, size_t& digits) {
  value = 0;
  digits = 0;
  while (digits < text.size() && IsDigit(text[digits])) {
    const int d = text[digits] - '0';
    if (value > (kMax - d) / 10) return false;
    value = value * 10 + d;
    ++digits;
  }
  text.remove_prefix(digits);
  return digits > 0;
}

// A decimal fraction behind a point (the point taken already) in milliseconds, rounded; the
// digits are taken off text.
bool TakeFraction(std::string_view& text, int64_t& ms) {
  size_t digits = 0;
  int64_t scaled = 0;  // the first four digits, as ten-thousandths
  for (; digits < text.size() && IsDigit(text[digits]); ++digits) {
    if (digits < 4) scaled = scaled * 10 + (text[digits] - '0');
  }
  if (digits == 0) return false;
  for (size_t d = digits; d < 4; ++d) scaled *= 10;
  // Half a millisecond and more rounds up; digits beyond the fourth cannot change that but
  // for an exact half, which rounds up anyway.
  ms = (scaled + 5) / 10;
  text.remove_prefix(digits);
  return true;
}

bool Add(int64_t& total, int64_t value, int64_t unit) {
  int64_t scaled = 0;
  return !__builtin_mul_overflow(value, unit, &scaled) &&
         !__builtin_add_overflow(total, scaled, &total);
}

}  // namespace

const char* const kTypedTimeForms =
    "1:30, 1:02:03.5, 000:01:02.500, 90.5s or whole milliseconds such as 90500";

std::optional<int64_t> ParseTypedTime(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  int64_t first = 0;
  size_t digits = 0;
  if (!TakeNumber(text, first, digits)) return std::nullopt;
  if (text.empty()) return first;  // whole milliseconds
  if (text == "ms") return first;
  int64_t total = 0;
  if (text.front() != ':') {
    // Seconds with a unit.
    int64_t fraction = 0;
    if (text.front() == '.') {
      text.remove_prefix(1);
      if (!TakeFraction(text, fraction)) return std::nullopt;
    }
    if (text != "s" || !Add(total, first, 1000) || !Add(total, fraction, 1)) return std::nullopt;
    return total;
  }
  // Fields behind colons: minutes and seconds, or hours, minutes and seconds.
  int64_t fields[3] = {first, 0, 0};
  int count = 1;
  while (!text.empty() && text.front() == ':' && count < 3) {
    text.remove_prefix(1);
    if (!TakeNumber(text, fields[count], digits) || digits > 2 || fields[count] > 59) {
      return std::nullopt;
    }
    ++count;
  }
  int64_t fraction = 0;
  if (!text.empty() && text.front() == '.') {
    text.remove_prefix(1);
    if (!TakeFraction(text, fraction)) return std::nullopt;
  }
  if (!text.empty()) return std::nullopt;
  const int64_t hours = count == 3 ? fields[0] : 0;
  const int64_t minutes = fields[count - 2];
  const int64_t seconds = fields[count - 1];
  if (!Add(total, hours, 3'600'000) || !Add(total, minutes, 60'000) || !Add(total, seconds, 1000) ||
      !Add(total, fraction, 1)) {
    return std::nullopt;
  }
  return total;
}

}  // namespace pelcato
