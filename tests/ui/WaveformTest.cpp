// The Waveform page, the keys and dropped files, on the offscreen window: the lines move the
// markers as the pictures do, the wheel zooms around the pointer, an open or the close cancels
// the decode under way, a dropped MP3 file opens as Open opens it, and every key reaches its
// command only where its button could be clicked.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>

#include "EditorTestSupport.h"
#include "edit/TimeCode.h"
#include "io/SourceFile.h"
#include "mp3/KorvaMp3.h"
#include "ui/WaveView.h"
#include "wave/WaveTrack.h"

namespace pelcato::test {
namespace {

// The audio frames of cbr128.mp3 (2.5 s) repeated until the file lasts about seconds.
QString LongFile(const TProgramFolder& folder, int seconds) {
  const std::string source = Data("cbr128.mp3").toStdString();
  TKorvaMP3 mp3(nullptr);
  mp3.AnalyzeFile(source, false);
  TSourceFile src(source);
  QByteArray frames;
  mp3.WalkFrames([&](const TKorvaMP3::TFrameSpan& f) {
    frames.append(reinterpret_cast<const char*>(src.Peek(f.Pos, size_t(f.Bytes))), int(f.Bytes));
  });
  const QString path = folder.File(QStringLiteral("long-%1.mp3").arg(seconds));
  QFile out(path);
  EXPECT_TRUE(out.open(QIODevice::WriteOnly));
  for (int i = 0; i < seconds * 2 / 5 + 1; ++i) out.write(frames);
  return path;
}

// Waits (letting events through) until done says so, for at most 20 s.
template <typename F>
bool WaitFor(F done) {
  QElapsedTimer waited;
  waited.start();
  while (!done() && waited.elapsed() < 20000) QTest::qWait(10);
  return done();
}

void Send(QWidget* to, QEvent::Type type, double x, Qt::MouseButton button = Qt::LeftButton) {
  const QPointF at(x, 20);
  QMouseEvent event(type, at, to->mapToGlobal(at), button,
                    type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button),
                    Qt::NoModifier);
  QCoreApplication::sendEvent(to, &event);
}

void DragLine(TWaveView* view, double fromX, double toX) {
  Send(view, QEvent::MouseButtonPress, fromX);
  Send(view, QEvent::MouseMove, (fromX + toX) / 2);
  Send(view, QEvent::MouseButtonRelease, toX);
}

// An editor with the Waveform page in front, laid out as shown.
struct TWaveEditor : TEditor {
  explicit TWaveEditor(int64_t length = 2500) : TEditor(QLocale::c(), length) {
    Window->RzPageControl1->setCurrentWidget(Window->TabSheet3);
    Window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
  }
  TWaveView* View() const { return Window->PaintBoxWave; }
};

// ---- The lines --------------------------------------------------------------------------

TEST(Waveform, ALineDraggedGivesWhatThePictureDraggedToTheSamePlaceGives) {
  TWaveEditor w;
  TWaveView* view = w.View();
  // Without a file nothing moves and nothing is picked.
  DragLine(view, 0, 200);
  EXPECT_EQ(w->StartMs(), 0);
  EXPECT_EQ(w->TrackBarPos->value(), 0);

  // The start picture dragged into the track, then the start line to the same time.
  w.Open(Data("cbr128.mp3"));
  Mouse(*w.Window, w->ImageStart, QEvent::MouseButtonPress, {137, 180});
  Mouse(*w.Window, w->ImageStart, QEvent::MouseButtonRelease, {300, 180});
  const int64_t byPicture = w->StartMs();
  const int pictureLeft = w->ImageStart->x();
  ASSERT_GT(byPicture, 0);
  w.Open(Data("cbr128.mp3"));
  ASSERT_EQ(w->StartMs(), 0);
  DragLine(view, view->XOf(0), view->XOf(double(byPicture)));
  const double msPerColumn = view->ViewSpanMs() / view->PlotWidth();
  EXPECT_NEAR(double(w->StartMs()), double(byPicture), msPerColumn / 2 + 1);
  EXPECT_NEAR(w->ImageStart->x(), pictureLeft, 1);
  EXPECT_EQ(w->RzMaskEdit1->text().toStdString(), FormatTimeCode(w->StartMs()));

  // Beyond the other marker both stop where the picture's drag stops, 7 pixels short of it.
  w->RzMaskEdit2->setText(QStringLiteral("000:00:01.500"));
  Mouse(*w.Window, w->ImageStart, QEvent::MouseButtonPress, {pictureLeft + 8, 180});
  Mouse(*w.Window, w->ImageStart, QEvent::MouseButtonRelease, {2000, 180});
  const int64_t heldByPicture = w->StartMs();
  EXPECT_EQ(w->ImageStart->x(), w->ImageEnd->x() - 7);
  w.Open(Data("cbr128.mp3"));
  w->RzMaskEdit2->setText(QStringLiteral("000:00:01.500"));
  DragLine(view, view->XOf(0), view->PlotWidth() + 300);
  EXPECT_EQ(w->StartMs(), heldByPicture);
  EXPECT_EQ(w->ImageStart->x(), w->ImageEnd->x() - 7);
  // The end line dragged past the start line stops as the end picture would.
  Mouse(*w.Window, w->ImageEnd, QEvent::MouseButtonPress, {w->ImageEnd->x() + 8, 180});
  Mouse(*w.Window, w->ImageEnd, QEvent::MouseButtonRelease, {-300, 180});
  const int64_t endByPicture = w->EndMs();
  w->RzMaskEdit2->setText(QStringLiteral("000:00:01.500"));
  DragLine(view, view->XOf(1500), -300);
  EXPECT_EQ(w->EndMs(), endByPicture);
  EXPECT_EQ(w->ImageEnd->x(), w->ImageStart->x() + 7);

  // A press elsewhere picks the position as the track bar's thumb does; not during a preview,
  // while the lines still move.
  const double x = view->PlotWidth() / 2.0;
  w.Open(Data("cbr128.mp3"));
  Send(view, QEvent::MouseButtonPress, x);
  Send(view, QEvent::MouseButtonRelease, x);
  EXPECT_NEAR(w->TrackBarPos->value(), view->MsAt(x), 1);
  EXPECT_EQ(w->LabelPos->text().toStdString(), FormatTimeCode(w->TrackBarPos->value()));
  w->BtnPlayStartClick();
  ASSERT_EQ(w->CommandState(), TCommandState::Previewing);
  const int picked = w->TrackBarPos->value();
  Send(view, QEvent::MouseButtonPress, 10);
  Send(view, QEvent::MouseButtonRelease, 10);
  EXPECT_EQ(w->TrackBarPos->value(), picked);
  DragLine(view, view->XOf(0), 40);
  EXPECT_GT(w->StartMs(), 0);
}

// ---- Zoom -------------------------------------------------------------------------------

TEST(Waveform, TheWheelKeepsTheTimeUnderThePointerDownToAFrameAColumn) {
  TWaveEditor w(60000);
  TWaveView* view = w.View();
  w.Open(LongFile(w.Folder, 60));
  ASSERT_EQ(view->ViewSpanMs(), 60000.0);
  EXPECT_FALSE(view->ScrollBar()->isVisible());
  const QPointF pointer(view->PlotWidth() * 0.3, 30);
  const auto wheel = [&](int delta) {
    QWheelEvent event(pointer, view->mapToGlobal(pointer), {}, {0, delta}, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view, &event);
  };
  const double frameMs = 1152 * 1000.0 / 44100;
  for (int step = 0; step < 30; ++step) {
    const double before = view->MsAt(pointer.x());
    wheel(120);
    EXPECT_NEAR(view->MsAt(pointer.x()), before, 1e-6) << step;
  }
  EXPECT_NEAR(view->ViewSpanMs(), frameMs * view->PlotWidth(), 1e-6);
  EXPECT_TRUE(view->ScrollBar()->isVisible());
  EXPECT_EQ(view->ScrollBar()->value(), std::lround(view->ViewFromMs()));

  // The view follows a position that leaves it; the scroll bar moves the view.
  w->TrackBarPos->setValue(50000);
  EXPECT_LE(view->ViewFromMs(), 50000.0);
  EXPECT_GE(view->ViewFromMs() + view->ViewSpanMs(), 50000.0);
  view->ScrollBar()->setValue(1000);
  EXPECT_EQ(view->ViewFromMs(), 1000.0);

  for (int step = 0; step < 30; ++step) wheel(-120);
  EXPECT_EQ(view->ViewSpanMs(), 60000.0);
  EXPECT_EQ(view->ViewFromMs(), 0.0);
  EXPECT_FALSE(view->ScrollBar()->isVisible());
}

// ---- The decode -------------------------------------------------------------------------

TEST(Waveform, TheEstimateComesWithTheFactsAndAnOpenOrTheCloseCancelsTheDecode) {
  TWaveEditor w(600000);
  const QString longFile = LongFile(w.Folder, 600);
  w.Open(longFile);
  // The estimate is there as the open ends; the decode replaces it from the start on.
  const TWaveTrack& wave = w->Wave();
  const TEnvelope first = wave.View(0, 600000, 100);
  EXPECT_EQ(first.Covered, 100);
  EXPECT_LT(first.Measured, 100);
  ASSERT_TRUE(WaitFor([&] { return wave.View(0, 600000, 100).Measured > 0; }));
  ASSERT_TRUE(wave.Decoding());

  w.Player->Length = 2500;
  w.Open(Data("cbr128.mp3"));
  EXPECT_EQ(wave.Cancelled(), 1);
  ASSERT_TRUE(WaitFor([&] { return wave.Decoded(); }));
  EXPECT_EQ(wave.View(0, 2500, 50).Measured, 50);
  EXPECT_LE(wave.View(2500, 5000, 50).Covered, 1);  // nothing of the long file is left

  // A file that is no MP3 leaves the page empty and nothing decoding.
  w.Player->Length = 600000;
  w.Open(longFile);
  ASSERT_TRUE(WaitFor([&] { return wave.View(0, 600000, 100).Measured > 0; }));
  w.Open(Data("make-test-data.sh"));
  EXPECT_EQ(wave.Cancelled(), 2);
  EXPECT_TRUE(wave.Empty());

  w.Open(longFile);
  ASSERT_TRUE(WaitFor([&] { return wave.View(0, 600000, 100).Measured > 0; }));
  w->close();
  EXPECT_EQ(wave.Cancelled(), 3);
  EXPECT_FALSE(wave.Decoding());
}

// ---- Drop -------------------------------------------------------------------------------

TEST(DropAndKeys, ADroppedMp3FileOpensAsOpenOpensIt) {
  TWaveEditor w;
  const auto drop = [&](const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    const QPoint at(300, 300);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w.Window.get(), &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w.Window.get(), &dropped);
    QCoreApplication::processEvents();
    return dropped.isAccepted();
  };
  const QString file = Data("cbr128.mp3");
  EXPECT_TRUE(drop(file));
  EXPECT_EQ(w->Mp3()->Info.FileName, file.toStdString());
  ExpectState(*w.Window, TCommandState::FileOpen);
  EXPECT_EQ(w->Label12->text(), file);
  EXPECT_FALSE(w->Wave().Empty());

