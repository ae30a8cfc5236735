// The SeedLink listener over real sockets on 127.0.0.1: each real client's
// command sequence over TCP, a WebSocket client with the subprotocol, other
// HTTP paths, live packets reaching streaming clients, and the limits.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketHandshakeOptions>

#include <chrono>

#include "seedlink_server/seedlink_server.h"
#include "seedlink_test_support.h"

namespace voxa::test {
namespace {

constexpr const char* kHello =
    "SeedLink v3.1 (VOXA Monitor 1.0) :: SLPROTO:3.1 CAP EXTREPLY NSWILDCARD BATCH WS:13\r\nVOXA Monitor\r\n";

// Runs the event loop until done() or the deadline.
bool WaitFor(const std::function<bool()>& done, int milliseconds = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

struct Station {
  explicit Station(SeedLinkOptions options = {}) : ring(4096, 0x10) {
    RunInto(ring, Device(100, 10), "", dir);
    options.port = 0;
    StationIdentity identity;
    identity.network = "XX";
    identity.station = "V015";
    server = std::make_unique<SeedLinkServer>(ring, options, identity, "",
                                              [this](const std::string& line) { log.push_back(line); });
    server->SetClock([this] { return now; });
    std::string error;
    EXPECT_TRUE(server->Listen(error)) << error;
  }
  ScratchDir dir;
  PacketRing ring;
  Micros now = UtcOf(Device(100, 10).start);
  std::vector<std::string> log;
  std::unique_ptr<SeedLinkServer> server;
};

struct TcpClient {
  // refused: the server is to close it at once, so it may never be seen connected.
  explicit TcpClient(uint16_t port, bool refused = false) {
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!refused) {
      EXPECT_TRUE(WaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }));
    }
  }
  void Send(const std::string& text) { socket.write(text.data(), static_cast<qint64>(text.size())); }
  // What one read brings, once something has come.
  std::string Receive() {
    EXPECT_TRUE(WaitFor([&] { return socket.bytesAvailable() > 0; }));
    return socket.readAll().toStdString();
  }
  // Reads until at least count bytes have come.
  std::string ReceiveBytes(size_t count) {
    std::string all;
    EXPECT_TRUE(WaitFor([&] {
      all += socket.readAll().toStdString();
      return all.size() >= count;
    }));
    return all;
  }
  QTcpSocket socket;
};

TEST(SeedLinkServer, RealClientSequencesOverTcp) {
  Station station;
  // SeisComP's slink://: BATCH first, one OK, then only packets.
  {
    TcpClient c(station.server->Port());
    c.Send("BATCH\r\n");
    EXPECT_EQ(c.Receive(), "OK\r\n");
    c.Send("STATION V015 XX\r\nSELECT EHZ.D\r\nDATA 000010\r\nEND\r\n");
    const std::string data = c.ReceiveBytes(3 * kSeedLinkPacketBytes);
    for (size_t at = 0; at + kSeedLinkPacketBytes <= data.size(); at += kSeedLinkPacketBytes) {
      EXPECT_EQ(data.substr(at, 2), "SL");
      EXPECT_EQ(data.substr(at + 8 + 15, 3), "EHZ");
    }
  }
  // ObsPy: every reply in one recv.
  {
    TcpClient c(station.server->Port());
    c.Send("HELLO\r\n");
    EXPECT_EQ(c.Receive(), kHello);
    c.Send("STATION V015 XX\r\n");
    EXPECT_EQ(c.Receive(), "OK\r\n");
    c.Send("SELECT --EHZ.D\r\n");
    EXPECT_EQ(c.Receive(), "OK\r\n");
    c.Send("TIME 2026,12,7,9,30,22 2026,12,7,9,30,25\r\n");
    EXPECT_EQ(c.Receive(), "OK\r\n");
    c.Send("END\r\n");
    std::string data;
    EXPECT_TRUE(WaitFor([&] {
      data += c.socket.readAll().toStdString();
      return c.socket.state() != QAbstractSocket::ConnectedState;
    }));
    data += c.socket.readAll().toStdString();
    ASSERT_GE(data.size(), kSeedLinkPacketBytes + 3);
    EXPECT_EQ(data.substr(data.size() - 3), "END");
    EXPECT_EQ((data.size() - 3) % kSeedLinkPacketBytes, 0u);
  }
  const SeedLinkStats stats = station.server->Stats();
  EXPECT_TRUE(stats.listening);
  EXPECT_EQ(stats.connections, 2);
  EXPECT_GE(stats.packetsSent, 4);
}

