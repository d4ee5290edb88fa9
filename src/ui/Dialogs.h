// Message boxes and file dialogs behind one interface, so that every command reaches them
// the same way and tests can answer them.
#pragma once

#include <QString>

class QWidget;

namespace pelcato {

enum class TMsgIcon { None, Information, Warning, Error };
enum class TMsgButtons { Ok, YesNo };
enum class TMsgAnswer { Ok, Yes, No, Cancel };

class TDialogs {
 public:
  virtual ~TDialogs() = default;

  // A modal message box; the answer is the button the user pressed (Cancel when the box was
  // closed otherwise).
  virtual TMsgAnswer ShowMessage(QWidget* parent, const QString& text, const QString& caption,
                                 TMsgIcon icon, TMsgButtons buttons) = 0;
  // File dialogs: filter in the form "Description|pattern|Description|pattern". The chosen
  // path, or an empty text when the user cancelled.
  virtual QString OpenFile(QWidget* parent, const QString& title, const QString& filter) = 0;
  // The save dialog asks before it replaces a file, and adds defaultSuffix (without its dot)
  // to a name typed without an extension. It starts from the path chosen at its last use, and
  // in firstFolder (with no name) the first time.
  virtual QString SaveFile(QWidget* parent, const QString& title, const QString& filter,
                           const QString& defaultSuffix, const QString& firstFolder) = 0;
  // A folder, starting in startFolder; empty when cancelled.
  virtual QString ExistingDirectory(QWidget* parent, const QString& title,
                                    const QString& startFolder) = 0;
  // Shows a folder in the desktop's file manager.
  virtual void ShowFolder(const QString& folder) = 0;
};

// The desktop's own boxes and dialogs. The save dialog remembers the path it was last
// confirmed with.
class TQtDialogs : public TDialogs {
 public:
  TMsgAnswer ShowMessage(QWidget* parent, const QString& text, const QString& caption,
                         TMsgIcon icon, TMsgButtons buttons) override;
  QString OpenFile(QWidget* parent, const QString& title, const QString& filter) override;
  QString SaveFile(QWidget* parent, const QString& title, const QString& filter,
                   const QString& defaultSuffix, const QString& firstFolder) override;
  QString ExistingDirectory(QWidget* parent, const QString& title,
                            const QString& startFolder) override;
  void ShowFolder(const QString& folder) override;

 private:
  QString FOpenFolder;
  QString FSavePath;
};

// "MP3(*.mp3)|*.mp3" as the filter text of QFileDialog's static functions.
QString QtFileFilter(const QString& filter);

}  // namespace pelcato
