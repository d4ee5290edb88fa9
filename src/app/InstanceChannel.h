// How a second start reaches the running copy: a local socket "<name>.socket" beside the
// single-instance lock file, on which the copy holding the lock listens. A second start named
// with a file sends its path there, and the running copy opens it.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace pelcato {

// The socket's path for the lock of that name; empty when there is no lock folder.
QString InstanceSocketPath(const char* name);

// The running copy's side. Only the holder of the lock may listen: it replaces whatever socket
// an ended copy left behind.
class TInstanceServer : public QObject {
  Q_OBJECT
 public:
  explicit TInstanceServer(QObject* parent = nullptr);
  ~TInstanceServer() override;
  bool Listen(const QString& socketPath);

 signals:
  // From the event loop, after the sender has been answered: it never waits for what the
  // running copy does with the file.
  void FileHandedOver(const QString& path);

 private:
  QLocalServer* FServer;
};

// The second start's side: sends the file's path and waits up to timeoutMs for the running
// copy to take it. False when no copy answers (then the second start says that one runs).
bool HandOverFile(const QString& socketPath, const QString& file, int timeoutMs = 3000);

}  // namespace pelcato
