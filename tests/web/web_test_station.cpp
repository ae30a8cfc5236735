// A live station for the page's browser test: the simulated device through
// the run pipeline into the packet ring and the live archive, the first two
// minutes at once (so a page has something to backfill and an archive to
// draw a helicorder from) and then a second at a time as the wall clock
// passes, with the device's clock set to now. The SeedLink listener on a
// free port of 127.0.0.1 serves the page from the web folder given, and a
// state-of-health document built from the pipeline as the station builds it.
// Prints "PORT <port>" and serves until its standard input closes.
//   web_test_station DIRECTORY WEBFOLDER
#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

#include "analysis/raster.h"
#include "pipeline/noise_status.h"
#include "pipeline/run_pipeline.h"
#include "seedlink_server/seedlink_server.h"
#include "station/status_document.h"
#include "tools/sim_stream.h"
#include "web_server/station_web.h"

namespace {

using namespace voxa;


Micros NowMicros() { return static_cast<Micros>(QDateTime::currentMSecsSinceEpoch()) * 1000; }

std::string NoiseJson(const RunPipeline& pipeline) {
  std::string out = "[";
  for (const ChannelNoiseStatus& channel : NoiseStatus(pipeline)) {
    if (out.size() > 1) out += ", ";
    out += "{\"stream\": " + JsonString(channel.stream) + ", \"acceleration\": " +
           (channel.acceleration ? "true" : "false") + ", \"windows\": " + std::to_string(channel.windows) +
           ", \"median_db\": [";
    for (size_t i = 0; i < channel.medianDb.size(); ++i) {
      char value[32] = "null";
      if (channel.medianDb[i]) std::snprintf(value, sizeof value, "%.1f", *channel.medianDb[i]);
      out += std::string(i ? ", " : "") + value;
    }
    out += "]}";
  }
  return out + "]";
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: web_test_station DIRECTORY WEBFOLDER\n");
    return 2;
  }
  const std::string directory = argv[1];
  const std::string root = directory + "/sds";
  constexpr int64_t kBackfillSeconds = 120;

  const QDateTime start = QDateTime::currentDateTimeUtc().addSecs(-kBackfillSeconds);
  sim::SimOptions device;
  device.rate = 100;
  device.channels = 3;
  device.start = {start.date().year(), start.date().month(), start.date().day(),
                  start.time().hour(), start.time().minute(), start.time().second()};
  device.temperature = true;
  device.noise = 3000;
  device.amplitude = 40000;
  device.frequency = 0.2;

  PacketRing ring(PacketRing::CapacityFor(16), 0);
  NullHost host;
  Raster raster(320, 160);
  RunPipeline pipeline(host, raster);
  pipeline.FeedSeedLink(&ring);
  MonitorOptions options;
  options.parameters = {device.rate, device.channels, device.gain};
  options.run.loadExtHeader = false;
  options.run.saveMseed = true;
  options.mseedDirectory = root;
  pipeline.Configure(options);
  pipeline.StartRun(options.run, directory + "/config.txt");
  pipeline.Arm({device.start.year, device.start.month, device.start.day, device.start.hour,
                device.start.minute, device.start.second},
               NowMicros() - kBackfillSeconds * kMicrosPerSecond);
  pipeline.OpenOutputs(OutputPaths::In(directory));

  sim::StreamGenerator generator(device);
  std::vector<uint8_t> bytes;
  generator.Start(bytes);
  bytes.erase(bytes.begin(), std::find_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b >= 0x80; }));
  pipeline.StartStream(bytes.at(0));
  bytes.erase(bytes.begin());
  const Micros streamStart = NowMicros() - kBackfillSeconds * kMicrosPerSecond;
  const auto feedDue = [&] {
    const int64_t due = (NowMicros() - streamStart) / kMicrosPerSecond;
    while (generator.SecondsGenerated() < due) {
      generator.NextSecond(bytes);
      for (size_t at = 0; at < bytes.size();) at += pipeline.Feed(bytes.data() + at, bytes.size() - at);
      bytes.clear();
    }
    pipeline.SyncOutputs();
  };
  feedDue();

  SeedLinkOptions seedlink;
  seedlink.port = 0;
  StationIdentity identity;
  identity.network = "XX";
  identity.station = "V015";
  SeedLinkServer server(ring, seedlink, identity, root,
                        [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
  WebSite site;
  site.root = argv[2];
  site.ring = &ring;
  site.identity = identity;
  site.clock = NowMicros;
  site.status = [&]() -> std::optional<std::string> {
    StationStatus s;
    s.updated = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
    s.phase = "receiving";
    s.port = "simulated";
    s.deviceNumber = pipeline.Device().DeviceNumber();
    s.firmwareVersion = pipeline.Device().FirmwareVersion();
    s.gpsClock = pipeline.Clock().Time().ClockText();
    s.fixAgeSeconds = 0.4;
    s.satellites = pipeline.Clock().Satellites();
    s.temperature = pipeline.Clock().Temperature();
    s.shift = "+12 us";
    s.blockErrors = pipeline.Statistics().BlockErrors();
    s.secondErrors = pipeline.Statistics().SecondErrors();
    s.rateErrors = pipeline.Statistics().RateErrors();
    s.recording = "streamdat.bin";
    s.recordingBytes = 1234567;
    s.freeDiskBytes = int64_t{52} * 1000 * 1000 * 1000;
    s.diskState = "ok";
    s.seedlinkOn = true;
    const SeedLinkStats stats = server.Stats();
    s.seedlinkListen = stats.address;
    for (const SeedLinkClientInfo& client : stats.clients) s.clients.push_back({client.peer, client.packetsSent});
    s.packetsSent = stats.packetsSent;
    s.extra.push_back({"noise", NoiseJson(pipeline)});
    return StatusJson(s);
  };
  StationWeb web(site);
  server.SetHttpRoute(web.Route());
  std::string error;
  if (!server.Listen(error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  QTimer pace;
  QObject::connect(&pace, &QTimer::timeout, feedDue);
  pace.start(200);
  std::printf("PORT %u\n", server.Port());
  std::fflush(stdout);
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char buffer[256];
    if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) app.quit();
  });
  const int status = app.exec();
  pipeline.Finish();
  pipeline.CloseOutputs();
  return status;
}
