// The main window from start to close: moving and minimising it, closing it, Help and the
// upgrade program.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPoint>
#include <QRect>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <functional>

#include "MainWindowTestSupport.h"
#include "UiTestSupport.h"
#include "app/Launchers.h"
#include "ui/Skin.h"
#include "ui/UnitMP3Editor.h"
#include "ui/ufrmShadowFrame.h"

namespace pelcato::test {
namespace {

// ---- Moving, minimising, closing -------------------------------------------------------

TEST(MainWindowFrame, DraggingTheTopStripMovesTheWindowButTheTitleDoesNot) {
  TFakeDialogs dialogs;
  TProgramFolder folder;
  auto window = MakeWindow(dialogs, folder);
  window->move(100, 80);
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  QWindow* handle = window->windowHandle();
  const QPoint start = window->pos();

  QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(120, 60));
  QTest::mouseMove(handle, QPoint(150, 80));
  EXPECT_EQ(window->pos(), start + QPoint(30, 20));
  // The window moved under the mouse: the same screen point is where the press began.
  QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(120, 60));
  EXPECT_EQ(window->pos(), start + QPoint(30, 20));

  const QPoint moved = window->pos();
  QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(16, 10));  // on the title
  QTest::mouseMove(handle, QPoint(60, 40));
  QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(60, 40));
  EXPECT_EQ(window->pos(), moved);
  window->hide();
}

TEST(MainWindowFrame, MinimiseHidesTheShadowAndRestoreBringsItBack) {
  TFakeDialogs dialogs;
  TProgramFolder folder;
  auto window = MakeWindow(dialogs, folder);
  TFormShadow* shadow = window->Shadow();
  shadow->SetCompositorOverride(true);
  window->move(120, 90);
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  ASSERT_TRUE(shadow->isVisible());
  EXPECT_EQ(shadow->geometry(), QRect(window->pos() - QPoint(16, 16), QSize(624, 484)));
  EXPECT_EQ(shadow->ShadowColor(), 0xA1794Au);

  QTest::mouseClick(window->RzBmpButton2, Qt::LeftButton);
  EXPECT_TRUE(window->isMinimized());
  EXPECT_FALSE(shadow->isVisible());

  window->showNormal();
  EXPECT_TRUE(shadow->isVisible());
  EXPECT_EQ(shadow->geometry(), QRect(window->pos() - QPoint(16, 16), QSize(624, 484)));
  window->hide();
  EXPECT_FALSE(shadow->isVisible());
}

TEST(MainWindowClose, DeletesTemporaryCopiesKeepsTmpAndSavesSettings) {
  TFakeDialogs dialogs;
  TProgramFolder folder;
  folder.WriteSettings("[UPGRADE]\nPos=1\n[OTHER]\nKeep=me\n");
  auto window = MakeWindow(dialogs, folder);
  const QString first = folder.File(QStringLiteral("Tmp/261207012345678.mp3"));
  const QString second = folder.File(QStringLiteral("Tmp/261207012345999.mp3"));
  const QString other = folder.File(QStringLiteral("Tmp/keep.mp3"));
  for (const QString& path : {first, second, other}) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  window->TempFiles() << first << folder.File(QStringLiteral("Tmp/gone-already.mp3")) << second;
  window->Settings().SplitInto = 7;
  window->show();

  QTest::mouseClick(window->RzBmpButton1, Qt::LeftButton);
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->Shadow(), nullptr);
  EXPECT_EQ(window->Mp3(), nullptr);
  EXPECT_FALSE(QFile::exists(first));
  EXPECT_FALSE(QFile::exists(second));
  EXPECT_TRUE(QFile::exists(other));  // not ours
  EXPECT_TRUE(QDir(folder.File(QStringLiteral("Tmp"))).exists());
  const QByteArray ini = folder.ReadSettings();
  EXPECT_TRUE(IniHas(ini, "LANGUAGE", "Default=0"));
  EXPECT_TRUE(IniHas(ini, "SPLIT", "Into=7"));
  EXPECT_TRUE(IniHas(ini, "UPGRADE", "Pos=1"));
  EXPECT_TRUE(IniHas(ini, "OTHER", "Keep=me"));
  EXPECT_TRUE(dialogs.Messages.empty());
}

TEST(MainWindowClose, FailedSettingsWriteIsReportedAndTheWindowStillCloses) {
  TFakeDialogs dialogs;
  TProgramFolder folder;
  folder.InstallUpgradeStandIn();
  // A folder where the settings file belongs cannot be replaced by a file.
  ASSERT_TRUE(QDir(folder.Path()).mkdir(QStringLiteral("Pelcato.ini")));
  auto window = MakeWindow(dialogs, folder);
  window->TimerUpgrade->stop();  // the launch at start-up is not looked at here
  window->show();
  window->close();
  EXPECT_FALSE(window->isVisible());
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].Text, "Unable to write to " + folder.Path() + "Pelcato.ini.");
  EXPECT_EQ(dialogs.Messages[0].Caption, "Pelcato");
  EXPECT_EQ(dialogs.Messages[0].Icon, TMsgIcon::Error);
  EXPECT_EQ(dialogs.Messages[0].Buttons, TMsgButtons::Ok);
}

