// pelcato-cli info: the stream facts, the ID3v1 tag and what the ID3v2 tag holds of a file, as
// lines or as one JSON object.
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "mp3/Mpg123Player.h"
#include "mp3/XingFrame.h"
#include "tags/Id3v2Summary.h"
#include "text/Text.h"

namespace pelcato {
namespace {

using TValue = std::variant<std::string, int64_t, bool, double, std::vector<std::string>>;
using TFacts = std::vector<std::pair<std::string, TValue>>;

const char* ChannelModeName(int mode) {
  static const char* const kNames[4] = {"stereo", "joint stereo", "dual channel", "mono"};
  return kNames[mode & 3];
}

// The average bit rate of the frames a cut copies, in kbit/s, when they do not share one bit
// rate; no value otherwise. Throws EFileError when the file cannot be read.
std::optional<int64_t> AverageBitrate(TKorvaMP3& mp3) {
  int64_t bytes = 0;
  double ms = 0.0;
  bool oneRate = true;
  uint16_t firstRate = 0;
  mp3.WalkFrames([&](const TKorvaMP3::TFrameSpan& f) {
    const uint16_t rate = RateKey(f.Header);
    if (bytes == 0) firstRate = rate;
    oneRate = oneRate && rate == firstRate;
    bytes += f.Bytes;
    ms += f.Ms;
  });
  if (oneRate || ms <= 0) return std::nullopt;
  return std::llround(double(bytes) * 8.0 / ms);  // bits per millisecond: kbit/s
}

TFacts CollectFacts(TKorvaMP3& mp3) {
  const TMp3DataInfo& i = mp3.Info;
  TFacts f = {
      {"FileName", i.FileName},
      {"FileSize", i.FileSize},
      {"Valid", i.Valid},
      {"MciOk", i.MciOk},
      {"MciError", i.MciError},
      {"Bitrate", int64_t(i.Bitrate)},
      {"SampleRate", int64_t(i.SampleRate)},
      {"FrameSize", int64_t(i.FrameSize)},
      {"Version", i.Version},
      {"Layer", int64_t(i.Layer)},
      {"Padding", int64_t(i.Padding)},
      {"Mono", i.Mono},
      {"HasXing", i.HasXing},
      {"ID3v1Size", int64_t(i.ID3v1Size)},
      {"ID3v2Size", int64_t(i.ID3v2Size)},
      {"ApeSize", int64_t(i.ApeSize)},
      {"ID3v2Padding", int64_t(i.ID3v2Padding)},
      {"Duration", i.Duration},
      {"ComputedDuration", mp3.ComputedDuration},
  };
  if (i.Valid) {
    f.emplace_back("ChannelMode", std::string(ChannelModeName(i.ChannelMode)));
    f.emplace_back("HeaderFrame", std::string(HeaderTagName(i.HeaderTag)));
    std::optional<int64_t> average;
    try {
      average = AverageBitrate(mp3);
    } catch (const std::exception&) {
    }
    if (average) f.emplace_back("AverageBitrate", *average);
  } else {
    f.emplace_back("InvalidReason", i.InvalidReason);
  }
  if (i.ID3v1Size > 0) {
    const TTagCodePage cp = TagCodePageFromEnvironment();
    const TID3v1Tag& t = i.Tag;
    auto text = [&](const char* field, size_t width) {
      return TValue(TagTextToUtf8(FieldText(field, width), cp));
    };
    f.emplace_back("Title", text(t.Title, sizeof t.Title));
    f.emplace_back("Artist", text(t.Artist, sizeof t.Artist));
    f.emplace_back("Album", text(t.Album, sizeof t.Album));
    f.emplace_back("Year", text(t.Year, sizeof t.Year));
    f.emplace_back("Comment", text(t.Comment, sizeof t.Comment));
    f.emplace_back("Track", int64_t(t.Track));
    f.emplace_back("Genre", int64_t(t.Genre));
    f.emplace_back("GenreName", std::string(GenreName(t.Genre)));
  }
  // The version and the frame ids as they stand in the tag, up to where TagLib could read it.
  std::vector<uint8_t> tag;
  try {
    tag = mp3.ReadID3v2Tag();
  } catch (const std::exception&) {
  }
  if (const auto s = SummarizeId3v2(tag.data(), tag.size())) {
    f.emplace_back("ID3v2Version", s->Version);
    f.emplace_back("ID3v2Frames", s->Frames);
  }
  return f;
}

std::string PlainText(const TValue& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  if (const auto* n = std::get_if<int64_t>(&v)) return std::to_string(*n);
  if (const auto* b = std::get_if<bool>(&v)) return *b ? "true" : "false";
  if (const auto* d = std::get_if<double>(&v)) return NumberText(*d);
  std::string words;
  for (const std::string& w : std::get<std::vector<std::string>>(v)) {
    words += (words.empty() ? "" : " ") + w;
  }
  return words;
}

}  // namespace

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      switch (c) {
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '\b':
          out += "\\b";
          break;
        case '\f':
          out += "\\f";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        default:
          if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
          } else {
            out += char(c);
          }
      }
      ++i;
      continue;
    }
    if (const size_t len = Utf8CharLength(p + i, n - i); len != 0) {
      out.append(s, i, len);
      i += len;
    } else {
      out += "\\ufffd";
      ++i;
    }
  }
  return out + "\"";
}

namespace {

std::string JsonValue(const TValue& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return JsonString(*s);
  if (const auto* list = std::get_if<std::vector<std::string>>(&v)) {
    std::string out = "[";
    for (size_t i = 0; i < list->size(); ++i) out += (i ? ", " : "") + JsonString((*list)[i]);
    return out + "]";
  }
  return PlainText(v);
}

}  // namespace

int CmdInfo(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
  const TArgs args = ParseArgs(words, {}, {"--json"});
  if (args.Positional.size() != 1) throw EUsage("info takes one FILE");
  const std::string& file = args.Positional[0];
  TKorvaMP3 mp3(std::make_unique<TMpg123Player>());
  Analyze(mp3, file, true, false);
  const TFacts facts = CollectFacts(mp3);
  if (args.Has("--json")) {
    out << "{";
    for (size_t i = 0; i < facts.size(); ++i) {
      out << (i ? ", " : "") << JsonString(facts[i].first) << ": " << JsonValue(facts[i].second);
    }
    out << "}\n";
  } else {
    for (const auto& [name, value] : facts) out << name << ": " << PlainText(value) << "\n";
  }
  // The facts of a file that is no MP3 are shown too, but the command did not succeed.
  if (!mp3.Info.Valid) {
    err << file << ": " << NotMp3Text(mp3.Info) << "\n";
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace pelcato
