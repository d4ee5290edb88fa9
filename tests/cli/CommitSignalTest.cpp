// A signal that lands while a finished file takes its name in a folder that has neither
// RENAME_NOREPLACE nor hard links (exFAT through FUSE, some network shares): the empty file
// that takes the name first. This program stands in for such a file system: it replaces
// renameat2, link, rename and open of the C library, and raises the signal at the worst moment.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "io/AtomicOutput.h"
#include "io/TempNames.h"

namespace {

enum class TMoment { None, AfterRename, BeforeTakingTheName };
TMoment gMoment = TMoment::None;
std::string gDestination;

}  // namespace

extern "C" int renameat2(int, const char*, int, const char*, unsigned) {
  errno = EINVAL;
  return -1;
}

extern "C" int link(const char*, const char*) {
  errno = EPERM;
  return -1;
}

extern "C" int rename(const char* from, const char* to) {
  static const auto real =
      reinterpret_cast<int (*)(const char*, const char*)>(dlsym(RTLD_NEXT, "rename"));
  const int rc = real(from, to);
  if (gMoment == TMoment::AfterRename && rc == 0) raise(SIGTERM);
  return rc;
}

extern "C" int open(const char* path, int flags, ...) {
  static const auto real =
      reinterpret_cast<int (*)(const char*, int, ...)>(dlsym(RTLD_NEXT, "open"));
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = va_arg(args, mode_t);
    va_end(args);
  }
  if (gMoment == TMoment::BeforeTakingTheName && (flags & O_EXCL) && path == gDestination) {
    raise(SIGTERM);
  }
  return real(path, flags, mode);
}

namespace pelcato {
namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

// Writes a piece under a named temporary file and commits it without replacing a file, with
// SIGTERM at the moment given; the process ends by the signal.
void CommitWithSignal(const fs::path& destination, TMoment moment) {
  SetUnnamedFilesAllowed(false);
  RemoveTemporariesOnSignals();
  TAtomicOutput out;
  if (!out.Open(destination.string())) _exit(3);
  out.Append("frames", 6);
  gDestination = destination.string();
  gMoment = moment;
  try {
    out.Commit(true);
  } catch (const std::exception&) {
  }
  _exit(0);
}

TEST(SignalDuringCommit, RemovesOnlyWhatIsOursAndNeverTheFinishedFile) {
  std::string tmpl = (fs::temp_directory_path() / "pelcato-commit-XXXXXX").string();
  const fs::path dir = mkdtemp(tmpl.data());
  const fs::path piece = dir / "piece.mp3";

  // Right after the rename: the piece is finished under its name, and stays.
  EXPECT_EXIT(CommitWithSignal(piece, TMoment::AfterRename), ::testing::KilledBySignal(SIGTERM),
              "");
  EXPECT_EQ(Names(dir), std::vector<std::string>{"piece.mp3"});
  EXPECT_EQ(Contents(piece), "frames");

  // Just before the empty file takes a name that someone else's file has meanwhile: that file
  // stays, and the piece's temporary goes.
  { std::ofstream(piece, std::ios::binary) << "theirs"; }
  EXPECT_EXIT(CommitWithSignal(piece, TMoment::BeforeTakingTheName),
              ::testing::KilledBySignal(SIGTERM), "");
  EXPECT_EQ(Names(dir), std::vector<std::string>{"piece.mp3"});
  EXPECT_EQ(Contents(piece), "theirs");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace pelcato
