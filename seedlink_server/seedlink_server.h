// The SeedLink listener: one TCP port for SeedLink clients and for
// WebSocket clients, which upgrade with "GET /seedlink" (subprotocol
// "SeedLink3.1") and then get every reply and packet as one binary frame.
// Any other HTTP request goes to the routing hook (a later web view serves
// pages there), or gets 404.
//
// Each connection is a ClientSession reading the shared packet ring. It runs
// on the caller's event loop and never waits: writes are non-blocking, a
// client's pending bytes are bounded (a client that cannot keep up lags in
// the ring instead), and a client that takes nothing for the drain timeout
// is dropped.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "seedlink/packet_ring.h"
#include "seedlink/seedlink_options.h"
#include "seedlink/session.h"

class QTcpServer;
class QTcpSocket;
class QWebSocket;
class QWebSocketServer;

namespace voxa {

struct SeedLinkClientInfo {
  std::string peer;  // "127.0.0.1:53122"
  bool webSocket = false;
  bool streaming = false;
  int64_t packetsSent = 0;
  Micros connected = 0;
};

// For the status file.
struct SeedLinkStats {
  bool listening = false;
  std::string address;  // "127.0.0.1:18000"
  std::vector<SeedLinkClientInfo> clients;
  int64_t packetsSent = 0;  // by every client since the start, gone ones included
  int64_t connections = 0;  // accepted since the start
  int64_t refused = 0;      // over a limit
};

class SeedLinkServer final : public QObject {
  Q_OBJECT

 public:
  using LogLine = std::function<void(const std::string&)>;
  // Takes a connection that sent an HTTP request other than the SeedLink
  // upgrade (head: the request's lines up to its blank line, still unread on
  // the socket); false: not served here, it gets 404.
  using HttpRoute = std::function<bool(QTcpSocket* socket, const QByteArray& head)>;

  SeedLinkServer(PacketRing& ring, const SeedLinkOptions& options, const StationIdentity& identity,
                 std::string archiveRoot, LogLine log, QObject* parent = nullptr);
  ~SeedLinkServer() override;

  bool Listen(std::string& error);
  uint16_t Port() const;
  SeedLinkStats Stats() const;
  void SetHttpRoute(HttpRoute route) { route_ = std::move(route); }
  // The clock the timeouts run on (UTC microseconds); tests drive it.
  void SetClock(std::function<Micros()> clock) { clock_ = std::move(clock); }
  // Applies the timeouts now (the server also does every quarter second).
  void Tick();

 private:
  struct Connection;
  class SocketOutput;

  void OnNewConnection();
  void OnReadable(Connection& connection);
  void Route(Connection& connection);
  void StartSession(Connection& connection);
  void OnWebSocket();
  void Pump(Connection& connection);
  void PumpAll();
  void OnWritten(void* key);
  void Drop(Connection* connection, const std::string& reason);
  void DropByKey(void* key, const std::string& reason);
  size_t Pending(const Connection& connection) const;
  Micros Now() const { return clock_(); }
  void Log(const std::string& line) const {
    if (log_) log_(line);
  }
  void NoteRefused(const std::string& peer, const char* why);

  PacketRing& ring_;
  SessionContext context_;
  LogLine log_;
  HttpRoute route_;
  std::function<Micros()> clock_;
  QTcpServer* server_ = nullptr;
  QWebSocketServer* webSockets_ = nullptr;
  QTimer tick_;
  QTimer wake_;  // coalesces the ring's new packets into one pump
  std::map<void*, std::unique_ptr<Connection>> connections_;  // by socket
  std::map<std::string, int32_t> perAddress_;
  int64_t packetsOfGone_ = 0;
  int64_t accepted_ = 0;
  int64_t refused_ = 0;
  int64_t refusedUnlogged_ = 0;
  Micros lastRefusalLog_ = 0;
};

}  // namespace voxa
