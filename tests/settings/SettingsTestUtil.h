// Shared helpers of the settings tests: a scratch folder and whole-file reads and writes.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "ScratchFolder.h"

namespace pelcato::test {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with the object.
class TScratch : public TScratchFolder {
 public:
  TScratch() : TScratchFolder("pelcato-settings") {}
  // The folder with a trailing "/", as the settings take a program folder.
  std::string Folder() const { return Path() + "/"; }
};

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace pelcato::test
