// The desktop program on a program folder of the test's own: shows the main window, puts one
// working copy into "Tmp/", says "shown" and runs until the window closes. A second argument
// is a file named on the command line. Message boxes are answered Ok (Yes to a question) and
// written to standard error.
#include <QApplication>
#include <QFile>
#include <cstdio>

#include "FakeDialogs.h"
#include "app/SingleInstance.h"
#include "app/Startup.h"

int main(int argc, char* argv[]) {
  if (argc < 2) return 2;
  QApplication app(argc, argv);
  pelcato::TSingleInstance guard;
  pelcato::test::TFakeDialogs dialogs;
  dialogs.OnMessage = [](const pelcato::test::TShownMessage& box) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(box.Caption), qPrintable(box.Text));
  };
  pelcato::TStartOptions options;
  options.Editor.ProgramFolder = QString::fromLocal8Bit(argv[1]);
  if (argc > 2) options.OpenAtStart = QString::fromLocal8Bit(argv[2]);
  options.WindowShown = [](pelcato::TFrmMP3Editor& window) {
    const QString copy = QString::fromStdString(window.Settings().TempFolder);
    QFile file(copy + QStringLiteral("working.mp3"));
    if (file.open(QIODevice::WriteOnly)) file.write("copy");
    window.TempFiles() << file.fileName();
    std::puts("shown");
    std::fflush(stdout);
  };
  return pelcato::RunPelcato(guard, dialogs, options);
}
