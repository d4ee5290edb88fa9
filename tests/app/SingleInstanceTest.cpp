#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "ProbeProcess.h"
#include "app/SingleInstance.h"

namespace pelcato {
namespace {

using test::TProbe;

class SingleInstance : public ::testing::Test {
 protected:
  void SetUp() override {
    // A runtime folder of this test's own.
    char pattern[] = "/tmp/pelcato-instance-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    FFolder = pattern;
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    FOld = old ? old : "";
    FHadOld = old != nullptr;
    setenv("XDG_RUNTIME_DIR", FFolder.c_str(), 1);
  }
  void TearDown() override {
    if (FHadOld) {
      setenv("XDG_RUNTIME_DIR", FOld.c_str(), 1);
    } else {
      unsetenv("XDG_RUNTIME_DIR");
    }
    std::filesystem::remove_all(FFolder);
  }
  std::string FFolder;
  std::string FOld;
  bool FHadOld = false;
};

TEST_F(SingleInstance, SecondProcessFindsTheFirstAndANewStartRunsAfterItEnds) {
  TProbe first("Korvane_Pelcato", true);
  ASSERT_EQ(first.Answer, "first");
  EXPECT_TRUE(std::filesystem::exists(FFolder + "/Korvane_Pelcato.lock"));
  TProbe second("Korvane_Pelcato", false);
  EXPECT_EQ(second.Answer, "running");
  {
    TSingleInstance here;
    EXPECT_EQ(here.Acquire("Korvane_Pelcato"), TInstanceState::AlreadyRunning);
    EXPECT_EQ(here.Acquire("Korvane_Pelcato"), TInstanceState::AlreadyRunning);
  }
  // Another name is another program.
  TProbe other("Someone_Else", false);
  EXPECT_EQ(other.Answer, "first");

  first.End();
  TSingleInstance after;
  EXPECT_EQ(after.Acquire("Korvane_Pelcato"), TInstanceState::First);
  TProbe third("Korvane_Pelcato", false);
  EXPECT_EQ(third.Answer, "running");
}

TEST_F(SingleInstance, ProgramsWeStartDoNotKeepTheLock) {
  pid_t child = -1;
  {
    TSingleInstance guard;
    ASSERT_EQ(guard.Acquire("Korvane_Pelcato"), TInstanceState::First);
    // The pipe closes when the child has started its program.
    int started[2];
    ASSERT_EQ(pipe2(started, O_CLOEXEC), 0);
    child = fork();
    if (child == 0) {
      execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(started[1]);
    char c;
    EXPECT_EQ(read(started[0], &c, 1), 0);
    close(started[0]);
  }
  // The guard is gone while the program it started still runs.
  TSingleInstance next;
  EXPECT_EQ(next.Acquire("Korvane_Pelcato"), TInstanceState::First);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

TEST_F(SingleInstance, UnusableFolderStartsUnguarded) {
  setenv("XDG_RUNTIME_DIR", (FFolder + "/missing").c_str(), 1);
  const std::string fallback = TSingleInstance::LockFolder();
  EXPECT_EQ(fallback, "/tmp/pelcato-" + std::to_string(geteuid()) + "/");
  // A lock file that cannot be created (a folder stands in its place) does not stop the start.
  setenv("XDG_RUNTIME_DIR", FFolder.c_str(), 1);
  std::filesystem::create_directory(FFolder + "/Blocked.lock");
  TSingleInstance guard;
  EXPECT_EQ(guard.Acquire("Blocked"), TInstanceState::Unguarded);
}

// Where someone else could enter the lock folder, they could take the lock or receive the
// files handed over: a runtime folder open to others is passed over, and a "pelcato-<uid>"
// that another user made first leaves the copies a folder that cannot be taken, one for all.
TEST_F(SingleInstance, TheLockLiesWhereOnlyThisUserCanReachIt) {
  const std::string temporary = FFolder + "/tmp";
  const std::string cache = FFolder + "/cache";
  ASSERT_TRUE(std::filesystem::create_directory(temporary));
  chmod(temporary.c_str(), 01777);
  const std::string shared = FFolder + "/shared";
  ASSERT_TRUE(std::filesystem::create_directory(shared));
  chmod(shared.c_str(), 01777);
  EXPECT_EQ(TSingleInstance::LockFolderIn(shared.c_str(), temporary, cache),
            temporary + "/pelcato-" + std::to_string(geteuid()) + "/");

  // Taken by another user (or, where the test cannot make another user's folder, open to all).
  const std::string taken = temporary + "/pelcato-" + std::to_string(geteuid());
  chmod(taken.c_str(), 0777);
  [[maybe_unused]] const int chowned = chown(taken.c_str(), 65534, 65534);
  setenv("XDG_RUNTIME_DIR", shared.c_str(), 1);
  setenv("TMPDIR", temporary.c_str(), 1);
  setenv("XDG_CACHE_HOME", cache.c_str(), 1);
  const std::string own = TSingleInstance::LockFolder();
  ASSERT_EQ(own.rfind(taken + "-", 0), 0u) << own;
  const std::string ownFolder = own.substr(0, own.size() - 1);
  struct stat st {};
  ASSERT_EQ(lstat(ownFolder.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, geteuid());
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  {
    TProbe first("Korvane_Pelcato", true);
    EXPECT_EQ(first.Answer, "first");
    TProbe second("Korvane_Pelcato", false);
    EXPECT_EQ(second.Answer, "running");
  }
  EXPECT_EQ(TSingleInstance::LockFolder(), own);

  // The folder gone with the temporary files, and its name taken by someone else meanwhile:
  // not used, another made.
  std::filesystem::remove_all(ownFolder);
  ASSERT_TRUE(std::filesystem::create_directory(ownFolder));
  chmod(ownFolder.c_str(), 0777);
  const std::string again = TSingleInstance::LockFolder();
  EXPECT_NE(again, own);
  EXPECT_EQ(again.rfind(taken + "-", 0), 0u) << again;
  unsetenv("TMPDIR");
  unsetenv("XDG_CACHE_HOME");
}

}  // namespace
}  // namespace pelcato
