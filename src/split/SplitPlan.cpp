#include "split/SplitPlan.h"

#include <cstdio>
#include <utility>

#include "io/Paths.h"

namespace pelcato {
namespace {

std::string BaseName(const std::string& source) {
  const size_t slash = source.find_last_of('/');
  std::string name = slash == std::string::npos ? source : source.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

std::string DateText(const std::tm& t) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02d%02d%02d", (t.tm_year + 1900) % 100, t.tm_mon + 1, t.tm_mday);
  return buf;
}

}  // namespace

int64_t SplitPieceMs(const TSplitRequest& r) {
  return int64_t(r.SplitHour) * 3'600'000 + int64_t(r.SplitMin) * 60'000 +
         int64_t(r.SplitSec) * 1'000 + r.SplitMs;
}

int BuildSplitRanges(const TSplitRequest& request, std::vector<int64_t>& starts,
                     std::vector<int64_t>& ends) {
  starts.clear();
  ends.clear();
  const int64_t duration = request.Duration;
  if (duration <= 0) return 0;
  if (request.SplitType == TSplitType::IntoParts) {
    const int n = request.SplitInto;
    if (n <= 0) return 0;
    const int64_t piece = duration / n;
    starts.reserve(size_t(n));
    ends.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
      starts.push_back(piece * i);
      ends.push_back(i == n - 1 ? duration : piece * (i + 1));
    }
    return n;
  }
  const int64_t piece = SplitPieceMs(request);
  if (piece <= 0) return 0;
  const int64_t count = (duration + piece - 1) / piece;
  if (count > int64_t(INT32_MAX)) return 0;
  starts.reserve(size_t(count));
  ends.reserve(size_t(count));
  for (int64_t position = 0; position < duration; position += piece) {
    starts.push_back(position);
    ends.push_back(position + piece >= duration ? duration : position + piece);
  }
  return int(starts.size());
}

std::string FormatPieceNumber(int64_t n) {
  std::string digits = std::to_string(n);
  if (n >= 0 && digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
  return digits;
}

std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  return t;
}

std::string MakeSplitFileName(const std::string& source, const std::string& folder,
                              const TLocalClock& clock) {
  return TSplitNamer(source, folder, clock).Next();
}

TSplitNamer::TSplitNamer(const std::string& source, const std::string& folder, TLocalClock clock)
    : FPrefix(JoinPath(folder, BaseName(source))), FClock(std::move(clock)) {}

std::string TSplitNamer::Next() {
  for (int64_t n = 1;; ++n) {
    const std::string date = DateText(FClock());
    if (date == FLastDate && n < FLastNumber) n = FLastNumber;
    std::string candidate = FPrefix + "-" + date + "-" + FormatPieceNumber(n) + ".mp3";
    if (!PathExists(candidate)) {
      FLastDate = date;
      FLastNumber = n;
      return candidate;
    }
  }
}

}  // namespace pelcato
