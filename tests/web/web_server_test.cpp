// The page's HTTP end on the SeedLink port, over real sockets on 127.0.0.1:
// files and documents served, paths out of the web folder and unknown paths
// refused, a huge request refused, many connections at once all answered.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "seedlink_server/seedlink_server.h"
#include "web_server/station_web.h"

namespace voxa {
namespace {

// Runs the event loop until done() or the deadline; the server and the
// client sockets share it.
bool SpinUntil(const std::function<bool()>& done, int deadlineMs = 20000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > deadlineMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

class WebServer : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("voxa-web-server-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder_ / "web");
    std::ofstream(folder_ / "web" / "index.html") << "<html>station</html>";
    std::ofstream(folder_ / "secret.txt") << "secret";
    SeedLinkOptions options;
    options.port = 0;
    server_ = std::make_unique<SeedLinkServer>(ring_, options, StationIdentity{}, "", SeedLinkServer::LogLine{});
    WebSite site;
    site.root = (folder_ / "web").string();
    site.ring = &ring_;
    site.status = [] { return std::optional<std::string>("{\"phase\": \"receiving\"}\n"); };
    web_ = std::make_unique<StationWeb>(site);
    server_->SetHttpRoute(web_->Route());
    std::string error;
    ASSERT_TRUE(server_->Listen(error)) << error;
  }
  void TearDown() override {
    web_.reset();
    server_.reset();
    std::filesystem::remove_all(folder_);
  }

  // Sends request and returns everything the server sent until it closed.
  std::string Exchange(const QByteArray& request) {
    QTcpSocket client;
    client.connectToHost("127.0.0.1", server_->Port());
    EXPECT_TRUE(SpinUntil([&] { return client.state() == QAbstractSocket::ConnectedState; }));
    client.write(request);
    QByteArray reply;
    EXPECT_TRUE(SpinUntil([&] {
      reply += client.readAll();
      return client.state() == QAbstractSocket::UnconnectedState;
    })) << request.left(80).toStdString();
    reply += client.readAll();
    return reply.toStdString();
  }

  std::filesystem::path folder_;
  PacketRing ring_{16, 0};
  std::unique_ptr<SeedLinkServer> server_;
  std::unique_ptr<StationWeb> web_;
};

TEST_F(WebServer, ServesThePageAndRefusesTheRest) {
  struct Case {
    const char* legend;
    QByteArray request;
    const char* statusLine;
    const char* body;
  };
  const std::vector<Case> cases = {
      {"the page", "GET / HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 200 OK", "<html>station</html>"},
      {"the status", "GET /status.json HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", "{\"phase\": \"receiving\"}\n"},
      {"ringserver's id", "GET /id/json HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", nullptr},
      {"traversal", "GET /../secret.txt HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found", nullptr},
      {"escaped traversal", "GET /%2e%2e/secret.txt HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found", nullptr},
      {"unknown path", "GET /cgi-bin/x HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found", nullptr},
      {"huge request", "GET /" + QByteArray(20000, 'a') + " HTTP/1.1\r\n\r\n",
       "HTTP/1.1 431 Request Header Fields Too Large", nullptr},
      {"huge header field", "GET / HTTP/1.1\r\nX: " + QByteArray(20000, 'b') + "\r\n\r\n",
       "HTTP/1.1 431 Request Header Fields Too Large", nullptr},
  };
  for (const Case& c : cases) {
    const std::string reply = Exchange(c.request);
    EXPECT_EQ(reply.substr(0, reply.find("\r\n")), c.statusLine) << c.legend;
    EXPECT_EQ(reply.find("secret"), std::string::npos) << c.legend;
    if (c.body != nullptr) {
      EXPECT_EQ(reply.substr(reply.find("\r\n\r\n") + 4), c.body) << c.legend;
    }
  }
}

TEST_F(WebServer, ManyConnectionsAtOnceAreEachAnsweredAndNoneLeftOpen) {
  // More than the in-flight bound: each gets the page or 503, none hangs.
  constexpr int kClients = 60;
  std::vector<std::unique_ptr<QTcpSocket>> clients;
  std::vector<QByteArray> replies(kClients);
  for (int i = 0; i < kClients; ++i) {
    clients.push_back(std::make_unique<QTcpSocket>());
    QTcpSocket* client = clients.back().get();
    QObject::connect(client, &QTcpSocket::connected, [client] { client->write("GET / HTTP/1.1\r\n\r\n"); });
    QObject::connect(client, &QTcpSocket::readyRead, [client, &replies, i] { replies[i] += client->readAll(); });
    client->connectToHost("127.0.0.1", server_->Port());
  }
  ASSERT_TRUE(SpinUntil([&] {
    return std::all_of(clients.begin(), clients.end(),
                       [](const auto& c) { return c->state() == QAbstractSocket::UnconnectedState; });
  }));
  int served = 0;
  for (int i = 0; i < kClients; ++i) {
    const QByteArray& reply = replies[i];
    // The SeedLink server's own per-address limit refuses some before they
    // reach the page; those are closed without a reply.
    if (reply.isEmpty()) continue;
    EXPECT_TRUE(reply.startsWith("HTTP/1.1 200 OK") || reply.startsWith("HTTP/1.1 503")) << reply.left(40).data();
    if (reply.startsWith("HTTP/1.1 200 OK")) ++served;
  }
  EXPECT_GE(served, 8);
  EXPECT_TRUE(SpinUntil([&] { return web_->InFlight() == 0; }));
  // And the server still answers afterwards.
  const std::string reply = Exchange("GET / HTTP/1.1\r\n\r\n");
  EXPECT_EQ(reply.substr(0, reply.find("\r\n")), "HTTP/1.1 200 OK");
}

}  // namespace
}  // namespace voxa

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
