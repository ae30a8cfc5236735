// The station's page and documents over the SeedLink port: the listener
// hands each HTTP request that is not the WebSocket upgrade to Take (its
// routing hook), which answers it from the routes and closes the
// connection once the response is written. It never waits: the response
// goes into the socket's buffer whole, and a client that does not take it
// within the write timeout is cut off. At most kMaxConnections responses
// are in flight; more get 503 at once, so a flood costs a bounded amount.
#pragma once

#include <QObject>

#include <set>

#include "seedlink_server/seedlink_server.h"
#include "web_server/web_routes.h"

class QTcpSocket;

namespace voxa {

class StationWeb final : public QObject {
  Q_OBJECT

 public:
  static constexpr int kMaxConnections = 32;
  static constexpr int kWriteTimeoutMs = 30000;

  explicit StationWeb(WebSite site, QObject* parent = nullptr);
  ~StationWeb() override;

  // The listener's routing hook: server.SetHttpRoute(web.Route()).
  SeedLinkServer::HttpRoute Route();
  // Answers the request whose head (up to its blank line) is still unread on
  // socket; always true (what is not served gets 404 from the routes).
  bool Take(QTcpSocket* socket, const QByteArray& head);

  int InFlight() const { return static_cast<int>(sockets_.size()); }
  int64_t Served() const { return served_; }

 private:
  void Forget(QTcpSocket* socket);

  WebSite site_;
  std::set<QTcpSocket*> sockets_;
  int64_t served_ = 0;
};

}  // namespace voxa