  // Only what the open dialog's filter offers; an MP3 name over other bytes gets Open's message.
  EXPECT_FALSE(drop(Data("make-test-data.sh")));
  const QString fake = w.Folder.File(QStringLiteral("fake.MP3"));
  QFile::copy(Data("make-test-data.sh"), fake);
  EXPECT_TRUE(drop(fake));
  ExpectState(*w.Window, TCommandState::NoFile);
  ASSERT_EQ(w.Dialogs.Messages.size(), 1u);
  EXPECT_EQ(w.Dialogs.Messages[0].Text, fake + "\r\nis not a MP3 file");

  // Not while a command shows its panel.
  w->PanelState->show();
  EXPECT_FALSE(drop(file));
  w->PanelState->hide();
  EXPECT_EQ(w->Mp3()->Info.FileName, fake.toStdString());
}

// ---- Keys -------------------------------------------------------------------------------

TEST(DropAndKeys, EachKeyReachesItsCommandOnlyWhereItsButtonCouldBeClicked) {
  TWaveEditor w;
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.Window.get()));
  QWidget* window = w.Window.get();
  // Without a file only Open answers.
  QTest::keyClick(window, Qt::Key_Space);
  QTest::keyClick(window, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(w.Dialogs.DialogTitles.isEmpty());
  w.Dialogs.Paths.push_back(Data("cbr128.mp3"));
  QTest::keyClick(window, Qt::Key_O, Qt::ControlModifier);
  ASSERT_EQ(w.Dialogs.DialogTitles, QStringList{"Open MP3 file"});
  ExpectState(*w.Window, TCommandState::FileOpen);

  // The brackets take the position, as the set buttons do.
  w->TrackBarPos->setValue(700);
  QTest::keyClick(window, Qt::Key_BracketLeft);
  EXPECT_EQ(w->StartMs(), 700);
  w->TrackBarPos->setValue(1900);
  QTest::keyClick(window, Qt::Key_BracketRight);
  EXPECT_EQ(w->EndMs(), 1900);
  QTest::keyClick(window, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(w.Dialogs.DialogTitles.size(), 2);  // the save dialog, cancelled

  // Space plays and stops. Meanwhile the set buttons are off, and the brackets set the markers
  // where the sound is, not where the last tick of the position timer left the track bar.
  w->TrackBarPos->setValue(200);
  QTest::keyClick(window, Qt::Key_Space);
  EXPECT_EQ(w->CommandState(), TCommandState::Previewing);
  EXPECT_EQ(w.Player->Plays, 1);
  w.Player->Position = 1234;
  QTest::keyClick(window, Qt::Key_BracketLeft);
  EXPECT_EQ(w->StartMs(), 1234);
  EXPECT_EQ(w->RzMaskEdit1->text(), "000:00:01.234");
  w.Player->Position = 2100;
  QTest::keyClick(window, Qt::Key_BracketRight);
  EXPECT_EQ(w->EndMs(), 2100);
  w.Player->Position = 1000;  // before the start marker: the end stops at it
  QTest::keyClick(window, Qt::Key_BracketRight);
  EXPECT_EQ(w->EndMs(), 1234);
  EXPECT_FALSE(w->BtnSetStart->isEnabled());
  EXPECT_EQ(w->CommandState(), TCommandState::Previewing);
  // Stop reads the position once more: the pin then takes where the sound stopped.
  w.Player->Position = 2345;
  QTest::keyClick(window, Qt::Key_Space);
  EXPECT_EQ(w->CommandState(), TCommandState::FileOpen);
  EXPECT_EQ(w->LabelPos->text(), "000:00:02.345");
  QTest::keyClick(window, Qt::Key_BracketRight);
  EXPECT_EQ(w->EndMs(), 2345);
  EXPECT_EQ(w->StartMs(), 1234);

  // A text edit with the focus keeps Space (and the brackets) as text.
  w->RzPageControl1->setCurrentWidget(w->TabSheet1);
  w->RzCheckBox1->setChecked(true);
  w->RzEdit1->setFocus();
  QTest::keyClick(w->RzEdit1, Qt::Key_Space);
  QTest::keyClick(w->RzEdit1, Qt::Key_BracketRight);
  EXPECT_EQ(w->RzEdit1->text(), " ]");
  EXPECT_EQ(w.Player->Plays, 1);
  EXPECT_EQ(w->EndMs(), 2345);
  // So does a check box or a button with the focus: Space works it, as anywhere else.
  w->RzCheckBox1->setFocus();
  QTest::keyClick(w->RzCheckBox1, Qt::Key_Space);
  EXPECT_FALSE(w->RzCheckBox1->isChecked());
  w->BtnSetStart->setFocus();
  w->TrackBarPos->setValue(300);
  QTest::keyClick(w->BtnSetStart, Qt::Key_Space);
  EXPECT_EQ(w->StartMs(), 300);
  EXPECT_EQ(w.Player->Plays, 1);

  // Nothing while a command runs under its panel.
  w->PanelState->show();
  window->setFocus();
  QTest::keyClick(window, Qt::Key_Space);
  QTest::keyClick(window, Qt::Key_O, Qt::ControlModifier);
  w->PanelState->hide();
  EXPECT_EQ(w.Player->Plays, 1);
  EXPECT_EQ(w.Dialogs.DialogTitles.size(), 2);

  // A click on Play hands the focus to Stop, so Space stops what the click started, and back.
  w->BtnPlayStart->setFocus();
  QTest::mouseClick(w->BtnPlayStart, Qt::LeftButton);
  EXPECT_EQ(w->CommandState(), TCommandState::Previewing);
  EXPECT_EQ(w->focusWidget(), w->BtnStop);
  QTest::keyClick(w->focusWidget(), Qt::Key_Space);
  EXPECT_EQ(w->CommandState(), TCommandState::FileOpen);
  EXPECT_EQ(w->focusWidget(), w->BtnPlayStart);
  EXPECT_EQ(w.Player->Plays, 2);
}

}  // namespace
}  // namespace pelcato::test
