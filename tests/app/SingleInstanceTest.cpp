#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
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

}  // namespace
}  // namespace pelcato
