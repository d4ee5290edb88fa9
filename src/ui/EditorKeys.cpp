// The main window's keys and drops: Ctrl+O opens, Ctrl+Shift+S saves as, Space plays or stops,
// "[" and "]" set the start and end marker at the position, each only while its button is
// enabled and no command runs; while a preview plays, when those buttons are off, the brackets
// set the marker where the sound is. The buttons' hints name their keys. A file dragged from
// the file manager onto the window opens as Open opens it.
#include <QAbstractButton>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QUrl>
#include <functional>
#include <utility>

#include "ui/Skin.h"
#include "ui/UnitMP3Editor.h"

namespace pelcato {
namespace {

// Claims Space for the control it watches before the window's shortcut can take it.
class TKeepSpace : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::ShortcutOverride) {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
        event->accept();
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

void TFrmMP3Editor::CreateKeys() {
  const auto add = [this](const QKeySequence& keys, const std::function<void()>& act) {
    auto* shortcut = new QShortcut(keys, this);
    shortcut->setContext(Qt::WindowShortcut);
    // A key does what a click on its button does, only where that click could be made.
    connect(shortcut, &QShortcut::activated, this, [this, act] {
      if (!CommandRunning()) act();
    });
  };
  const auto click = [](QAbstractButton* button) {
    if (button->isEnabled()) button->click();
  };
  add(QKeySequence(Qt::CTRL | Qt::Key_O), [=, this] { click(BtnOpenMp3); });
  add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), [=, this] { click(BtnSaveMp3); });
  // A text edit that has the focus takes Space (and the brackets) as text before any shortcut;
  // a button, check box or list box with the focus keeps Space too, which works it as
  // everywhere else.
  auto* keepSpace = new TKeepSpace(this);
  for (QAbstractButton* button : findChildren<QAbstractButton*>()) {
    button->installEventFilter(keepSpace);
  }
  for (QComboBox* box : findChildren<QComboBox*>()) box->installEventFilter(keepSpace);
  add(QKeySequence(Qt::Key_Space), [=, this] {
    click(BtnPlayStart->isEnabled() ? static_cast<QAbstractButton*>(BtnPlayStart) : BtnStop);
  });
  add(QKeySequence(Qt::Key_BracketLeft), [=, this] {
    if (FCommandState == TCommandState::Previewing) {
      MarkHeardPosition(TMarker::Start);
    } else {
      click(BtnSetStart);
    }
  });
  add(QKeySequence(Qt::Key_BracketRight), [=, this] {
    if (FCommandState == TCommandState::Previewing) {
      MarkHeardPosition(TMarker::End);
    } else {
      click(BtnSetEnd);
    }
  });
}

void TFrmMP3Editor::ApplyKeyHints() {
  const std::pair<QAbstractButton*, QKeySequence> hints[] = {
      {BtnOpenMp3, QKeySequence(Qt::CTRL | Qt::Key_O)},
      {BtnSaveMp3, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
      {BtnPlayStart, QKeySequence(Qt::Key_Space)},
      {BtnStop, QKeySequence(Qt::Key_Space)},
      {BtnSetStart, QKeySequence(Qt::Key_BracketLeft)},
      {BtnSetEnd, QKeySequence(Qt::Key_BracketRight)},
  };
  for (const auto& [button, keys] : hints) {
    const QString suffix =
        QStringLiteral(" (") + keys.toString(QKeySequence::NativeText) + QLatin1Char(')');
    QString hint = button->toolTip();
    // Our own hint, unchanged since it was set: the language file gave no new one.
    const bool ours = button->property("KeyHint").toString() == hint && !hint.isEmpty();
    if (ours && hint.endsWith(suffix)) hint.chop(suffix.size());
    // A button without a hint of its own is named by its caption.
    if (hint.isEmpty() || (ours && button->property("HintFromCaption").toBool())) {
      hint = button->text().remove(QLatin1Char('&')).simplified();
      button->setProperty("HintFromCaption", true);
    } else if (!ours) {
      button->setProperty("HintFromCaption", false);
    }
    button->setToolTip(hint + suffix);
    button->setProperty("KeyHint", button->toolTip());
  }
}

// ---- Dropped files ------------------------------------------------------------------------

QString TFrmMP3Editor::DroppedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return {};
  // The first local MP3 file: what the open dialog's filter would offer.
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) continue;
    const QString path = url.toLocalFile();
    if (path.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive) && !QFileInfo(path).isDir()) {
      return path;
    }
  }
  return {};
}

void TFrmMP3Editor::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedFile(event->mimeData()).isEmpty() && !CommandRunning()) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void TFrmMP3Editor::dropEvent(QDropEvent* event) {
  const QString path = DroppedFile(event->mimeData());
  if (path.isEmpty() || CommandRunning()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  // Opened once the drop is over, so that the file manager does not wait for the analysis;
  // a command that starts in between gets the notice instead.
  QMetaObject::invokeMethod(
      this,
      [this, path] {
        if (FClosed) return;
        if (CommandRunning()) {
          HandedOverNotice(path);
        } else {
          OpenFile(path);
        }
      },
      Qt::QueuedConnection);
}

}  // namespace pelcato
