// Time codes from any text: repairing and reading never fail, a repaired 13-character code stays
// 13 characters, and every count of the range reads back from its own time code. The first
// eight bytes also give a count; the whole input is the typed text.
#include <cstring>
#include <string>
#include <string_view>

#include "FuzzFile.h"
#include "edit/TimeCode.h"

using namespace pelcato;

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// "ddd:Dd:Dd.ddd" with the tens of minutes and seconds at most 5.
bool IsPlainTimeCode(std::string_view t) {
  if (t.size() != 13 || t[3] != ':' || t[6] != ':' || t[9] != '.') return false;
  for (size_t i : {0, 1, 2, 4, 5, 7, 8, 10, 11, 12})
    if (!IsDigit(t[i])) return false;
  return t[4] <= '5' && t[7] <= '5';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const std::string normal = NormalizeTimeCode(text);
  fuzz::Check(normal.size() == std::min<size_t>(size, 13), "13 characters stay 13");
  fuzz::Check(normal.find(' ') == std::string::npos, "no blank left");
  fuzz::Check(NormalizeTimeCode(normal) == normal, "repairing twice changes nothing");
  for (size_t i = 0; i < normal.size(); ++i) {
    const bool tens = i == 4 || i == 7;
    const char typed = text[i] == ' ' ? '0' : text[i];
    fuzz::Check(normal[i] == typed || (tens && IsDigit(typed) && normal[i] == '5'),
                "only blanks and tens above 5 change");
  }

  const int64_t typed = ParseTimeCode(text);
  const int64_t repaired = ParseTimeCode(normal);
  // Three-digit fields, a sign at most: the count stays far inside 64 bits either way.
  fuzz::Check(typed >= -3'695'999'999 && typed <= 3'695'999'999, "typed count in range");
  if (IsPlainTimeCode(normal)) {
    fuzz::Check(repaired >= 0 && repaired <= 3'599'999'999, "repaired count in range");
    fuzz::Check(FormatTimeCode(repaired) == normal, "a repaired code is its count's code");
  }

  if (size >= 8) {
    uint64_t bits;
    std::memcpy(&bits, data, 8);
    const int64_t ms = int64_t(bits % 3'600'000'000ull);
    const std::string code = FormatTimeCode(ms);
    fuzz::Check(code.size() == 13, "a count of the range gives 13 characters");
    fuzz::Check(ParseTimeCode(code) == ms, "parse(format(x)) == x");
    fuzz::Check(NormalizeTimeCode(code) == code, "a formatted code needs no repair");
    // Any count at all, negative and beyond the range included, formats without fault.
    const std::string any = FormatTimeCode(int64_t(bits));
    fuzz::Check(any.size() >= 13, "any count formats");
  }
  return 0;
}
