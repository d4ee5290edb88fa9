#include <gtest/gtest.h>

#include <QFileInfo>
#include <QGuiApplication>
#include <QTimer>

#include "ProbeProcess.h"
#include "UiTestSupport.h"
#include "app/Startup.h"

namespace pelcato {
namespace {

using test::TFakeDialogs;
using test::TProgramFolder;

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

  test::TProbe first(InstanceName, true);
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
  // The title is the main window's alone; other windows' titles stay as they are.
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
}

}  // namespace
}  // namespace pelcato
