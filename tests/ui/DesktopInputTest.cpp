// The window on a real X server, given input through the server's queue as a person gives it
// (xdotool). ctest runs it under xvfb-run.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include "EditorTestSupport.h"
#include "ui/NumericEdit.h"
#include "ui/Skin.h"
#include "ui/UnitSplitOption.h"

namespace pelcato {
namespace {

using test::Data;
using test::TEditor;

// A left click in the middle of the control, by the X server's pointer.
bool Click(QWidget* control) {
  const QPoint p = control->mapToGlobal(control->rect().center());
  return QProcess::execute(
             QStringLiteral("xdotool"),
             {QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(p.x()),
              QString::number(p.y()), QStringLiteral("click"), QStringLiteral("1")}) == 0;
}

TEST(DesktopInput, MinimiseActsWhilePiecesAreWrittenAndOtherCommandsDoNot) {
  ASSERT_EQ(QGuiApplication::platformName(), "xcb");
  QTemporaryDir out;
  TEditor w;
  w.Window->Settings().OutputFolder = out.path().toStdString();
  w.Open(Data("cbr128.mp3"));
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w.Window.get()));
  bool clicked = false;
  test::WhenModal([&](QWidget* modal) {
    auto* options = qobject_cast<TFrmSplitOption*>(modal);
    options->EditN->SetValue(8);
    options->BtnOk->click();
    // Runs in the first of the split's message pumps.
    QTimer::singleShot(0, w.Window.get(), [&] {
      EXPECT_EQ(w->CommandState(), TCommandState::Splitting);
      clicked = Click(w->BtnOpenMp3) && Click(w->RzBmpButton2);
      QThread::msleep(500);  // for the server's events to reach the program's queue
    });
  });
  w->BtnSplitClick();
  ASSERT_TRUE(clicked);
  EXPECT_TRUE(w->isMinimized());
  EXPECT_EQ(w.Dialogs.DialogTitles.size(), 1);  // the open before the split, no other
  ASSERT_EQ(w.Dialogs.Messages.size(), 2u);
  EXPECT_EQ(w.Dialogs.Messages[1].Text, "MP3 successfully saved to\n" + out.path());
  EXPECT_EQ(QDir(out.path()).entryList(QDir::Files).size(), 8);
}

}  // namespace
}  // namespace pelcato
