// Small text helpers shared by every part of the program: UTF-8 characters, the legacy 8-bit
// text of language files, replacing placeholders, and names compared without regard to case.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pelcato {

// Bytes of the UTF-8 character that starts at p (avail bytes readable there), or 0 when no
// valid character starts there: no overlong forms, no surrogates, nothing beyond U+10FFFF.
size_t Utf8CharLength(const unsigned char* p, size_t avail);

// Whether text is made of valid UTF-8 characters only.
bool IsValidUtf8(std::string_view text);

// Every byte as the windows-1252 character it stands for, in UTF-8.
std::string Windows1252ToUtf8(std::string_view bytes);

// text with every occurrence of placeholder replaced, from left to right; the replacements
// are not searched again. An empty placeholder changes nothing.
std::string ReplaceAll(std::string_view text, std::string_view placeholder,
                       std::string_view replacement);

// Whether a and b are the same but for the case of ASCII letters.
bool SameText(std::string_view a, std::string_view b);

}  // namespace pelcato
