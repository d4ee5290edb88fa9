#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFileInfo>
#include <QGuiApplication>
#include <QTimer>

#include "UiTestSupport.h"
#include "app/Startup.h"

namespace pelcato {
namespace {

using test::TFakeDialogs;
using test::TProgramFolder;

// Another copy: a probe process holding the lock until its input closes.
class THoldingProbe {
 public:
  THoldingProbe() {
    int in[2];
    int out[2];
    EXPECT_EQ(pipe(in), 0);
    EXPECT_EQ(pipe(out), 0);
    FPid = fork();
    if (FPid == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      close(in[1]);
      close(out[0]);
      execl(PELCATO_INSTANCE_PROBE, PELCATO_INSTANCE_PROBE, InstanceName, "hold",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    FInput = in[1];
    char c = 0;
    while (read(out[0], &c, 1) == 1 && c != '\n') Answer += c;
    close(out[0]);
  }
  ~THoldingProbe() { End(); }
  void End() {
    if (FInput >= 0) close(FInput);
    FInput = -1;
    if (FPid > 0) waitpid(FPid, nullptr, 0);
    FPid = -1;
  }
  std::string Answer;

 private:
  pid_t FPid = -1;
  int FInput = -1;
};

TEST(Startup, SecondCopyShowsTheNoticeAndLeavesTheSettingsAlone) {
  TProgramFolder folder(true);
  const QByteArray settings = "[LANGUAGE]\nDefault=2\n[UPGRADE]\nPos=1\n";
  folder.WriteSettings(settings);
  const QDateTime written = QFileInfo(folder.File(QStringLiteral("Pelcato.ini"))).lastModified();
  TStartOptions options;
  options.Editor.ProgramFolder = folder.Path();
  bool windowShown = false;
  options.WindowShown = [&](TFrmMP3Editor& window) {
    windowShown = true;
    QTimer::singleShot(0, &window, &QWidget::close);
  };

  THoldingProbe first;
  ASSERT_EQ(first.Answer, "first");
  {
    TFakeDialogs dialogs;
    TSingleInstance guard;
    EXPECT_EQ(RunPelcato(guard, dialogs, options), 0);
    EXPECT_FALSE(windowShown);
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    // The same English words whatever language the settings hold.
    EXPECT_EQ(dialogs.Messages[0].Text, "The software is already running!");
    EXPECT_EQ(dialogs.Messages[0].Caption, "Information");
    EXPECT_EQ(dialogs.Messages[0].Icon, TMsgIcon::None);
    EXPECT_EQ(dialogs.Messages[0].Buttons, TMsgButtons::Ok);
    EXPECT_EQ(folder.ReadSettings(), settings);
    EXPECT_EQ(QFileInfo(folder.File(QStringLiteral("Pelcato.ini"))).lastModified(), written);
  }

  // After the first copy ends, a new start runs the window until it closes.
  first.End();
  TFakeDialogs dialogs;
  TSingleInstance guard;
  EXPECT_EQ(RunPelcato(guard, dialogs, options), 0);
  EXPECT_TRUE(windowShown);
  EXPECT_TRUE(dialogs.Messages.empty());
  EXPECT_TRUE(test::IniHas(folder.ReadSettings(), "SPLIT", "Into=2"));
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), "Pelcato");
}

}  // namespace
}  // namespace pelcato
