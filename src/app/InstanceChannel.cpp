#include "app/InstanceChannel.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include "app/SingleInstance.h"

namespace pelcato {

namespace {

// A path is a line of UTF-8; anything longer than a path can be is no request.
constexpr qint64 kMaxLine = 64 * 1024;
const QByteArray kTaken = QByteArrayLiteral("ok\n");

}  // namespace

QString InstanceSocketPath(const char* name) {
  const std::string folder = TSingleInstance::LockFolder();
  if (folder.empty()) return {};
  return QString::fromStdString(folder) + QLatin1String(name) + QStringLiteral(".socket");
}

TInstanceServer::TInstanceServer(QObject* parent)
    : QObject(parent), FServer(new QLocalServer(this)) {
  FServer->setSocketOptions(QLocalServer::UserAccessOption);
  connect(FServer, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = FServer->nextPendingConnection()) {
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
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
        socket->write(kTaken);
        socket->flush();
        socket->disconnectFromServer();
        if (path.isEmpty()) return;
        QTimer::singleShot(0, this, [this, path] { emit FileHandedOver(path); });
      });
    }
  });
}

TInstanceServer::~TInstanceServer() = default;

bool TInstanceServer::Listen(const QString& socketPath) {
  if (socketPath.isEmpty()) return false;
  QLocalServer::removeServer(socketPath);
  return FServer->listen(socketPath);
}

bool HandOverFile(const QString& socketPath, const QString& file, int timeoutMs) {
  if (socketPath.isEmpty() || file.isEmpty() || file.contains(QLatin1Char('\n'))) return false;
  QLocalSocket socket;
  socket.connectToServer(socketPath);
  if (!socket.waitForConnected(timeoutMs)) return false;
  socket.write(file.toUtf8() + '\n');
  if (!socket.waitForBytesWritten(timeoutMs)) return false;
  QByteArray answer;
  while (answer.size() < kTaken.size() && socket.waitForReadyRead(timeoutMs)) {
    answer += socket.readAll();
  }
  return answer.startsWith(kTaken);
}

}  // namespace pelcato
