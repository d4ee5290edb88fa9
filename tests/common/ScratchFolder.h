// A folder of a test's own under the system's temporary folder, removed with everything in it.
#pragma once

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <iterator>
#include <string>
#include <system_error>

namespace pelcato::test {

class TScratchFolder {
 public:
  // The folder is named prefix, a "-" and six random characters. When it cannot be made the
  // constructor throws, which fails the test with the reason instead of running it on no folder.
  explicit TScratchFolder(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
      throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
    }
    FPath = pattern;
  }
  ~TScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
  }
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;

  // The folder, without a trailing "/".
  const std::string& Path() const { return FPath; }
  // The path of name in the folder.
  std::string Path(const std::string& name) const { return FPath + "/" + name; }
  // How many files and folders it holds.
  size_t Entries() const {
    return size_t(std::distance(std::filesystem::directory_iterator(FPath),
                                std::filesystem::directory_iterator()));
  }

 private:
  std::string FPath;
};

}  // namespace pelcato::test
