// Shared helpers of the settings tests: a scratch folder and whole-file reads and writes.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace pelcato::test {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with the object.
class TScratch {
 public:
  TScratch() {
    std::string pattern = (fs::temp_directory_path() / "pelcato-settings-XXXXXX").string();
    Dir = mkdtemp(pattern.data());
  }
  ~TScratch() { fs::remove_all(Dir); }
  std::string Path(const std::string& name) const { return Dir + "/" + name; }
  std::string Folder() const { return Dir + "/"; }
  std::string Dir;
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
