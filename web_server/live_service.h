// A program's live face: the packet ring the run pipeline feeds, the
// SeedLink server on it (TCP and WebSocket), and the station's page on the
// same port. The station and the window both serve through it.
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "seedlink/info.h"
#include "seedlink/packet_ring.h"
#include "seedlink/seedlink_options.h"
#include "seedlink_server/seedlink_server.h"
#include "web_server/station_web.h"

namespace voxa {

class RunPipeline;

class LiveService {
 public:
  struct Settings {
    SeedLinkOptions options;
    StationIdentity identity;
    std::string archiveRoot;    // served for TIME windows; "" none
    std::string dataDirectory;  // where the sequence numbers are kept
    std::string webRoot;        // the page's folder
    std::function<std::optional<std::string>()> status;  // the status document, or none
    std::function<void(const std::string&)> log;
  };

  explicit LiveService(Settings settings);
  ~LiveService();

  // Opens the ring, has the pipeline feed it from its next run on, and
  // listens. False with error set when the port cannot be had.
  bool Start(RunPipeline& pipeline, std::string& error);
  bool Serving() const { return server_ != nullptr; }
  SeedLinkStats Stats() const;
  // The page's address for a person ("http://host:18000/").
  std::string PageAddress() const;

 private:
  Settings settings_;
  std::unique_ptr<PacketRing> ring_;
  std::unique_ptr<SeedLinkServer> server_;
  std::unique_ptr<StationWeb> web_;
};

// The page's folder: VOXA_WEB_DIR when set, else the installed one when it
// is there, else the one built beside the program.
std::string DefaultWebRoot();

}  // namespace voxa
