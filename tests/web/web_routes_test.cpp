// The station's HTTP routes without sockets: only plain names under the web
// folder are served, everything else is 404; the documents a ringserver
// client and the page read.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "web_server/web_routes.h"

namespace voxa {
namespace {

std::string Get(const std::string& target) { return "GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n"; }

class WebRoutes : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = std::filesystem::temp_directory_path() /
            ("voxa-web-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(base_);
    std::filesystem::create_directories(base_ / "web" / "img");
    Write(base_ / "web" / "index.html", "<html>page</html>");
    Write(base_ / "web" / "img" / "logo.svg", "<svg/>");
    Write(base_ / "web" / ".hidden", "hidden");
    Write(base_ / "secret.txt", "secret");
    std::filesystem::create_symlink(base_ / "secret.txt", base_ / "web" / "link.txt");
    site_.root = (base_ / "web").string();
    site_.clock = [] { return Micros{0}; };
  }
  void TearDown() override { std::filesystem::remove_all(base_); }
  static void Write(const std::filesystem::path& path, const std::string& text) { std::ofstream(path) << text; }

  std::filesystem::path base_;
  WebSite site_;
};

TEST_F(WebRoutes, ServesOnlyPlainNamesInsideTheWebFolder) {
  struct Case {
    const char* legend;
    std::string head;
    int status;
    std::string body;
  };
  const std::vector<Case> cases = {
      {"root is the page", Get("/"), 200, "<html>page</html>"},
      {"a file", Get("/index.html"), 200, "<html>page</html>"},
      {"a query is not part of the name", Get("/index.html?v=3"), 200, "<html>page</html>"},
      {"a sub-folder", Get("/img/logo.svg"), 200, "<svg/>"},
      {"escaped letters decode", Get("/%69ndex.html"), 200, "<html>page</html>"},
      {"dot-dot", Get("/../secret.txt"), 404, ""},
      {"dot-dot inside", Get("/img/../../secret.txt"), 404, ""},
      {"escaped dot-dot", Get("/%2e%2e/secret.txt"), 404, ""},
      {"escaped slash and dot-dot", Get("/img%2f..%2f..%2fsecret.txt"), 404, ""},
      {"backslash", Get("/..\\secret.txt"), 404, ""},
      {"escaped NUL", Get("/index.html%00.png"), 404, ""},
      {"bad escape", Get("/index%zz"), 400, ""},
      {"cut escape", Get("/index%2"), 400, ""},
      {"double slash", Get("//etc/passwd"), 404, ""},
      {"absolute path", Get("/etc/passwd"), 404, ""},
      {"hidden file", Get("/.hidden"), 404, ""},
      {"link out of the folder", Get("/link.txt"), 404, ""},
      {"a folder", Get("/img"), 404, ""},
      {"unknown", Get("/nothing"), 404, ""},
      {"not a path", Get("index.html"), 400, ""},
      {"not HTTP", "GET /index.html\r\n\r\n", 400, ""},
      {"not GET", "POST /index.html HTTP/1.1\r\n\r\n", 405, ""},
      {"status before the station has one", Get("/status.json"), 404, ""},
      {"streams without a ring", Get("/streams/json"), 404, ""},
  };
  for (const Case& c : cases) {
    const HttpResponse response = Respond(site_, c.head);
    EXPECT_EQ(response.status, c.status) << c.legend;
    if (c.status == 200) {
      EXPECT_EQ(response.body, c.body) << c.legend;
    } else {
      EXPECT_EQ(response.body.find("secret"), std::string::npos) << c.legend;
    }
  }
  EXPECT_EQ(Respond(site_, Get("/index.html")).contentType, "text/html; charset=utf-8");
  EXPECT_EQ(Respond(site_, Get("/img/logo.svg")).contentType, "image/svg+xml");
}

TEST_F(WebRoutes, StatusAndNoiseModels) {
  site_.status = [] { return std::optional<std::string>("{\"phase\": \"receiving\"}"); };
  const HttpResponse status = Respond(site_, Get("/status.json"));
  EXPECT_EQ(status.status, 200);
  EXPECT_EQ(status.contentType, "application/json");
  EXPECT_EQ(status.body, "{\"phase\": \"receiving\"}");
  // The published low model: -162.36 + 5.64 log10(P) from 0.1 s, -166.40 +
  // 28.90 log10(P) from 0.8 s; the high: -108.73 - 17.23 log10(P) from 0.1 s.
  const std::string models = Respond(site_, Get("/noise_models.json")).body;
  EXPECT_NE(models.find("\"periods\": [0.1, 1, 10]"), std::string::npos) << models;
  EXPECT_NE(models.find("\"low_db\": [-168.0, -166.4, "), std::string::npos) << models;
  EXPECT_NE(models.find("\"high_db\": [-91.5, "), std::string::npos) << models;
}

TEST_F(WebRoutes, RingserverDocumentsListTheRingsStreams) {
  PacketRing ring(16, 7);
  site_.ring = &ring;
  site_.identity.organization = "Hut \"7\"";
  site_.identity.started = 1'700'000'000 * kMicrosPerSecond;
  const std::string id = Respond(site_, Get("/id/json")).body;
  EXPECT_NE(id.find("\"organization\": \"Hut \\\"7\\\"\""), std::string::npos) << id;
  EXPECT_NE(id.find("\"server_start\": \"2023-11-14T22:13:20.000000Z\""), std::string::npos) << id;
  EXPECT_NE(id.find("\"seedlink_protocol\": [\"SLPROTO:3.1\"]"), std::string::npos) << id;
  EXPECT_NE(Respond(site_, Get("/streams/json")).body.find("\"stream\": [\n  ]"), std::string::npos);
}

TEST(PageAddress, ForEachListenAddress) {
  EXPECT_EQ(PageAddress("127.0.0.1", 18000, "hut"), "http://127.0.0.1:18000/");
  EXPECT_EQ(PageAddress("0.0.0.0", 18000, "hut.local"), "http://hut.local:18000/");
  EXPECT_EQ(PageAddress("::", 18001, "hut"), "http://hut:18001/");
  EXPECT_EQ(PageAddress("::1", 18000, "hut"), "http://[::1]:18000/");
}

}  // namespace
}  // namespace voxa
