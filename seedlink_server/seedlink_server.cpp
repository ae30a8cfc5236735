#include "seedlink_server/seedlink_server.h"

#include <QDateTime>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>

#include <array>

namespace voxa {
namespace {

// What a client may have waiting in its socket's buffer before its session
// stops taking packets from the ring: a few seconds of the busiest stream,
// so a healthy client never waits and a stalled one costs this much at most.
constexpr qint64 kMaxPending = 64 * 1024;
// An HTTP request's head (request line and header fields) larger than this
// is refused.
constexpr qsizetype kMaxHttpHead = 8192;
// Refusals over a limit are logged once and then counted, at most one line
// every so often, so a flood of connections does not flood the log.
constexpr Micros kRefusalLogInterval = 10 * kMicrosPerSecond;

std::string PeerText(const QHostAddress& address, quint16 port) {
  QHostAddress plain = address;
  bool isV4 = false;
  const quint32 v4 = address.toIPv4Address(&isV4);
  if (isV4) plain = QHostAddress(v4);
  return plain.toString().toStdString() + ":" + std::to_string(port);
}

std::string AddressText(const QHostAddress& address) {
  bool isV4 = false;
  const quint32 v4 = address.toIPv4Address(&isV4);
  return (isV4 ? QHostAddress(v4) : address).toString().toStdString();
}

}  // namespace

struct SeedLinkServer::Connection {
  enum class Stage { Sniffing, SeedLink, WebSocket };
  QTcpSocket* socket = nullptr;
  QWebSocket* webSocket = nullptr;
  std::string peer;
  std::string address;
  Micros connected = 0;
  Stage stage = Stage::Sniffing;
  bool wroteSinceTick = false;
  std::unique_ptr<SocketOutput> output;
  std::unique_ptr<ClientSession> session;
};

// A session's replies and packets: on a TCP socket each handshake reply in
// one send() (flushed at once, without waiting), on a WebSocket each reply
// and packet one binary frame.
class SeedLinkServer::SocketOutput final : public SessionOutput {
 public:
  explicit SocketOutput(Connection& connection) : connection_(connection) {}
  void Send(const uint8_t* data, size_t size) override {
    if (connection_.webSocket != nullptr) {
      connection_.webSocket->sendBinaryMessage(
          QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
      return;
    }
    connection_.socket->write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    // A handshake reply goes out at once, alone (a client may read it with
    // one recv); streamed packets go out together on the next pass of the
    // event loop, a write for many packets instead of one each.
    if (!connection_.session || !connection_.session->Streaming()) connection_.socket->flush();
  }

 private:
  Connection& connection_;
};

SeedLinkServer::SeedLinkServer(PacketRing& ring, const SeedLinkOptions& options, const StationIdentity& identity,
                               std::string archiveRoot, LogLine log, QObject* parent)
    : QObject(parent), ring_(ring), log_(std::move(log)) {
  context_.ring = &ring;
  context_.identity = identity;
  context_.options = options;
  context_.archiveRoot = std::move(archiveRoot);
  context_.log = log_;
  clock_ = [] { return static_cast<Micros>(QDateTime::currentMSecsSinceEpoch()) * 1000; };
  if (context_.identity.started == 0) context_.identity.started = Now();

  server_ = new QTcpServer(this);
  connect(server_, &QTcpServer::newConnection, this, &SeedLinkServer::OnNewConnection);
  webSockets_ = new QWebSocketServer(QStringLiteral("VOXA Monitor"), QWebSocketServer::NonSecureMode, this);
  webSockets_->setSupportedSubprotocols({QStringLiteral("SeedLink3.1")});
  webSockets_->setHandshakeTimeout(std::chrono::milliseconds(int64_t{options.handshakeTimeoutSeconds} * 1000));
  connect(webSockets_, &QWebSocketServer::newConnection, this, &SeedLinkServer::OnWebSocket);

  tick_.setInterval(250);
  connect(&tick_, &QTimer::timeout, this, &SeedLinkServer::Tick);
  wake_.setSingleShot(true);
  wake_.setInterval(0);
  connect(&wake_, &QTimer::timeout, this, &SeedLinkServer::PumpAll);
  ring_.SetAppendListener([this] {
    if (!wake_.isActive()) wake_.start();
  });
}

SeedLinkServer::~SeedLinkServer() {
  ring_.SetAppendListener({});
  for (auto& [key, connection] : connections_) {
    if (connection->socket != nullptr) connection->socket->disconnect(this);
    if (connection->webSocket != nullptr) connection->webSocket->disconnect(this);
  }
}

bool SeedLinkServer::Listen(std::string& error) {
  QHostAddress address;
  if (!address.setAddress(QString::fromStdString(context_.options.address))) {
    error = "SeedLink: \"" + context_.options.address + "\" is not an IP address";
    return false;
  }
  if (!server_->listen(address, context_.options.port)) {
    error = "SeedLink: cannot listen on " + context_.options.address + ":" +
            std::to_string(context_.options.port) + ": " + server_->errorString().toStdString();
    return false;
  }
  tick_.start();
  Log("SeedLink listening on " + PeerText(server_->serverAddress(), server_->serverPort()));
  return true;
}

uint16_t SeedLinkServer::Port() const { return server_->serverPort(); }

SeedLinkStats SeedLinkServer::Stats() const {
  SeedLinkStats stats;
  stats.listening = server_->isListening();
  if (stats.listening) stats.address = PeerText(server_->serverAddress(), server_->serverPort());
  stats.packetsSent = packetsOfGone_;
  stats.connections = accepted_;
  stats.refused = refused_;
  for (const auto& [key, connection] : connections_) {
    SeedLinkClientInfo info;
    info.peer = connection->peer;
    info.webSocket = connection->webSocket != nullptr;
    info.connected = connection->connected;
    if (connection->session) {
      info.streaming = connection->session->Streaming();
      info.packetsSent = connection->session->Stats().packetsSent;
      stats.packetsSent += info.packetsSent;
    }
    stats.clients.push_back(info);
  }
  return stats;
}

void SeedLinkServer::NoteRefused(const std::string& peer, const char* why) {
  ++refused_;
  ++refusedUnlogged_;
  const Micros now = Now();
  if (now - lastRefusalLog_ < kRefusalLogInterval) return;
  std::string line = "SeedLink refused " + peer + ": " + why;
  if (refusedUnlogged_ > 1) line += " (" + std::to_string(refusedUnlogged_ - 1) + " more refused since the last line)";
  Log(line);
  refusedUnlogged_ = 0;
  lastRefusalLog_ = now;
}

void SeedLinkServer::OnNewConnection() {
  while (QTcpSocket* socket = server_->nextPendingConnection()) {
    const std::string address = AddressText(socket->peerAddress());
    const std::string peer = PeerText(socket->peerAddress(), socket->peerPort());
    const char* refusal = nullptr;
    if (static_cast<int32_t>(connections_.size()) >= context_.options.maxClients) refusal = "too many clients";
    if (perAddress_[address] >= context_.options.maxPerAddress) refusal = "too many clients from its address";
    if (refusal != nullptr) {
      NoteRefused(peer, refusal);
      socket->abort();
      socket->deleteLater();
      continue;
    }
    ++accepted_;
    ++perAddress_[address];
    auto connection = std::make_unique<Connection>();
    connection->socket = socket;
    connection->peer = peer;
    connection->address = address;
    connection->connected = Now();
    Connection* raw = connection.get();
    connections_[socket] = std::move(connection);
    connect(socket, &QTcpSocket::readyRead, this, [this, raw] { OnReadable(*raw); });
    // Queued too: flush() reports written bytes from inside the session's
    // Pump, which must not be entered again.
    connect(
        socket, &QTcpSocket::bytesWritten, this, [this, socket] { OnWritten(socket); }, Qt::QueuedConnection);
    // Queued: a write that finds the peer gone emits this inside the
    // session's own call, which must not delete the session under itself.
    connect(
        socket, &QTcpSocket::disconnected, this, [this, socket] { DropByKey(socket, "disconnected"); },
        Qt::QueuedConnection);
    OnReadable(*raw);
  }
}

void SeedLinkServer::OnReadable(Connection& connection) {
  QTcpSocket* socket = connection.socket;
  if (connection.stage == Connection::Stage::Sniffing) {
    // SeedLink clients speak first with a command; browsers and WebSocket
    // clients with "GET ". Nothing is read until it is known which.
    const QByteArray start = socket->peek(4);
    const QByteArray get("GET ");
    if (get.startsWith(start) && start.size() < 4) return;
    if (start == get) {
      const QByteArray head = socket->peek(kMaxHttpHead);
      if (head.contains("\r\n\r\n")) {
        Route(connection);
      } else if (head.size() >= kMaxHttpHead) {
        socket->write("HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        Drop(&connection, "HTTP request too large");
      }
      return;
    }
    StartSession(connection);
  }
  if (connection.stage != Connection::Stage::SeedLink) return;
  std::array<char, 4096> buffer;
  for (;;) {
    const qint64 read = socket->read(buffer.data(), buffer.size());
    if (read <= 0) break;
    connection.session->OnBytes(reinterpret_cast<const uint8_t*>(buffer.data()), static_cast<size_t>(read), Now());
    if (connection.session->Finished()) break;
  }
  Pump(connection);
}

void SeedLinkServer::StartSession(Connection& connection) {
  connection.stage = connection.webSocket != nullptr ? Connection::Stage::WebSocket : Connection::Stage::SeedLink;
  connection.output = std::make_unique<SocketOutput>(connection);
  connection.session = std::make_unique<ClientSession>(context_, *connection.output, connection.peer, Now());
  Log("SeedLink client " + connection.peer + (connection.webSocket ? " (WebSocket)" : "") + " connected");
}

void SeedLinkServer::Route(Connection& connection) {
  QTcpSocket* socket = connection.socket;
  const QByteArray head = socket->peek(kMaxHttpHead);
  const qsizetype lineEnd = head.indexOf("\r\n");
  const QList<QByteArray> requestLine = head.left(lineEnd).split(' ');
  QByteArray path = requestLine.size() >= 2 ? requestLine[1] : QByteArray();
  if (const qsizetype query = path.indexOf('?'); query >= 0) path.truncate(query);
  // The socket leaves this server's connections either way: to the
  // WebSocket server, to the route, or closed after the 404.
  const std::string address = connection.address;
  socket->disconnect(this);
  auto owned = std::move(connections_[socket]);
  connections_.erase(socket);
  if (--perAddress_[address] <= 0) perAddress_.erase(address);
  if (path == "/seedlink") {
    webSockets_->handleConnection(socket);
    return;
  }
  if (route_ && route_(socket, head.left(head.indexOf("\r\n\r\n") + 4))) return;
  socket->write("HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: 10\r\nConnection: close\r\n\r\n"
                "Not found\n");
  socket->disconnectFromHost();
  connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

void SeedLinkServer::OnWebSocket() {
  while (QWebSocket* webSocket = webSockets_->nextPendingConnection()) {
    const std::string address = AddressText(webSocket->peerAddress());
    const std::string peer = PeerText(webSocket->peerAddress(), webSocket->peerPort());
    const char* refusal = nullptr;
    if (static_cast<int32_t>(connections_.size()) >= context_.options.maxClients) refusal = "too many clients";
    if (perAddress_[address] >= context_.options.maxPerAddress) refusal = "too many clients from its address";
    if (refusal != nullptr) {
      NoteRefused(peer, refusal);
      webSocket->abort();
      webSocket->deleteLater();
      continue;
    }
    ++accepted_;
    ++perAddress_[address];
    auto connection = std::make_unique<Connection>();
    connection->webSocket = webSocket;
    connection->peer = peer;
    connection->address = address;
    connection->connected = Now();
    Connection* raw = connection.get();
    connections_[webSocket] = std::move(connection);
    StartSession(*raw);
    const auto take = [this, raw](const QByteArray& message) {
      raw->session->OnBytes(reinterpret_cast<const uint8_t*>(message.constData()),
                            static_cast<size_t>(message.size()), Now());
      // A command in a frame of its own may come without an end of line.
      if (!message.endsWith('\r') && !message.endsWith('\n')) raw->session->OnBytes(
          reinterpret_cast<const uint8_t*>("\r"), 1, Now());
      Pump(*raw);
    };
    connect(webSocket, &QWebSocket::binaryMessageReceived, this, take);
    connect(webSocket, &QWebSocket::textMessageReceived, this,
            [take](const QString& message) { take(message.toUtf8()); });
    connect(
        webSocket, &QWebSocket::bytesWritten, this, [this, webSocket] { OnWritten(webSocket); },
        Qt::QueuedConnection);
    connect(
        webSocket, &QWebSocket::disconnected, this, [this, webSocket] { DropByKey(webSocket, "disconnected"); },
        Qt::QueuedConnection);
  }
}

size_t SeedLinkServer::Pending(const Connection& connection) const {
  const qint64 pending =
      connection.webSocket != nullptr ? connection.webSocket->bytesToWrite() : connection.socket->bytesToWrite();
  return static_cast<size_t>(std::max<qint64>(pending, 0));
}

void SeedLinkServer::Pump(Connection& connection) {
  if (!connection.session) return;
  const size_t pending = Pending(connection);
  if (pending < static_cast<size_t>(kMaxPending)) connection.session->Pump(kMaxPending - pending, Now());
  if (connection.session->Finished()) Drop(&connection, connection.session->FinishReason());
}

void SeedLinkServer::OnWritten(void* key) {
  const auto found = connections_.find(key);
  if (found == connections_.end()) return;
  found->second->wroteSinceTick = true;
  Pump(*found->second);
}

void SeedLinkServer::PumpAll() {
  std::vector<Connection*> all;
  for (auto& [key, connection] : connections_) all.push_back(connection.get());
  for (Connection* connection : all) {
    if (connections_.count(connection->socket ? static_cast<void*>(connection->socket)
                                              : static_cast<void*>(connection->webSocket))) {
      Pump(*connection);
    }
  }
}

void SeedLinkServer::Tick() {
  const Micros now = Now();
  std::vector<Connection*> all;
  for (auto& [key, connection] : connections_) all.push_back(connection.get());
  for (Connection* connection : all) {
    if (!connection->session) {
      if (now - connection->connected >= context_.options.handshakeTimeoutSeconds * kMicrosPerSecond) {
        Drop(connection, "sent no request within the handshake timeout");
      }
      continue;
    }
    const bool blocked = Pending(*connection) > 0 && !connection->wroteSinceTick;
    connection->wroteSinceTick = false;
    connection->session->Tick(now, blocked);
    Pump(*connection);  // drops it when its session has finished
  }
}

void SeedLinkServer::Drop(Connection* connection, const std::string& reason) {
  DropByKey(connection->socket != nullptr ? static_cast<void*>(connection->socket)
                                          : static_cast<void*>(connection->webSocket),
            reason);
}

void SeedLinkServer::DropByKey(void* key, const std::string& reason) {
  auto found = connections_.find(key);
  if (found == connections_.end()) return;
  std::unique_ptr<Connection> owned = std::move(found->second);
  connections_.erase(found);
  if (--perAddress_[owned->address] <= 0) perAddress_.erase(owned->address);
  int64_t packets = 0;
  if (owned->session) {
    packets = owned->session->Stats().packetsSent;
    packetsOfGone_ += packets;
    Log("SeedLink client " + owned->peer + " gone (" + reason + "), " + std::to_string(packets) + " packets sent");
  }
  // What was sent still goes out; then the socket closes and is deleted.
  if (owned->webSocket != nullptr) {
    owned->webSocket->disconnect(this);
    owned->webSocket->close();
    owned->webSocket->deleteLater();
  } else {
    QTcpSocket* socket = owned->socket;
    socket->disconnect(this);
    if (socket->state() == QAbstractSocket::ConnectedState) {
      connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      socket->disconnectFromHost();
      if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
      } else {
        // A peer that takes nothing would hold the closing socket forever.
        QTimer::singleShot(5000, socket, [socket] {
          socket->abort();
          socket->deleteLater();
        });
      }
    } else {
      socket->deleteLater();
    }
  }
}

}  // namespace voxa
