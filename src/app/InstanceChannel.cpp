#include "app/InstanceChannel.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <chrono>
#include <condition_variable>

namespace pelcato {

namespace {

// A path is a line of UTF-8; anything longer than a path can be is no request.
constexpr qint64 kMaxLine = 64 * 1024;
const QByteArray kTaken = QByteArrayLiteral("ok\n");
const QByteArray kBusy = QByteArrayLiteral("busy\n");
// How long the window's thread has to answer before the listener says that it is busy: far
// more than a window that runs its event loop needs, far less than the sender waits.
constexpr auto kWindowAnswers = std::chrono::milliseconds(400);

}  // namespace

// A path handed over, between the listening thread and the window's.
struct TInstanceServer::TRequest {
  enum TState { Waiting, Deciding, Answered };
  explicit TRequest(QString path) : Path(std::move(path)) {}
  const QString Path;
  std::mutex Lock;
  std::condition_variable Changed;
  TState State = Waiting;
  bool Taken = false;
};

// Lives on the server's thread: reads each request, has the window's thread decide, and
// answers.
class TInstanceListener : public QObject {
 public:
  explicit TInstanceListener(TInstanceServer& owner) : FOwner(owner) {}

  bool Listen(const QString& socketPath) {
    FServer = new QLocalServer(this);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(FServer, &QLocalServer::newConnection, this, [this] {
      while (QLocalSocket* socket = FServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
      }
    });
    QLocalServer::removeServer(socketPath);
    return FServer->listen(socketPath);
  }

 private:
  void Read(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
      if (socket->bytesAvailable() > kMaxLine) socket->abort();
      return;
    }
    QByteArray line = socket->readLine(kMaxLine);
    if (!line.endsWith('\n')) {
      socket->abort();
      return;
    }
    line.chop(1);
    const QString path = QString::fromUtf8(line);
    if (path.isEmpty()) {
      socket->disconnectFromServer();
      return;
    }
    auto request = std::make_shared<TInstanceServer::TRequest>(path);
    QMetaObject::invokeMethod(
        &FOwner, [owner = &FOwner, request] { owner->Decide(request); }, Qt::QueuedConnection);
    bool taken = false;
    {
      std::unique_lock<std::mutex> hold(request->Lock);
      request->Changed.wait_for(hold, kWindowAnswers, [&] {
        return request->State != TInstanceServer::TRequest::Waiting;
      });
      // Once the window's thread has begun to decide, it answers in a moment.
      request->Changed.wait(hold,
                            [&] { return request->State != TInstanceServer::TRequest::Deciding; });
      // Not begun: the window is held by a command, and will not take the file later either.
      if (request->State == TInstanceServer::TRequest::Waiting) {
        request->State = TInstanceServer::TRequest::Answered;
      }
      taken = request->Taken;
    }
    if (taken) {
      socket->write(kTaken);
    } else {
      std::lock_guard<std::mutex> hold(FOwner.FNoticeLock);
      socket->write(kBusy + FOwner.FBusyCaption.toUtf8() + '\n' + FOwner.FBusyText.toUtf8() + '\n' +
                    line);
    }
    socket->flush();
    socket->disconnectFromServer();
  }

  TInstanceServer& FOwner;
  QLocalServer* FServer = nullptr;
};

QString InstanceSocketPath(const std::string& folder, const char* name) {
  if (folder.empty()) return {};
  return QString::fromStdString(folder) + QLatin1String(name) + QStringLiteral(".socket");
}

TInstanceServer::TInstanceServer(QObject* parent) : QObject(parent), FThread(new QThread(this)) {
  FBusyCaption = QStringLiteral("Information");
  FBusyText = QStringLiteral("The file was not opened because another command is still running:");
}

TInstanceServer::~TInstanceServer() {
  if (FListener != nullptr) {
    QMetaObject::invokeMethod(FListener, &QObject::deleteLater);
    FThread->quit();
    FThread->wait();
  }
}

bool TInstanceServer::Listen(const QString& socketPath) {
  if (socketPath.isEmpty() || FListener != nullptr) return false;
  auto* listener = new TInstanceListener(*this);
  listener->moveToThread(FThread);
  FListener = listener;
  FThread->start();
  bool listening = false;
  QMetaObject::invokeMethod(
      listener, [listener, socketPath, &listening] { listening = listener->Listen(socketPath); },
      Qt::BlockingQueuedConnection);
  return listening;
}

void TInstanceServer::SetBusyNotice(const QString& caption, const QString& text) {
  std::lock_guard<std::mutex> hold(FNoticeLock);
  FBusyCaption = caption;
  FBusyText = text;
}

void TInstanceServer::Decide(const std::shared_ptr<TRequest>& request) {
  {
    std::lock_guard<std::mutex> hold(request->Lock);
    if (request->State != TRequest::Waiting) return;  // answered busy meanwhile
    request->State = TRequest::Deciding;
  }
  bool taken = true;
  try {
    taken = !FCanTake || FCanTake();
  } catch (...) {
    taken = false;
  }
  {
    std::lock_guard<std::mutex> hold(request->Lock);
    request->Taken = taken;
    request->State = TRequest::Answered;
  }
  request->Changed.notify_all();
  // The answer is on its way; the file is opened now, so that nothing comes in between.
  if (taken) emit FileHandedOver(request->Path);
}

THandOverReply HandOverFile(const QString& socketPath, const QString& file, int timeoutMs) {
  THandOverReply reply;
  if (socketPath.isEmpty() || file.isEmpty() || file.contains(QLatin1Char('\n'))) return reply;
  QLocalSocket socket;
  socket.connectToServer(socketPath);
  if (!socket.waitForConnected(timeoutMs)) return reply;
  socket.write(file.toUtf8() + '\n');
  if (!socket.waitForBytesWritten(timeoutMs)) return reply;
  // The answer ends where the running copy closes the connection.
  QByteArray answer;
  while (socket.state() == QLocalSocket::ConnectedState && socket.waitForReadyRead(timeoutMs)) {
    answer += socket.readAll();
  }
  answer += socket.readAll();
  if (answer == kTaken) {
    reply.Result = THandOverReply::Taken;
  } else if (answer.startsWith(kBusy)) {
    const QList<QByteArray> lines = answer.mid(kBusy.size()).split('\n');
    reply.Result = THandOverReply::Busy;
    reply.Caption = QString::fromUtf8(lines.value(0));
    reply.Text = QString::fromUtf8(answer.mid(kBusy.size() + lines.value(0).size() + 1));
  }
  return reply;
}

}  // namespace pelcato
