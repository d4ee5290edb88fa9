// The desktop program on a program folder of the test's own: shows the main window, puts one
// working copy into "Tmp/", says "shown" and runs until the window closes. A second argument
// is a file named on the command line. Message boxes are answered Ok (Yes to a question) and
// written to standard error.
//
// With a third argument ("open", "save" or "split") the file is opened at once, the command
// started with the desktop's own dialogs, and "dialog" said once its first dialog is up.
#include <QApplication>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>

#include "FakeDialogs.h"
#include "app/SingleInstance.h"
#include "app/Startup.h"

int main(int argc, char* argv[]) {
  if (argc < 2) return 2;
  QApplication app(argc, argv);
  pelcato::TSingleInstance guard;
  pelcato::test::TFakeDialogs fake;
  fake.OnMessage = [](const pelcato::test::TShownMessage& box) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(box.Caption), qPrintable(box.Text));
  };
  pelcato::TQtDialogs desktop;
  const char* command = argc > 3 ? argv[3] : nullptr;
  pelcato::TStartOptions options;
  options.Editor.ProgramFolder = QString::fromLocal8Bit(argv[1]);
  const QString file = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
  if (command == nullptr) options.OpenAtStart = file;
  options.WindowShown = [command, file](pelcato::TFrmMP3Editor& window) {
    const QString copy = QString::fromStdString(window.Settings().TempFolder);
    QFile working(copy + QStringLiteral("working.mp3"));
    if (working.open(QIODevice::WriteOnly)) working.write("copy");
    window.TempFiles() << working.fileName();
    std::puts("shown");
    std::fflush(stdout);
    if (command == nullptr) return;
    auto* watch = new QTimer(&window);
    QObject::connect(watch, &QTimer::timeout, watch, [watch] {
      if (QApplication::activeModalWidget() == nullptr) return;
      std::puts("dialog");
      std::fflush(stdout);
      watch->stop();
    });
    watch->start(20);
    QTimer::singleShot(0, &window, [&window, command, file] {
      window.OpenFile(file);
      if (std::strcmp(command, "open") == 0) window.BtnOpenMp3Click();
      if (std::strcmp(command, "save") == 0) window.BtnSaveMp3Click();
      if (std::strcmp(command, "split") == 0) window.BtnSplitClick();
    });
  };
  return pelcato::RunPelcato(guard, command ? static_cast<pelcato::TDialogs&>(desktop) : fake,
                             options);
}
