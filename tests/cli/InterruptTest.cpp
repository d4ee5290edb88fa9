// An interrupted split leaves no partial file under any name: Ctrl-C or a kill while a real
// pelcato-cli process writes pieces, in a folder with O_TMPFILE and on an exFAT file system,
// which has no files without a name, no hard links and no RENAME_NOREPLACE.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "CliRun.h"
#include "io/AtomicOutput.h"
#include "io/Paths.h"
#include "io/TempNames.h"
#include "io/WriteFaults.h"

namespace pelcato {
namespace {

namespace fs = std::filesystem;

bool Shell(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

// An exFAT image (the file system of most USB sticks) mounted through FUSE on a loop device,
// where the tools, the loop devices and /dev/fuse are at hand. Like FAT and many network
// shares, it has no files without a name, no hard links and no RENAME_NOREPLACE.
class TExFatMount {
 public:
  explicit TExFatMount(const fs::path& dir) : FPath(dir / "stick") {
    fs::create_directories(FPath);
    const std::string image = (dir / "stick.img").string();
    const std::string loop = (dir / "loop").string();
    if (!Shell("truncate -s 64M '" + image + "' && mkfs.exfat '" + image + "' >/dev/null 2>&1 && " +
               "losetup -f --show '" + image + "' >'" + loop + "' 2>/dev/null")) {
      return;
    }
    std::ifstream(loop) >> FLoop;
    struct statfs st {};
    constexpr long kFuseMagic = 0x65735546;
    FMounted = Shell("mount.exfat-fuse '" + FLoop + "' '" + FPath.string() + "' >/dev/null 2>&1");
    Mounted = FMounted && statfs(FPath.c_str(), &st) == 0 && long(st.f_type) == kFuseMagic;
  }
  ~TExFatMount() {
    if (FMounted) Shell("umount '" + FPath.string() + "'");
    if (!FLoop.empty()) Shell("losetup -d '" + FLoop + "'");
  }
  const fs::path& Path() const { return FPath; }
  bool Mounted = false;

 private:
  fs::path FPath;
  std::string FLoop;
  bool FMounted = false;
};

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The pieces of a folder by their number ("0007.mp3"), and everything else in it by name.
struct TFolder {
  std::map<std::string, std::string> Pieces;
  std::vector<std::string> Others;
};

TFolder ReadFolder(const fs::path& folder) {
  TFolder f;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > 8 && name.rfind("long-", 0) == 0 && name.substr(name.size() - 4) == ".mp3") {
      f.Pieces[name.substr(name.size() - 8)] = Contents(entry.path());
    } else {
      f.Others.push_back(name);
    }
  }
  return f;
}

class Interrupt : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "pelcato-int-XXXXXX").string();
    Dir = mkdtemp(tmpl.data());
    // Three minutes of silent frames: 181 pieces of a second.
    std::string frame("\xFF\xFB\x90\x64", 4);
    frame.resize(417, '\0');
    std::ofstream out(Dir / "long.mp3", std::ios::binary);
    for (int i = 0; i < 6900; ++i) out << frame;
  }
  void TearDown() override { fs::remove_all(Dir); }

  // Splits into out and sends sig once the process is in the middle of it: its list of pieces
  // goes into a pipe that nobody reads, so it stops when that is full, with the pieces ahead
  // of the last one named still open. Returns what the process ended with.
  int SplitAndInterrupt(const fs::path& out, int sig, bool namedAhead) {
    int pipeFds[2];
    EXPECT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
    fcntl(pipeFds[0], F_SETPIPE_SZ, 4096);
    const int pipeSize = fcntl(pipeFds[0], F_GETPIPE_SZ);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = {PELCATO_CLI, "split",   (Dir / "long.mp3").string(),
                                     "--every",   "0:00:01", "--out",
                                     out.string()};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, PELCATO_CLI, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    // Until the pipe is full and, where files have names, a piece ahead stands under one.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
      int queued = 0;
      ioctl(pipeFds[0], FIONREAD, &queued);
      bool named = !namedAhead;
      if (fs::exists(out)) {
        for (const std::string& other : ReadFolder(out).Others)
          named = named || other.rfind(".pelcato-", 0) == 0;
      }
      if ((queued > pipeSize - 200 && named) || std::chrono::steady_clock::now() > deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid, sig);
    int status = 0;
    waitpid(pid, &status, 0);
    close(pipeFds[0]);
    return status;
  }

  fs::path Dir;
};

TEST_F(Interrupt, ASplitLeavesOnlyWholePieces) {
  // The pieces as an uninterrupted split writes them.
  const test::TRun whole = test::RunCliWith({"split", (Dir / "long.mp3").string(), "--every",
                                             "0:00:01", "--out", (Dir / "all").string()});
  ASSERT_EQ(whole.Status, 0) << whole.Err;
  const TFolder all = ReadFolder(Dir / "all");
  ASSERT_EQ(all.Pieces.size(), 181u);

  TExFatMount stick(Dir);
  std::vector<std::pair<fs::path, bool>> folders = {{Dir / "here", false}};
  if (stick.Mounted) folders.push_back({stick.Path() / "out", true});
  for (const auto& [folder, named] : folders) {
    for (const int sig : {SIGINT, SIGTERM}) {
      SCOPED_TRACE(folder.string() + " " + strsignal(sig));
      const int status = SplitAndInterrupt(folder, sig, named);
      ASSERT_TRUE(WIFSIGNALED(status)) << "the split ended before the signal: " << status;
      EXPECT_EQ(WTERMSIG(status), sig);
      const TFolder left = ReadFolder(folder);
      EXPECT_EQ(left.Others, std::vector<std::string>{});
      EXPECT_GT(left.Pieces.size(), 10u);
      EXPECT_LT(left.Pieces.size(), all.Pieces.size());
      for (const auto& [number, bytes] : left.Pieces) {
        EXPECT_TRUE(bytes == all.Pieces.at(number)) << number << " is not whole";
      }
      fs::remove_all(folder);
    }
  }
  if (!stick.Mounted) GTEST_SKIP() << "no exFAT file system could be mounted through FUSE here";
}

// Leaves a finished file, one half written and one empty, then takes sig.
void WriteAndRaise(const fs::path& dir, int sig) {
  SetUnnamedFilesAllowed(false);
  RemoveTemporariesOnSignals();
  TAtomicOutput done, open, empty;
  done.Open((dir / "done.mp3").string());
  done.Append("frames", 6);
  done.Commit(true);
  open.Open((dir / "open.mp3").string());
  open.Append("half", 4);
  empty.Open((dir / "empty.mp3").string());
  raise(sig);
}

// The same for any destination in a process that removes its temporaries on a signal: the
// files written under a temporary name go, a finished one stays.
TEST(InterruptInProcess, ASignalRemovesTheNamedTemporaries) {
  std::string tmpl = (fs::temp_directory_path() / "pelcato-int-XXXXXX").string();
  const fs::path dir = mkdtemp(tmpl.data());
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    EXPECT_EXIT(WriteAndRaise(dir, sig), ::testing::KilledBySignal(sig), "");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
      names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"done.mp3"}) << strsignal(sig);
    fs::remove(dir / "done.mp3");
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace pelcato
