// The profile (INI) file service: named sections holding "key=value" entries, read and written
// one entry at a time. Section and key names match without regard to ASCII letter case; blanks
// around a value are not part of it; sections, entries and comments the program does not know
// survive every write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "text/Text.h"

namespace pelcato {

struct TProfileEntry {
  std::string Key;
  std::string Value;
};

// What the last read of the file found.
enum class TProfileState {
  Loaded,      // read and parsed
  Missing,     // no such file: every read gives its default
  Unreadable,  // no regular file, no permission, or a read error
  TooLarge,    // larger than MaxFileBytes
  NotText,     // holds zero bytes
};

class TProfileFile {
 public:
  // Files larger than this are not read, and not rewritten either.
  static constexpr size_t MaxFileBytes = 1024 * 1024;
  // A value read is cut after this many characters.
  static constexpr size_t MaxValueChars = 2047;
  // ReadSection returns the keys whose names, each with a terminating zero, fit in this many
  // bytes together (one byte stays for the closing zero); later keys are not seen.
  static constexpr size_t MaxSectionKeyBytes = 16384;

  // Reads the file at once, as bytes. With asText (language files) a file that is not valid
  // UTF-8 is read as windows-1252 and its entries come out as UTF-8.
  explicit TProfileFile(std::string path, bool asText = false);
  ~TProfileFile();
  TProfileFile(const TProfileFile&) = delete;
  TProfileFile& operator=(const TProfileFile&) = delete;

  const std::string& Path() const { return FPath; }
  TProfileState State() const { return FState; }
  // Reads the file afresh; the reads below see what it held then.
  TProfileState Reload();

  // The value of the first entry of that name in the section, or def.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view def) const;
  // The value read as an integer (see TryParseInteger); def when absent or not a number.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;
  // Every entry of the section, in file order. Empty when the section is absent.
  std::vector<TProfileEntry> ReadSection(std::string_view section) const;

  // Re-reads the file, sets one entry (creating the section and the file as needed) and
  // replaces the file atomically: the new content goes to a temporary file in the same
  // folder, is flushed to the disk and then renamed over the old one, so a crash or a full
  // disk never leaves a truncated file. False when the file could not be written, or when it
  // exists but cannot be read (rewriting it would lose what it holds), or when a name or the
  // value holds a line break. The file then stays as it was.
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);

  struct TData;  // the parsed content, private to the implementation

 private:
  std::string FPath;
  bool FAsText;
  TProfileState FState = TProfileState::Missing;
  std::unique_ptr<TData> FData;
};

// Signed decimal, or hexadecimal after "0x", "0X" or "$" (a sign may stand before either).
// Decimal values must fit 32 bits; hexadecimal ones up to FFFFFFFF wrap to negative numbers.
// Empty text, other characters and overflow give false.
bool TryParseInteger(std::string_view text, int32_t& value);

// Cuts text after max characters (UTF-8 sequences count as one and are never split).
std::string CutToChars(std::string_view text, size_t max);

}  // namespace pelcato
