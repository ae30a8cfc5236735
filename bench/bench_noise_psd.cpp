// What the noise PSD costs. (1) The run pipeline as the controller drives it
// (4096-byte reads) over 800 sps x 3 channels of the simulator's model noise,
// with the PSD off and on (300 s windows, and ObsPy's 3600 s), in turns; the
// CPU time of each pass (fastest of the rounds), the difference as a share of
// one core, and the longest single read's handling with the PSD on. (2) A day
// of 800 sps x 3 through voxa-psd's report at 3600 s windows (samples handed
// in as miniSEED records would hand them, 400 at a time; reading the files is
// not included).
//
// Usage: bench_noise_psd [stream seconds] [rounds]   (default 3900 and 3)
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "analysis/raster.h"
#include "pipeline/host.h"
#include "pipeline/run_pipeline.h"
#include "tools/psd_report.h"
#include "tools/sim_stream.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct PassResult {
  double cpu = 0;
  double longestRead = 0;  // seconds
  int64_t windows = 0;
};

PassResult Pass(const std::vector<uint8_t>& bytes, bool noise, double window) {
  voxa::NullHost host;
  voxa::Raster raster(1894, 859);
  voxa::RunPipeline pipeline(host, raster);
  voxa::MonitorOptions options;
  options.parameters = {800, 3, 16};
  options.run.loadExtHeader = false;
  options.noise.enabled = noise;
  options.noise.windowSeconds = window;
  options.noise.sensor.sensitivity = 28.8;
  pipeline.Configure(options);
  pipeline.ResizePlot(1894, 859);
  pipeline.StartRun(options.run, "");
  pipeline.Arm({2026, 3, 7, 12, 0, 0}, 0);
  PassResult result;
  const double start = CpuSeconds();
  size_t at = 0;
  while (at < bytes.size() && bytes[at] < 0x80) ++at;
  pipeline.StartStream(bytes[at++]);
  while (at < bytes.size()) {
    const size_t count = std::min<size_t>(4096, bytes.size() - at);
    const auto before = std::chrono::steady_clock::now();
    size_t taken = 0;
    while (taken < count) taken += pipeline.Feed(bytes.data() + at + taken, count - taken);
    result.longestRead = std::max(result.longestRead,
                                  std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count());
    at += count;
  }
  pipeline.Finish();
  result.cpu = CpuSeconds() - start;
  result.windows = pipeline.NoiseChannels() > 0 ? pipeline.Noise(0).WindowsDone() : 0;
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 3900;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  voxa::sim::SimOptions sim;
  sim.rate = 800;
  sim.channels = 3;
  sim.start = {2026, 3, 7, 12, 0, 0};
  sim.amplitude = 0;
  sim.noiseModel = voxa::sim::ParseNoiseLevel("nlnm+30dB");
  sim.sensitivity = 28.8;
  const std::vector<uint8_t> bytes = voxa::sim::GenerateStream(sim, seconds);

  PassResult off, shortOn, longOn;
  off.cpu = shortOn.cpu = longOn.cpu = 1e9;
  for (int round = 0; round < rounds; ++round) {
    const PassResult a = Pass(bytes, false, 300);
    const PassResult b = Pass(bytes, true, 300);
    const PassResult c = Pass(bytes, true, 3600);
    if (a.cpu < off.cpu) off = a;
    if (b.cpu < shortOn.cpu) shortOn = b;
    if (c.cpu < longOn.cpu) longOn = c;
  }
  std::printf("stream: %d s of 800 sps x 3 channels, %zu bytes; fastest of %d rounds\n", seconds, bytes.size(), rounds);
  std::printf("pipeline, PSD off:          %.3f s CPU (%.3f %% of one core)\n", off.cpu, off.cpu / seconds * 100);
  std::printf("pipeline, PSD 300 s:        %.3f s CPU, %lld windows, longest read %.1f ms\n", shortOn.cpu,
              static_cast<long long>(shortOn.windows), shortOn.longestRead * 1e3);
  std::printf("pipeline, PSD 3600 s:       %.3f s CPU, %lld windows, longest read %.1f ms\n", longOn.cpu,
              static_cast<long long>(longOn.windows), longOn.longestRead * 1e3);
  std::printf("PSD adds (300 s windows):   %.4f %% of one core (target <= 0.2 %%)\n",
              (shortOn.cpu - off.cpu) / seconds * 100);
  std::printf("PSD adds (3600 s windows):  %.4f %% of one core (target <= 0.2 %%)\n",
              (longOn.cpu - off.cpu) / seconds * 100);

  // A day through the report.
  voxa::PsdReportOptions options;
  options.sensor.sensitivity = 28.8;
  voxa::PsdReport report(options);
  std::mt19937 random(1);
  std::normal_distribution<double> normal(0, 1000);
  std::vector<int32_t> hour(800 * 3600);
  for (int32_t& s : hour) s = static_cast<int32_t>(normal(random));
  const double start = CpuSeconds();
  constexpr int64_t kDay = 86400LL * 800;
  for (int ch = 0; ch < 3; ++ch) {
    const std::string code = std::string("XX.V015..EH") + "ZNE"[ch];
    for (int64_t at = 0; at < kDay; at += 400) {
      report.Feed(code, 800, 16, at * 1250, hour.data() + (at + ch * 7919) % (static_cast<int64_t>(hour.size()) - 400), 400);
    }
  }
  report.Finish();
  const double day = CpuSeconds() - start;
  std::printf("voxa-psd report, a day of 800 sps x 3 at 3600 s windows: %.2f s CPU, %lld windows per channel "
              "(target <= 10 s)\n", day, static_cast<long long>(report.Channels().front().summary.windows));
  return 0;
}
