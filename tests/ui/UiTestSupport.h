// Shared by the desktop tests: a scripted stand-in for the message boxes and file dialogs, a
// program folder of the tests' own, and a main() that runs GoogleTest inside a QApplication.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <deque>
#include <vector>

#include "ui/Dialogs.h"

namespace pelcato::test {

struct TShownMessage {
  QString Text;
  QString Caption;
  TMsgIcon Icon;
  TMsgButtons Buttons;
};

// Records every box; answers from a script (Ok, or Yes for Yes/No boxes, once it runs out).
class TFakeDialogs : public TDialogs {
 public:
  TMsgAnswer ShowMessage(QWidget* parent, const QString& text, const QString& caption,
                         TMsgIcon icon, TMsgButtons buttons) override;
  QString OpenFile(QWidget* parent, const QString& title, const QString& filter) override;
  QString SaveFile(QWidget* parent, const QString& title, const QString& filter,
                   const QString& suggestedName, const QString& firstFolder) override;
  QString ExistingDirectory(QWidget* parent, const QString& title,
                            const QString& startFolder) override;
  void ShowFolder(const QString& folder) override { ShownFolders << folder; }

  std::vector<TShownMessage> Messages;
  QStringList ShownFolders;
  QStringList StartFolders;  // where each folder chooser started
  QStringList Suffixes;      // the default suffix of each save dialog
  QStringList SaveFolders;   // the folder each save dialog would start in the first time
  std::deque<TMsgAnswer> Answers;
  std::deque<QString> Paths;  // answers of the file and folder dialogs; empty: cancelled
  QStringList DialogTitles;

 private:
  QString NextPath();
};

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
