// A stand-in for the message boxes and file dialogs, for the desktop tests and for the programs
// that run the window with no person in front of it (probes, the screenshot, the benchmark).
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "ui/Dialogs.h"

namespace pelcato::test {

struct TShownMessage {
  QString Text;
  QString Caption;
  TMsgIcon Icon;
  TMsgButtons Buttons;
};

// Records every box and dialog; answers from a script (Ok, or Yes for Yes/No boxes, once it
// runs out; a dialog without a path in the script is cancelled).
class TFakeDialogs : public TDialogs {
 public:
  TMsgAnswer ShowMessage(QWidget*, const QString& text, const QString& caption, TMsgIcon icon,
                         TMsgButtons buttons) override {
    Messages.push_back({text, caption, icon, buttons});
    if (OnMessage) OnMessage(Messages.back());
    if (Answers.empty()) return buttons == TMsgButtons::YesNo ? TMsgAnswer::Yes : TMsgAnswer::Ok;
    const TMsgAnswer answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
  QString OpenFile(QWidget*, const QString& title, const QString&) override {
    DialogTitles << title;
    return NextPath();
  }
  QString SaveFile(QWidget*, const QString& title, const QString&, const QString& defaultSuffix,
                   const QString& firstFolder) override {
    DialogTitles << title;
    Suffixes << defaultSuffix;
    SaveFolders << firstFolder;
    return NextPath();
  }
  QString ExistingDirectory(QWidget*, const QString& title, const QString& startFolder) override {
    DialogTitles << title;
    StartFolders << startFolder;
    return NextPath();
  }
  void ShowFolder(const QString& folder) override { ShownFolders << folder; }

  std::vector<TShownMessage> Messages;
  // Told of every box as it is shown, e.g. to write it out.
  std::function<void(const TShownMessage&)> OnMessage;
  QStringList ShownFolders;
  QStringList StartFolders;  // where each folder chooser started
  QStringList Suffixes;      // the default suffix of each save dialog
  QStringList SaveFolders;   // the folder each save dialog would start in the first time
  std::deque<TMsgAnswer> Answers;
  std::deque<QString> Paths;  // answers of the file and folder dialogs; empty: cancelled
  QStringList DialogTitles;

 private:
  QString NextPath() {
    if (Paths.empty()) return {};
    const QString path = Paths.front();
    Paths.pop_front();
    return path;
  }
};

}  // namespace pelcato::test
