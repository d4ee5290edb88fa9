// Shared by the desktop tests: the scripted stand-in for the message boxes and file dialogs, a
// program folder of the tests' own, and a main() that runs GoogleTest inside a QApplication.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include "FakeDialogs.h"

namespace pelcato::test {

// A temporary program folder: "Tmp/", optionally "Languages/" with the shipped language files,
// "Pelcato.ini" and a stand-in "upgrade.exe" that writes its arguments, one a line, into
// "upgrade-args.txt" beside it.
class TProgramFolder {
 public:
  explicit TProgramFolder(bool withLanguages = false);
  QString Path() const;  // with a trailing "/"
  QString File(const QString& name) const { return Path() + name; }
  void WriteSettings(const QByteArray& content) const;
  QByteArray ReadSettings() const;
  void InstallUpgradeStandIn() const;
  // The arguments the stand-in received, or an empty list when it has not run.
  QStringList UpgradeArguments() const;

 private:
  QTemporaryDir FDir;
};

// Takes the addresses handed to QDesktopServices::openUrl once registered with
// QDesktopServices::setUrlHandler(scheme, catcher, "Open").
class TUrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> Opened;
 public slots:
  void Open(const QUrl& url) { Opened << url; }
};

// Whether the file holds "name=value" in its [section] (names as written).
bool IniHas(const QByteArray& ini, const char* section, const char* entry);

}  // namespace pelcato::test
