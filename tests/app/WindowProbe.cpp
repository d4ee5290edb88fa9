// The desktop program on a program folder of the test's own: shows the main window, puts one
// working copy into "Tmp/", says "shown" and runs until the window closes. A second argument
// is a file named on the command line. Message boxes are answered Ok and written to standard
// error.
#include <QApplication>
#include <QFile>
#include <cstdio>

#include "app/SingleInstance.h"
#include "app/Startup.h"
#include "ui/Dialogs.h"

namespace {

class TProbeDialogs : public pelcato::TDialogs {
 public:
  pelcato::TMsgAnswer ShowMessage(QWidget*, const QString& text, const QString& caption,
                                  pelcato::TMsgIcon, pelcato::TMsgButtons) override {
    std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
    return pelcato::TMsgAnswer::Ok;
  }
  QString OpenFile(QWidget*, const QString&, const QString&) override { return {}; }
  QString SaveFile(QWidget*, const QString&, const QString&, const QString&,
                   const QString&) override {
    return {};
  }
  QString ExistingDirectory(QWidget*, const QString&, const QString&) override { return {}; }
  void ShowFolder(const QString&) override {}
};

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) return 2;
  QApplication app(argc, argv);
  pelcato::TSingleInstance guard;
  TProbeDialogs dialogs;
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
