// Fuzz inputs become files, since the code under test reads files by name. Each process keeps
// one private folder for them.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace pelcato::fuzz {

// libFuzzer ends without running exit handlers, so each start clears the folders that
// finished runs left behind.
inline void RemoveFoldersOfEndedRuns() {
  std::error_code ec;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::temp_directory_path(), ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("pelcato-fuzz-", 0) != 0) continue;
    const std::string pid = name.substr(13);
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
    if (std::filesystem::exists("/proc/" + pid)) continue;
    std::filesystem::remove_all(entry.path(), ec);
  }
}

inline const std::filesystem::path& Folder() {
  static const std::filesystem::path folder = [] {
    RemoveFoldersOfEndedRuns();
    auto p = std::filesystem::temp_directory_path() / ("pelcato-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(p);
    return p;
  }();
  return folder;
}

inline std::string WriteInput(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = (Folder() / name).string();
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), std::streamsize(size));
  return path;
}

inline std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Stops the run when a property does not hold, with a message the crash report shows.
inline void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "check failed: %s\n", what);
    __builtin_trap();
  }
}

}  // namespace pelcato::fuzz
