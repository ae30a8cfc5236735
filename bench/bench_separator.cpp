// Throughput of the receive path: a simulated stream at the fastest rate
// (800 sps, 3 channels, with GPS, shift and header records) replayed from
// memory through the run pipeline (separator, block statistics, screen and
// plot arithmetic, and the recording), with a host that shows nothing. The line delivers at most 11,520 bytes per
// second; the target is over 50 MB/s, more than 4000 times that.
#include <benchmark/benchmark.h>

#include <memory>

#include "analysis/surface.h"
#include "pipeline/host.h"
#include "pipeline/run_pipeline.h"
#include "tools/sim_stream.h"

namespace {

class NullSurface : public voxa::Surface {
 public:
  int Width() const override { return 1920; }
  int Height() const override { return 1080; }
  void SetPenColour(voxa::Colour) override {}
  void MoveTo(int, int) override {}
  void LineTo(int, int) override {}
  void FloodFill(int, int, voxa::Colour) override {}
  void Refresh() override {}
};

const std::vector<uint8_t>& Stream() {
  static const std::vector<uint8_t> bytes = [] {
    voxa::sim::SimOptions options;
    options.channels = 3;
    options.rate = 800;
    options.noise = 50;
    options.durationSeconds = 60;
    options.bootLines = voxa::sim::DefaultBootReport(options, 5);
    std::vector<uint8_t> out;
    voxa::sim::StreamGenerator generator(options);
    generator.Start(out);
    while (!generator.Done()) generator.NextSecond(out);
    return out;
  }();
  return bytes;
}

void Replay(benchmark::State& state, bool record) {
  const std::vector<uint8_t>& bytes = Stream();
  voxa::NullHost host;
  NullSurface surface;
  for (auto _ : state) {
    state.PauseTiming();
    auto pipeline = std::make_unique<voxa::RunPipeline>(host, surface);
    voxa::MonitorOptions options;
    options.parameters = {800, 3, 16};
    options.screenSeconds = 8;
    options.run.saveStream = record;
    options.run.loadExtHeader = false;
    pipeline->Configure(options);
    pipeline->StartRun(options.run, "");
    pipeline->ResizePlot(1894, 859);
    pipeline->Arm({});
    // The recording goes to /dev/null: its writes are measured, not a disk.
    pipeline->OpenOutputs({"", "", "/dev/null", ""});
    state.ResumeTiming();

    pipeline->StartStream(bytes[0]);
    size_t at = 1;
    while (at < bytes.size()) at += pipeline->Feed(bytes.data() + at, bytes.size() - at);
    benchmark::DoNotOptimize(pipeline->Statistics().GoodBlocks());

    state.PauseTiming();
    pipeline->CloseOutputs();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}

void BM_SeparateStream(benchmark::State& state) { Replay(state, false); }
void BM_SeparateAndRecordStream(benchmark::State& state) { Replay(state, true); }

BENCHMARK(BM_SeparateStream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeparateAndRecordStream)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
