#include "split/SplitOptions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "edit/TimeCode.h"

namespace pelcato {

bool FolderExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CanWriteFolder(const std::string& folder) {
  // Creating a file needs both the right to write the folder and to pass through it.
  return faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

std::string ValidateSplitValues(const TSplitRequest& request, const TMessageTable& messages) {
  if (request.SplitType == TSplitType::IntoParts) {
    if (request.SplitInto < 2 || request.SplitInto > 200) return messages.Ms_OptionErr1;
    return {};
  }
  const int64_t piece = SplitPieceMs(request);
  if (piece < 1000 || piece >= request.Duration) {
    return ReplaceAll(messages.Ms_OptionErr2, "%1", FormatTimeCode(request.Duration));
  }
  return {};
}

std::string ValidateSplitFolder(const std::string& folder, const TMessageTable& messages) {
  if (!FolderExists(folder)) return messages.Ms_PathNotExist;
  if (!CanWriteFolder(folder)) return messages.Ms_NotWrite;
  return {};
}

}  // namespace pelcato
