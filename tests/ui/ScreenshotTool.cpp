// Draws the main window as a person sees it, with its drop shadow, into a PNG with a
// transparent background (for the README). Run it under a real display, e.g.
//   xvfb-run -s "-screen 0 800x600x24" build-ui/tests/ui/pelcato_screenshot docs/screenshot.png
// The window is built in a temporary program folder, so no settings file is touched.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "FakeDialogs.h"
#include "ui/UnitMP3Editor.h"
#include "ui/ufrmShadowFrame.h"
#include "wave/WaveTrack.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: %s OUTPUT.png [tags | wave] [desktop] [lang=N] [output=KEY=VALUE...] "
                 "[FILE.mp3 [start=MS] [end=MS] [pos=MS]]\n",
                 argv[0]);
    return 2;
  }
  const QString output = QString::fromLocal8Bit(argv[1]);
  QTemporaryDir folder;
  // English texts unless "lang=N" says otherwise (the language files must then lie in
  // "Languages/" beside this program); the upgrade program does not exist here, so nothing is
  // started.
  QByteArray language = "0";
  // "output=KEY=VALUE" puts an entry in [OUTPUT] (a volume for the waveform's picture of it).
  QByteArray outputEntries;
  for (int i = 2; i < argc; ++i) {
    if (QByteArray(argv[i]).startsWith("lang=")) language = QByteArray(argv[i]).mid(5);
    if (QByteArray(argv[i]).startsWith("output="))
      outputEntries += QByteArray(argv[i]).mid(7) + "\n";
  }
  if (language != "0") {
    QFile::link(QCoreApplication::applicationDirPath() + QStringLiteral("/Languages"),
                folder.filePath(QStringLiteral("Languages")));
  }
  QFile ini(folder.filePath(QStringLiteral("Pelcato.ini")));
  if (!ini.open(QIODevice::WriteOnly) ||
      ini.write("[LANGUAGE]\nDefault=" + language + "\n[UPGRADE]\nPos=1\n[OUTPUT]\n" +
                outputEntries) < 0)
    return 1;
  ini.close();

  pelcato::test::TFakeDialogs dialogs;
  pelcato::TEditorOptions options;
  options.ProgramFolder = folder.path() + QLatin1Char('/');
  pelcato::TFrmMP3Editor window(dialogs, options);
  window.Shadow()->SetCompositorOverride(true);
  // Options after the file name: "tags" puts the tag page in front, "wave" the waveform;
  // "desktop" takes the whole screen as the display server shows it instead of the window with
  // its shadow. "FILE.mp3" opens that file first; "start=", "end=" and "pos=" then move the
  // markers and the position to so many milliseconds as a drag on the waveform does.
  bool desktop = false;
  QString open;
  int64_t start = -1, end = -1, pos = -1;
  for (int i = 2; i < argc; ++i) {
    const QByteArray option = argv[i];
    if (option == "tags") window.RzPageControl1->setCurrentWidget(window.TabSheet1);
    if (option == "wave") window.RzPageControl1->setCurrentWidget(window.TabSheet3);
    if (option == "desktop") desktop = true;
    if (option.endsWith(".mp3")) open = QString::fromLocal8Bit(option);
    if (option.startsWith("start=")) start = option.mid(6).toLongLong();
    if (option.startsWith("end=")) end = option.mid(4).toLongLong();
    if (option.startsWith("pos=")) pos = option.mid(4).toLongLong();
  }
  window.show();
  if (!open.isEmpty()) window.OpenFile(open);
  if (end >= 0) window.PaintBoxWaveMarkerDragged(pelcato::TMarker::End, end, true);
  if (start >= 0) window.PaintBoxWaveMarkerDragged(pelcato::TMarker::Start, start, true);
  if (pos >= 0) window.PaintBoxWavePositionPicked(pos);
  int result = 1;
  // The picture is taken once the decoded peaks have replaced the estimate.
  QElapsedTimer waited;
  waited.start();
  while (window.Wave().Decoding() && waited.elapsed() < 60000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  QTimer::singleShot(1500, &app, [&] {
    if (desktop) {
      QScreen* screen = QGuiApplication::primaryScreen();
      result = screen != nullptr && screen->grabWindow(0).save(output) ? 0 : 1;
      window.hide();
      app.quit();
      return;
    }
    const pelcato::TBgraImage& shadow = window.Shadow()->Image();
    QImage canvas(shadow.Width, shadow.Height, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
      QPainter painter(&canvas);
      painter.drawImage(0, 0,
                        QImage(shadow.Bits.data(), shadow.Width, shadow.Height, shadow.Width * 4,
                               QImage::Format_ARGB32_Premultiplied));
      const QPoint at(pelcato::kShadowMargin, pelcato::kShadowMargin);
      painter.setClipRegion(window.mask().translated(at));
      painter.drawPixmap(at, window.grab());
    }
    result = canvas.save(output) ? 0 : 1;
    window.hide();
    app.quit();
  });
  app.exec();
  return result;
}
