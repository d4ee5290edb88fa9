#include "edit/TimeCode.h"

#include <charconv>
#include <limits>

namespace pelcato {
namespace {

constexpr int64_t kMsPerHour = 3'600'000;
constexpr int64_t kMsPerMinute = 60'000;
constexpr int64_t kMsPerSecond = 1'000;

// The number in decimal, with zeros in front up to width digits; longer numbers stay whole.
void AppendPadded(std::string& out, uint64_t n, size_t width) {
  const std::string digits = std::to_string(n);
  if (digits.size() < width) out.append(width - digits.size(), '0');
  out += digits;
}

// The field at 1-based place from..from+len-1; whatever of it lies inside the text.
int64_t FieldAt(std::string_view text, size_t from, size_t len) {
  if (text.size() < from) return 0;
  int64_t value = 0;
  return ParseDecimal(text.substr(from - 1, len), value) ? value : 0;
}

// A tens digit of minutes or seconds that reads 6 or more is capped at 5.
char CapTens(char c) {
  return c >= '6' && c <= '9' ? '5' : c;
}

}  // namespace

bool ParseDecimal(std::string_view text, int64_t& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  uint64_t magnitude = 0;
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  const auto [end, ec] = std::from_chars(first, last, magnitude);
  if (ec != std::errc() || end != last) return false;
  const uint64_t limit = uint64_t(std::numeric_limits<int64_t>::max()) + (negative ? 1 : 0);
  if (magnitude > limit) return false;
  value = negative ? int64_t(0 - magnitude) : int64_t(magnitude);
  return true;
}

std::string FormatTimeCode(int64_t ms) {
  std::string out;
  // Counts are never negative in use; show one readably rather than as garbled fields.
  uint64_t rest = uint64_t(ms);
  if (ms < 0) {
    out += '-';
    rest = 0 - rest;
  }
  const uint64_t hours = rest / kMsPerHour;
  rest -= hours * kMsPerHour;
  const uint64_t minutes = rest / kMsPerMinute;
  rest -= minutes * kMsPerMinute;
  const uint64_t seconds = rest / kMsPerSecond;
  const uint64_t millis = rest % kMsPerSecond;
  AppendPadded(out, hours, 3);
  out += ':';
  AppendPadded(out, minutes, 2);
  out += ':';
  AppendPadded(out, seconds, 2);
  out += '.';
  AppendPadded(out, millis, 3);
  return out;
}

std::string NormalizeTimeCode(std::string_view text) {
  std::string out(text.substr(0, 13));
  if (out.size() >= 5) out[4] = CapTens(out[4]);
  if (out.size() >= 8) out[7] = CapTens(out[7]);
  for (char& c : out) {
    if (c == ' ') c = '0';
  }
  return out;
}

int64_t ParseTimeCode(std::string_view text) {
  const int64_t hours = FieldAt(text, 1, 3);
  const int64_t minutes = FieldAt(text, 5, 2);
  const int64_t seconds = FieldAt(text, 8, 2);
  const int64_t millis = FieldAt(text, 11, 3);
  return (hours * 3600 + minutes * 60 + seconds) * 1000 + millis;
}

}  // namespace pelcato
