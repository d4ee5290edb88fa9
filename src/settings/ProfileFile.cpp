#include "settings/ProfileFile.h"

#include <SimpleIni.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "io/AtomicOutput.h"
#include "io/Paths.h"

namespace pelcato {

struct TProfileFile::TData {
  // Case-insensitive names, duplicate keys kept as they stand, no multi-line values.
  CSimpleIniA Ini{true, true, false};
  bool HadBom = false;

  TData() { Ini.SetSpaces(false); }
};

namespace {

// Reads at most limit + 1 bytes of a regular file; the caller sees from the size whether the
// file was larger than the limit.
TProfileState ReadWholeFile(const std::string& path, size_t limit, std::string& out) {
  out.clear();
  // O_NONBLOCK: a FIFO put in the file's place must not block the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? TProfileState::Missing : TProfileState::Unreadable;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return TProfileState::Unreadable;
  }
  if (st.st_size < 0 || uint64_t(st.st_size) > limit) {
    ::close(fd);
    return TProfileState::TooLarge;
  }
  out.resize(size_t(st.st_size) + 1);
  size_t done = 0;
  // The file may grow while it is read; never read more than one byte past the limit.
  while (done <= limit) {
    if (done == out.size()) out.resize(std::min(limit + 1, out.size() * 2 + 4096));
    const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      out.clear();
      return TProfileState::Unreadable;
    }
    if (n == 0) break;
    done += size_t(n);
  }
  ::close(fd);
  if (done > limit) {
    out.clear();
    return TProfileState::TooLarge;
  }
  out.resize(done);
  return TProfileState::Loaded;
}

// Reads and parses path into data.
TProfileState LoadInto(const std::string& path, bool asText, TProfileFile::TData& data) {
  std::string bytes;
  const TProfileState state = ReadWholeFile(path, TProfileFile::MaxFileBytes, bytes);
  if (state != TProfileState::Loaded) return state;
  if (bytes.find('\0') != std::string::npos) return TProfileState::NotText;
  // A translator's file saved in the legacy 8-bit encoding of Western Europe.
  if (asText && !IsValidUtf8(bytes)) bytes = Windows1252ToUtf8(bytes);
  data.HadBom = bytes.size() >= 3 && bytes.compare(0, 3, SI_UTF8_SIGNATURE) == 0;
  if (data.Ini.LoadData(bytes.data(), bytes.size()) < 0) {
    data.Ini.Reset();
    return TProfileState::NotText;
  }
  return TProfileState::Loaded;
}

// The value of the first entry of key in section; nullptr when there is none.
const char* FirstValue(const CSimpleIniA& ini, const std::string& section, const std::string& key) {
  const CSimpleIniA::TKeyVal* keys = ini.GetSection(section.c_str());
  if (!keys) return nullptr;
  const auto range = keys->equal_range(CSimpleIniA::Entry(key.c_str()));
  const char* value = nullptr;
  int order = INT_MAX;
  for (auto it = range.first; it != range.second; ++it) {
    if (it->first.nOrder < order) {
      order = it->first.nOrder;
      value = it->second;
    }
  }
  return value;
}

// Writes content under a temporary name beside path, flushes it and renames it to path.
bool ReplaceFile(const std::string& path, const std::string& content) {
  struct stat st;
  const bool exists = stat(path.c_str(), &st) == 0;
  if (exists && (!S_ISREG(st.st_mode) || access(path.c_str(), W_OK) != 0)) return false;
  try {
    TAtomicOutput out;
    if (!out.Open(path)) return false;
    // Two writes, so that an injected fault can stop the file halfway, as a full disk would.
    const size_t half = content.size() / 2;
    out.Append(content.data(), half);
    out.Append(content.data() + half, content.size() - half);
    out.Commit(false, true);
    return true;
  } catch (const EFileError&) {
    return false;
  }
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Names that would not read back as the same section or key once written.
bool IsWritableName(std::string_view section, std::string_view key) {
  if (HasLineBreak(section) || HasLineBreak(key)) return false;
  if (section.find(']') != std::string_view::npos) return false;
  if (key.empty() || key.find('=') != std::string_view::npos) return false;
  return key.front() != ';' && key.front() != '#' && key.front() != '[';
}

}  // namespace

