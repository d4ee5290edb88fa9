// How a second start reaches the running copy: a local socket "<name>.socket" beside the
// single-instance lock file, on which the copy holding the lock listens. A second start named
// with a file sends its path there; the running copy answers at once, whatever its window is
// doing: it takes the file and opens it, or it is busy and says why.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class QThread;

namespace pelcato {

// The socket's path for the lock of that name in folder (ending with "/"); empty without one.
QString InstanceSocketPath(const std::string& folder, const char* name);

// The running copy's side: it listens on a thread of its own, so that a window busy with a long
// open or save still answers. Only the holder of the lock may listen: it replaces whatever
// socket an ended copy left behind.
class TInstanceServer : public QObject {
  Q_OBJECT
 public:
  explicit TInstanceServer(QObject* parent = nullptr);
  ~TInstanceServer() override;
  bool Listen(const QString& socketPath);

  // Asked on this object's thread for each file handed over: true when the window takes it
  // (FileHandedOver follows at once), false while a command runs. Without it every file is
  // taken.
  void SetTaker(std::function<bool()> canTake) { FCanTake = std::move(canTake); }
  // The notice a second start shows when the window is busy: its caption and its text, which
  // the file's path follows on a line of its own. It is also the answer while the window's
  // thread cannot answer within a moment (a long open or save holds it). Any thread.
  void SetBusyNotice(const QString& caption, const QString& text);

  struct TRequest;

 signals:
  // On this object's thread, once the sender has been told that the file is taken.
  void FileHandedOver(const QString& path);

 private:
  void Decide(const std::shared_ptr<TRequest>& request);
  friend class TInstanceListener;

  std::function<bool()> FCanTake;
  std::mutex FNoticeLock;
  QString FBusyCaption;
  QString FBusyText;
  QThread* FThread;
  QObject* FListener = nullptr;  // lives on FThread
};

// What the running copy answered a second start.
struct THandOverReply {
  enum { Taken, Busy, NoAnswer } Result = NoAnswer;
  QString Caption;  // the notice of a busy copy
  QString Text;
};

// The second start's side: sends the file's path and waits up to timeoutMs for the answer.
// NoAnswer when no copy answers (then the second start says that one runs).
THandOverReply HandOverFile(const QString& socketPath, const QString& file, int timeoutMs = 3000);

}  // namespace pelcato
