// A station for client tests in other languages: a simulated run of 20 s at
// 100 sps through the run pipeline into a small ring and the live archive
// (in the directory given), then the SeedLink server on a free port of
// 127.0.0.1. Prints "PORT <port> ARCHIVE <root>" and serves until its
// standard input closes.
#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

#include "seedlink_server/seedlink_server.h"
#include "seedlink_test_support.h"

int main(int argc, char** argv) {
  using namespace voxa;
  QCoreApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: seedlink_test_station DIRECTORY\n");
    return 2;
  }
  const std::string root = std::string(argv[1]) + "/sds";
  PacketRing ring(48, 0);
  sim::SimOptions device = test::Device(100, 20);
  {
    // ScratchDir needs a test; the run's other files go beside the archive.
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
    pipeline.StartRun(options.run, std::string(argv[1]) + "/config.txt");
    pipeline.Arm({2026, 12, 7, 9, 30, 15}, test::UtcOf(device.start));
    pipeline.OpenOutputs(OutputPaths::In(argv[1]));
    const std::vector<uint8_t> bytes = sim::GenerateStream(device, 20);
    const auto first = std::find_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b >= 0x80; });
    std::vector<uint8_t> stream(first, bytes.end());
    pipeline.StartStream(stream.at(0));
    for (size_t at = 1; at < stream.size();) at += pipeline.Feed(stream.data() + at, stream.size() - at);
    pipeline.Finish();
    pipeline.CloseOutputs();
  }
  SeedLinkOptions options;
  options.port = 0;
  StationIdentity identity;
  identity.network = "XX";
  identity.station = "V015";
  SeedLinkServer server(ring, options, identity, root,
                        [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
  std::string error;
  if (!server.Listen(error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::printf("PORT %u ARCHIVE %s\n", server.Port(), root.c_str());
  std::fflush(stdout);
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char buffer[256];
    if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) app.quit();
  });
  return app.exec();
}