TProfileFile::TProfileFile(std::string path, bool asText)
    : FPath(std::move(path)), FAsText(asText) {
  Reload();
}

TProfileFile::~TProfileFile() = default;

TProfileState TProfileFile::Reload() {
  FData = std::make_unique<TData>();
  FState = LoadInto(FPath, FAsText, *FData);
  if (FState != TProfileState::Loaded) FData = std::make_unique<TData>();
  return FState;
}

std::string TProfileFile::ReadString(std::string_view section, std::string_view key,
                                     std::string_view def) const {
  const char* value = FirstValue(FData->Ini, std::string(section), std::string(key));
  return CutToChars(value ? std::string_view(value) : def, MaxValueChars);
}

int32_t TProfileFile::ReadInteger(std::string_view section, std::string_view key,
                                  int32_t def) const {
  int32_t value;
  return TryParseInteger(ReadString(section, key, ""), value) ? value : def;
}

std::vector<TProfileEntry> TProfileFile::ReadSection(std::string_view section) const {
  std::vector<TProfileEntry> entries;
  const CSimpleIniA::TKeyVal* keys = FData->Ini.GetSection(std::string(section).c_str());
  if (!keys) return entries;
  std::vector<std::pair<int, CSimpleIniA::TKeyVal::const_iterator>> ordered;
  ordered.reserve(keys->size());
  for (auto it = keys->begin(); it != keys->end(); ++it) ordered.emplace_back(it->first.nOrder, it);
  std::sort(ordered.begin(), ordered.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  size_t keyBytes = 0;
  for (const auto& [order, it] : ordered) {
    const std::string_view key(it->first.pItem);
    keyBytes += key.size() + 1;
    if (keyBytes > MaxSectionKeyBytes - 1) break;
    entries.push_back({std::string(key), CutToChars(it->second, MaxValueChars)});
  }
  return entries;
}

bool TProfileFile::WriteString(std::string_view section, std::string_view key,
                               std::string_view value) {
  if (!IsWritableName(section, key) || HasLineBreak(value)) return false;
  const std::string target = ResolveLink(FPath);
  auto fresh = std::make_unique<TData>();
  const TProfileState state = LoadInto(target, false, *fresh);
  if (state != TProfileState::Loaded && state != TProfileState::Missing) return false;

  const std::string sectionText(section), keyText(key), valueText(value);
  if (fresh->Ini.SetValue(sectionText.c_str(), keyText.c_str(), valueText.c_str(), nullptr, true) <
      0)
    return false;
  std::string saved;
  if (fresh->Ini.Save(saved, fresh->HadBom) < 0) return false;
  // One blank line between sections, not the two the writer puts there.
  std::string content;
  content.reserve(saved.size());
  for (const char c : saved)
    if (c != '\n' || content.size() < 2 || content.compare(content.size() - 2, 2, "\n\n") != 0)
      content += c;
  // A name that starts with the bytes of a byte order mark and now opens the file would lose
  // them to the reader; a mark of our own in front keeps them.
  if (!fresh->HadBom && content.compare(0, 3, SI_UTF8_SIGNATURE) == 0)
    content.insert(0, SI_UTF8_SIGNATURE);
  if (content.size() > MaxFileBytes || !ReplaceFile(target, content)) return false;
  FData = std::move(fresh);
  FState = TProfileState::Loaded;
  return true;
}

bool TryParseInteger(std::string_view text, int32_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  bool hex = false;
  if (i < text.size() && text[i] == '$') {
    hex = true;
    i += 1;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= text.size()) return false;
  const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    magnitude = magnitude * (hex ? 16 : 10) + uint64_t(digit);
    if (magnitude > limit) return false;
  }
  uint32_t bits = uint32_t(magnitude);
  if (negative) bits = ~bits + 1u;
  value = int32_t(bits);
  return true;
}

std::string CutToChars(std::string_view text, size_t max) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool starts = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (starts && ++chars > max) return std::string(text.substr(0, i));
  }
  return std::string(text);
}

}  // namespace pelcato
