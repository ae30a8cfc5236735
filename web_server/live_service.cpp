// A program's live face.
#include "web_server/live_service.h"

#include <QDateTime>
#include <QHostInfo>

#include <cstdlib>
#include <filesystem>

#include "pipeline/run_pipeline.h"
#include "web_server/web_routes.h"

namespace voxa {

LiveService::LiveService(Settings settings) : settings_(std::move(settings)) {}

LiveService::~LiveService() = default;

bool LiveService::Start(RunPipeline& pipeline, std::string& error) {
  ring_ = OpenPacketRing(settings_.options.ringMegabytes, settings_.dataDirectory, settings_.log);
  auto server = std::make_unique<SeedLinkServer>(*ring_, settings_.options, settings_.identity,
                                                 settings_.archiveRoot, settings_.log);
  if (!server->Listen(error)) {
    ring_.reset();
    return false;
  }
  WebSite site;
  site.root = settings_.webRoot;
  site.ring = ring_.get();
  site.identity = settings_.identity;
  site.status = settings_.status;
  site.clock = [] { return QDateTime::currentMSecsSinceEpoch() * int64_t{1000}; };
  web_ = std::make_unique<StationWeb>(site);
  server->SetHttpRoute(web_->Route());
  server_ = std::move(server);
  pipeline.FeedSeedLink(ring_.get());
  return true;
}

SeedLinkStats LiveService::Stats() const { return server_ ? server_->Stats() : SeedLinkStats{}; }

std::string LiveService::PageAddress() const {
  if (!server_) return "";
  return voxa::PageAddress(settings_.options.address, server_->Port(), QHostInfo::localHostName().toStdString());
}

std::string DefaultWebRoot() {
  if (const char* dir = std::getenv("VOXA_WEB_DIR"); dir != nullptr && *dir != '\0') return dir;
  std::error_code error;
  if (std::filesystem::exists(std::filesystem::path(VOXA_WEB_DEFAULT_DIR) / "index.html", error)) {
    return VOXA_WEB_DEFAULT_DIR;
  }
#ifdef VOXA_WEB_BUILD_DIR_PATH
  return VOXA_WEB_BUILD_DIR_PATH;
#else
  return VOXA_WEB_DEFAULT_DIR;
#endif
}

}  // namespace voxa