TEST(SeedLinkServer, LivePacketsReachAStreamingClientAtOnce) {
  Station station;
  TcpClient c(station.server->Port());
  c.Send("STATION V015 XX\r\nSELECT EHZ.D\r\nDATA\r\nEND\r\n");
  EXPECT_EQ(c.ReceiveBytes(12), "OK\r\nOK\r\nOK\r\n");  // each its own write, read here together
  ASSERT_TRUE(WaitFor([&] { return station.server->Stats().clients.size() == 1 && station.server->Stats().clients[0].streaming; }));
  const Packet* last = nullptr;
  for (uint64_t s = station.ring.Next() - 1; last == nullptr; --s) {
    if (station.ring.At(s)->header.Channel() == "EHZ") last = station.ring.At(s);
  }
  station.ring.Append(last->record.data(), kRecordLength);
  const std::string packet = c.ReceiveBytes(kSeedLinkPacketBytes);
  ASSERT_EQ(packet.size(), kSeedLinkPacketBytes);
  char expected[8];
  std::snprintf(expected, sizeof expected, "%06llX", static_cast<unsigned long long>(station.ring.Next() - 1));
  EXPECT_EQ(packet.substr(2, 6), expected);
  EXPECT_EQ(packet.substr(8), std::string(reinterpret_cast<const char*>(last->record.data()), kRecordLength));
}

TEST(SeedLinkServer, WebSocketWithItsSubprotocolAndOtherPaths) {
  Station station;
  station.server->SetHttpRoute([](QTcpSocket* socket, const QByteArray& head) {
    if (!head.startsWith("GET /id ")) return false;
    socket->readAll();
    socket->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nid");
    socket->disconnectFromHost();
    return true;
  });
  QWebSocket ws;
  std::vector<QByteArray> frames;
  QObject::connect(&ws, &QWebSocket::binaryMessageReceived, [&](const QByteArray& m) { frames.push_back(m); });
  QWebSocketHandshakeOptions options;
  options.setSubprotocols({"SeedLink3.1"});
  ws.open(QUrl(QString("ws://127.0.0.1:%1/seedlink").arg(station.server->Port())), options);
  ASSERT_TRUE(WaitFor([&] { return ws.state() == QAbstractSocket::ConnectedState; }));
  EXPECT_EQ(ws.subprotocol(), "SeedLink3.1");
  ws.sendTextMessage("HELLO\r");
  ASSERT_TRUE(WaitFor([&] { return frames.size() == 1; }));
  EXPECT_EQ(frames[0].toStdString(), kHello);
  ws.sendTextMessage("STATION V015 XX");
  ws.sendTextMessage("SELECT EHZ.D");
  ws.sendTextMessage("DATA 000010");
  ws.sendTextMessage("END");
  ASSERT_TRUE(WaitFor([&] { return frames.size() >= 7; }));
  EXPECT_EQ(frames[1], "OK\r\n");
  EXPECT_EQ(frames[3], "OK\r\n");
  for (size_t i = 4; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].size(), static_cast<qsizetype>(kSeedLinkPacketBytes));  // one packet a frame
    EXPECT_TRUE(frames[i].startsWith("SL"));
  }
  ASSERT_EQ(station.server->Stats().clients.size(), 1u);
  EXPECT_TRUE(station.server->Stats().clients[0].webSocket);

  for (const auto& [request, status] : std::vector<std::pair<std::string, std::string>>{
           {"GET / HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 404"}, {"GET /id HTTP/1.1\r\n\r\n", "HTTP/1.1 200"}}) {
    TcpClient http(station.server->Port());
    http.Send(request);
    EXPECT_EQ(http.ReceiveBytes(12).substr(0, 12), status) << request;
  }
}

TEST(SeedLinkServer, ClientLimitsAndTheHandshakeTimeout) {
  SeedLinkOptions options;
  options.maxPerAddress = 2;
  Station station(options);
  TcpClient first(station.server->Port());
  TcpClient second(station.server->Port());
  ASSERT_TRUE(WaitFor([&] { return station.server->Stats().clients.size() == 2; }));
  std::vector<std::unique_ptr<TcpClient>> refused;
  for (int i = 0; i < 20; ++i) refused.push_back(std::make_unique<TcpClient>(station.server->Port(), true));
  for (auto& c : refused) EXPECT_TRUE(WaitFor([&] { return c->socket.state() == QAbstractSocket::UnconnectedState; }));
  const SeedLinkStats stats = station.server->Stats();
  EXPECT_EQ(stats.refused, 20);
  ASSERT_EQ(stats.clients.size(), 2u);
  EXPECT_EQ(stats.clients[0].peer.substr(0, 10), "127.0.0.1:");
  // One line for the flood, not twenty.
  EXPECT_EQ(std::count_if(station.log.begin(), station.log.end(),
                          [](const std::string& l) { return l.find("refused") != std::string::npos; }), 1);
  // The others keep working.
  first.Send("HELLO\r\n");
  EXPECT_EQ(first.Receive(), kHello);
  // Nothing sent within the handshake timeout: dropped.
  station.now += 61 * kMicrosPerSecond;
  station.server->Tick();
  EXPECT_TRUE(WaitFor([&] { return second.socket.state() == QAbstractSocket::UnconnectedState; }));
  EXPECT_TRUE(station.server->Stats().clients.empty());
}

}  // namespace
}  // namespace voxa::test

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
