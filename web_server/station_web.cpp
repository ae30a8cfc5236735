#include "web_server/station_web.h"

#include <QTcpSocket>
#include <QTimer>

namespace voxa {

StationWeb::StationWeb(WebSite site, QObject* parent) : QObject(parent), site_(std::move(site)) {}

StationWeb::~StationWeb() {
  for (QTcpSocket* socket : sockets_) {
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
  }
}

SeedLinkServer::HttpRoute StationWeb::Route() {
  return [this](QTcpSocket* socket, const QByteArray& head) { return Take(socket, head); };
}

bool StationWeb::Take(QTcpSocket* socket, const QByteArray& head) {
  // The head is consumed; a GET carries no body worth reading.
  socket->read(head.size());
  socket->setParent(this);
  HttpResponse response;
  if (InFlight() >= kMaxConnections) {
    response.status = 503;
    response.body = "Busy, try again\n";
  } else {
    response = Respond(site_, std::string_view(head.constData(), static_cast<size_t>(head.size())));
  }
  ++served_;
  sockets_.insert(socket);
  connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Forget(socket); });
  // Whatever the client sends after its request is not read; dropping it
  // keeps the socket's read buffer from growing.
  connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
  QTimer::singleShot(kWriteTimeoutMs, socket, [this, socket] {
    socket->abort();
    Forget(socket);
  });
  const std::string headText = ResponseHead(response);
  socket->write(headText.data(), static_cast<qint64>(headText.size()));
  socket->write(response.body.data(), static_cast<qint64>(response.body.size()));
  // Closes once the buffer is written.
  socket->disconnectFromHost();
  if (socket->state() == QAbstractSocket::UnconnectedState) Forget(socket);
  return true;
}

void StationWeb::Forget(QTcpSocket* socket) {
  if (sockets_.erase(socket) == 0) return;
  socket->disconnect(this);
  socket->deleteLater();
}

}  // namespace voxa
