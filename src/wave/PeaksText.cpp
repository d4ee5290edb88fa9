#include "wave/PeaksText.h"

#include <charconv>
#include <cmath>
#include <vector>

namespace pelcato {
namespace {

// Fixed to a number of decimals with the zeros behind them dropped; never "-0".
void Append(std::string& out, double value, int decimals) {
  if (!std::isfinite(value)) value = 0.0;
  char buf[64];
  const auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (ec != std::errc()) {
    out += '0';
    return;
  }
  std::string_view text(buf, size_t(end - buf));
  if (text.find('.') != std::string_view::npos) {
    while (text.back() == '0') text.remove_suffix(1);
    if (text.back() == '.') text.remove_suffix(1);
  }
  if (text == "-0") text = "0";
  out += text;
}

// Samples to 1/10000 of full scale (16-bit samples step by 1/32768), levels to 1/100 dB.
constexpr int kSampleDecimals = 4;
constexpr int kLevelDecimals = 2;

void AppendArray(std::string& out, const char* name, const std::vector<float>& values,
                 int decimals) {
  out += ", \"";
  out += name;
  out += "\": [";
  for (size_t i = 0; i < values.size(); ++i) {
    if (i) out += ", ";
    Append(out, values[i], decimals);
  }
  out += ']';
}

}  // namespace

std::string PeaksText(const TEnvelope& env) {
  std::string out = "time_ms\tmin\tmax\trms_db\n";
  for (size_t c = 0; c < size_t(env.Width); ++c) {
    Append(out, env.FromMs + double(c) * env.MsPerColumn, 3);
    out += '\t';
    Append(out, env.Min[c], kSampleDecimals);
    out += '\t';
    Append(out, env.Max[c], kSampleDecimals);
    out += '\t';
    Append(out, env.RmsDb[c], kLevelDecimals);
    out += '\n';
  }
  return out;
}

std::string PeaksJson(const TEnvelope& env) {
  std::string out = "{\"width\": " + std::to_string(env.Width) + ", \"ms_per_column\": ";
  Append(out, env.MsPerColumn, 6);
  AppendArray(out, "min", env.Min, kSampleDecimals);
  AppendArray(out, "max", env.Max, kSampleDecimals);
  AppendArray(out, "rms_db", env.RmsDb, kLevelDecimals);
  out += "}\n";
  return out;
}

}  // namespace pelcato
