// What the live miniSEED writer costs: the run pipeline as the controller
// drives it (4096-byte reads, the outputs synced every half second of
// stream), over the same stream of 800 sps x 3 channels with GPS, shift and
// temperature records, once without and once with "Save miniSEED", in
// turns, in one process. The CPU time (user + system) of each pass, the
// fastest of the rounds, and the difference as a share of one core over
// the stream's duration.
//
// Usage: bench_mseed_live [stream seconds] [rounds]   (default 1800 and 5)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/raster.h"
#include "pipeline/host.h"
#include "pipeline/run_pipeline.h"
#include "recording/file_store.h"
#include "recording/file_writer.h"
#include "tools/sim_stream.h"

namespace {

namespace fs = std::filesystem;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// One run of the whole stream; returns its CPU seconds.
double Pass(const std::vector<uint8_t>& bytes, bool archive, const fs::path& dir, int64_t bytesPerHalfSecond) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  voxa::PosixFileStore store;
  voxa::FileWriter writer(store);
  voxa::NullHost host;
  voxa::Raster raster(1894, 859);
  voxa::RunPipeline pipeline(host, raster);
  voxa::MonitorOptions options;
  options.parameters = {800, 3, 16};
  options.run.loadExtHeader = false;
  options.run.saveMseed = archive;
  options.mseedDirectory = (dir / "mseed").string();
  pipeline.Configure(options);
  pipeline.UseWriter(writer);
  pipeline.ResizePlot(1894, 859);
  pipeline.StartRun(options.run, "");
  pipeline.Arm({2026, 3, 7, 12, 0, 0}, 0);
  const double start = CpuSeconds();
  pipeline.OpenOutputs(voxa::OutputPaths::In(dir.string()));
  size_t at = 0;
  while (at < bytes.size() && bytes[at] < 0x80) ++at;
  pipeline.StartStream(bytes[at++]);
  int64_t nextSync = bytesPerHalfSecond;
  while (at < bytes.size()) {
    const size_t count = std::min<size_t>(4096, bytes.size() - at);
    size_t taken = 0;
    while (taken < count) taken += pipeline.Feed(bytes.data() + at + taken, count - taken);
    at += count;
    if (static_cast<int64_t>(at) >= nextSync) {
      pipeline.SyncOutputs();
      nextSync += bytesPerHalfSecond;
    }
  }
  pipeline.Finish();
  pipeline.CloseOutputs();
  const double cpu = CpuSeconds() - start;
  if (archive && (pipeline.Archive().files.empty() || !writer.Failures().empty())) {
    std::fprintf(stderr, "the archive was not written\n");
    std::exit(1);
  }
  return cpu;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 1800;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  voxa::sim::SimOptions sim;
  sim.rate = 800;
  sim.channels = 3;
  sim.temperature = true;
  sim.start = {2026, 3, 7, 12, 0, 0};
  sim.noise = 40;
  sim.amplitude = 300000;
  const std::vector<uint8_t> bytes = voxa::sim::GenerateStream(sim, seconds);
  const fs::path dir = fs::temp_directory_path() / ("bench_mseed_live-" + std::to_string(getpid()));
  const int64_t halfSecond = static_cast<int64_t>(bytes.size()) / (2 * seconds);

  double without = 1e9;
  double with = 1e9;
  for (int round = 0; round < rounds; ++round) {
    without = std::min(without, Pass(bytes, false, dir, halfSecond));
    with = std::min(with, Pass(bytes, true, dir, halfSecond));
  }
  fs::remove_all(dir);
  const double share = (with - without) / seconds * 100;
  std::printf("stream: %d s of 800 sps x 3 channels, %zu bytes; fastest of %d rounds\n", seconds, bytes.size(),
              rounds);
  std::printf("pipeline without miniSEED: %.3f s CPU (%.3f %% of one core)\n", without, without / seconds * 100);
  std::printf("pipeline with miniSEED:    %.3f s CPU (%.3f %% of one core)\n", with, with / seconds * 100);
  std::printf("live miniSEED writer adds: %.4f %% of one core (target <= 0.3 %%)\n", share);
  return 0;
}
