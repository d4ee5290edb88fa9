// A second start of the program with a file ("Open with" while a copy runs) hands the file to
// the running copy, which opens it, or which is busy and says why at once, even while a long
// open or save holds its window; a second start without one only says that a copy runs.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QLabel>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTimer>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "app/Startup.h"

namespace pelcato {
namespace {

using test::TFakeDialogs;
using test::TProgramFolder;

struct TSecondStart {
  int Exit = -1;
  std::string Said;  // the message boxes it showed
};

// The program started again, in a process of its own, on the lock folder given. With
// holdWindow the running copy's thread waits for it without an event loop, as in a long
// open or save; otherwise the running copy's event loop runs meanwhile.
TSecondStart StartAgain(const QString& lockFolder, const QStringList& arguments,
                        bool holdWindow = false) {
  TProgramFolder folder;
  QProcess second;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), lockFolder);
  second.setProcessEnvironment(environment);
  second.start(QStringLiteral(PELCATO_WINDOW_PROBE), QStringList{folder.Path()} + arguments);
  if (holdWindow) {
    second.waitForFinished(20000);
  } else {
    QEventLoop loop;
    QObject::connect(&second, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    if (second.state() != QProcess::NotRunning) loop.exec();
  }
  return {second.exitCode(), second.readAllStandardError().trimmed().toStdString()};
}

TEST(HandOver, ASecondStartWithAFileHasTheRunningCopyOpenItOrSayWhyNot) {
  QTemporaryDir lockFolder;
  const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
  qputenv("XDG_RUNTIME_DIR", lockFolder.path().toLocal8Bit());
  const QString file = QStringLiteral(PELCATO_TEST_DATA "/cbr128.mp3");
  const QString other = QStringLiteral(PELCATO_TEST_DATA "/vbr.mp3");
  const std::string busy =
      "Information: The file was not opened because another command is still running:\n" +
      other.toStdString();

  TProgramFolder folder(true);
  TFakeDialogs dialogs;
  TStartOptions options;
  options.Editor.ProgramFolder = folder.Path();
  TSecondStart withFile, withoutFile, underPanel, whileHeld;
  std::vector<TSecondStart> inDialog;
  QString opened, openedLater;
  options.WindowShown = [&](TFrmMP3Editor& window) {
    QTimer::singleShot(0, &window, [&] {
      withFile = StartAgain(lockFolder.path(), {file});
      QCoreApplication::processEvents();
      opened = window.Label12->text();
      window.showMinimized();
      withoutFile = StartAgain(lockFolder.path(), {});
      // A command that works under the status panel lets events through.
      window.PanelState->show();
      underPanel = StartAgain(lockFolder.path(), {other});
      window.PanelState->hide();
      // A command that holds the window's thread answers nothing itself.
      whileHeld = StartAgain(lockFolder.path(), {other}, true);
      // Starts while a dialog is up: no box of the running copy's own piles up on it.
      QDialog modal(&window);
      QTimer::singleShot(0, &modal, [&] {
        for (int i = 0; i < 3; ++i) inDialog.push_back(StartAgain(lockFolder.path(), {other}));
        modal.accept();
      });
      modal.exec();
      QTimer::singleShot(300, &window, [&] {
        openedLater = window.Label12->text();
        window.close();
      });
    });
  };
  TSingleInstance guard;
  EXPECT_EQ(RunPelcato(guard, dialogs, options), 0);
  qputenv("XDG_RUNTIME_DIR", saved);

  EXPECT_EQ(withFile.Exit, 0);
  EXPECT_EQ(withFile.Said, "");
  EXPECT_EQ(opened.toStdString(), file.toStdString());
  EXPECT_EQ(withoutFile.Exit, 0);
  EXPECT_EQ(withoutFile.Said, "Information: The software is already running!");
  EXPECT_EQ(underPanel.Said, busy);
  EXPECT_EQ(whileHeld.Said, busy);
  ASSERT_EQ(inDialog.size(), 3u);
  for (const TSecondStart& start : inDialog) EXPECT_EQ(start.Said, busy);
  // What the second starts were told holds: the file was not opened later.
  EXPECT_EQ(openedLater.toStdString(), file.toStdString());
  EXPECT_EQ(dialogs.Messages.size(), 0u);
}

}  // namespace
}  // namespace pelcato