// ---- Help and upgrade ----------------------------------------------------------------------

TEST(MainWindowHelp, HelpOpensTheGuidePage) {
  test::TUrlCatcher catcher;
  QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "Open");
  TFakeDialogs dialogs;
  TProgramFolder folder;
  auto window = MakeWindow(dialogs, folder);
  QTest::mouseClick(window->BtnAbout, Qt::LeftButton);
  QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
  ASSERT_EQ(catcher.Opened.size(), 1);
  EXPECT_EQ(catcher.Opened[0].toString(), web::GuideAddress);
  EXPECT_TRUE(catcher.Opened[0].path().endsWith("/video-tools/pelcato_guide.html"));
  EXPECT_TRUE(dialogs.Messages.empty());
}

TEST(MainWindowHelp, WithoutABrowserHelpShowsTheGuidesAddress) {
  TFakeDialogs dialogs;
  TProgramFolder folder(true);
  folder.WriteSettings("[LANGUAGE]\nDefault=2\n[UPGRADE]\nPos=1\n");
  TEditorOptions options;
  options.ProgramFolder = folder.Path();
  options.OpenGuide = [] { return false; };  // as the desktop answers without a browser
  options.GuideAddress = web::GuideAddress;
  TFrmMP3Editor window(dialogs, options);
  QTest::mouseClick(window.BtnAbout, Qt::LeftButton);
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].Text,
            QString::fromUtf8("Es konnte kein Webbrowser gestartet werden. Die Anleitung finden "
                              "Sie unter dieser Adresse:\n") +
                web::GuideAddress);
  EXPECT_EQ(dialogs.Messages[0].Caption, "Hinweis");
}

bool WaitFor(const std::function<bool()>& done, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QTest::qWait(20);
  }
  return true;
}

TEST(MainWindowUpgrade, WithoutSettingsTheUpgradeStartsHalfASecondAfterStart) {
  TFakeDialogs dialogs;
  TProgramFolder folder;
  folder.InstallUpgradeStandIn();
  QElapsedTimer clock;
  clock.start();
  int starts = 0;
  auto window = MakeWindow(dialogs, folder, "German", &starts);
  EXPECT_TRUE(window->TimerUpgrade->isActive());
  window->show();
  ASSERT_TRUE(WaitFor([&] { return !folder.UpgradeArguments().isEmpty(); }, 10000));
  EXPECT_GE(clock.elapsed(), 450);  // a coarse timer may fire up to 5 % early
  EXPECT_FALSE(window->TimerUpgrade->isActive());
  const QStringList args = folder.UpgradeArguments();
  ASSERT_EQ(args.size(), 6);
  EXPECT_EQ(args[0], QString::number(quint64(window->winId())));
  EXPECT_EQ(args.mid(1, 3), QStringList({"Pelcato", PELCATO_VERSION, "German"}));
  EXPECT_EQ(args[4], web::UpgradeServiceEnglish);
  EXPECT_EQ(args[5], web::HomePageEnglish);

  // Once per run: closing does not start it again, and nothing is left to start it later.
  EXPECT_EQ(starts, 1);
  window->close();
  EXPECT_EQ(starts, 1);
  EXPECT_FALSE(window->TimerUpgrade->isActive());
}

TEST(MainWindowUpgrade, WithPosOneTheUpgradeStartsAtCloseAfterTheSave) {
  TFakeDialogs dialogs;
  TProgramFolder folder;
  folder.InstallUpgradeStandIn();
  folder.WriteSettings("[UPGRADE]\nPos=1\n[LANGUAGE]\nDefault=5\n");
  int starts = 0;
  auto window = MakeWindow(dialogs, folder, "English", &starts);
  // Nothing is set to start it before the close.
  EXPECT_FALSE(window->TimerUpgrade->isActive());
  window->show();
  EXPECT_EQ(starts, 0);
  const QString handle = QString::number(quint64(window->winId()));
  window->close();
  EXPECT_EQ(starts, 1);
  EXPECT_TRUE(IniHas(folder.ReadSettings(), "LANGUAGE", "Default=5"));
  ASSERT_TRUE(WaitFor([&] { return !folder.UpgradeArguments().isEmpty(); }, 10000));
  const QStringList args = folder.UpgradeArguments();
  ASSERT_EQ(args.size(), 6);
  EXPECT_EQ(args[0], handle);
  EXPECT_EQ(args[1], SpacesToCarets(ProductNameChinese));
  EXPECT_FALSE(args[1].contains(QLatin1Char(' ')));
  EXPECT_EQ(args[3], "Chinese");
  EXPECT_EQ(args[4], web::UpgradeServiceChinese);
  EXPECT_EQ(args[5], web::HomePageChinese);
}

TEST(MainWindowUpgrade, MissingUpgradeProgramIsSilent) {
  TFakeDialogs dialogs;
  TProgramFolder folder;
  folder.WriteSettings("[UPGRADE]\nPos=2\n");
  auto window = MakeWindow(dialogs, folder);
  window->show();
  window->close();
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(dialogs.Messages.empty());
}

}  // namespace
}  // namespace pelcato::test
