// Cost of the plot at the fastest stream: 800 sps, 3 channels, drawn on a
// full-HD raster (plot area 1894 x 859), so that one completed second,
// including a new screen's clearing and an ending screen's checks, stays far
// below the time the serial buffer takes to fill.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

#include "analysis/raster.h"
#include "analysis/screen.h"

namespace voxa {
namespace {

constexpr int32_t kRate = 800;
constexpr int32_t kChannels = 3;
constexpr int32_t kScreenSeconds = kScreenSlots / (kRate * kChannels);  // a full buffer: 32 s
constexpr StreamFormat kFormat{kRate, kChannels};
constexpr int32_t kGain = 16;

struct Scene {
  Scene() : raster(1920, 1080) {
    screen.StartRun(false, true, kFormat);
    screen.SetScreenSeconds(kScreenSeconds);
    screen.ResizePlot(1894, 859);
    Fill();
    // The screen is laid out by its first second.
    screen.PlotSecond(raster, kFormat, kGain);
  }

  // A 5 Hz wave plus deterministic noise on every channel, a mark per second.
  void Fill() {
    uint32_t noise = 12345;
    for (int32_t f = 0; f < kScreenSlots / kChannels; ++f) {
      for (int32_t ch = 0; ch < kChannels; ++ch) {
        noise = noise * 1664525u + 1013904223u;
        const double wave = 20000.0 * std::sin(2.0 * 3.14159265358979 * 5.0 * f / kRate + ch);
        screen.MutableSamples()[f * kChannels + ch] =
            100000 * ch + static_cast<int32_t>(wave) + static_cast<int32_t>(noise >> 22);
      }
      screen.MutableSecondMarks()[f * kChannels] = f % kRate == 0 ? 1 : 0;
    }
    screen.SetSampleIndex(kScreenSlots);
  }

  Screen screen;
  Raster raster;
};

// A second in the middle of a screen: traces and lines only.
void BM_PlotSecondMidScreen(benchmark::State& state) {
  Scene scene;
  for (auto _ : state) {
    scene.screen.SetNewScreenDue(false);
    scene.screen.SetScreenSecond(12);
    scene.screen.PlotSecond(scene.raster, kFormat, kGain);
  }
}
BENCHMARK(BM_PlotSecondMidScreen)->Unit(benchmark::kMicrosecond);

// The first second of a screen: lay-out, two flood fills over the raster,
// frame, zero lines, traces.
void BM_PrepareAndPlotFirstSecond(benchmark::State& state) {
  Scene scene;
  for (auto _ : state) {
    scene.screen.SetNewScreenDue(true);
    scene.screen.SetScreenSecond(0);
    scene.screen.PlotSecond(scene.raster, kFormat, kGain);
  }
}
BENCHMARK(BM_PrepareAndPlotFirstSecond)->Unit(benchmark::kMicrosecond);

// The last second of a screen: traces, both checks over the full buffer,
// and the buffer zeroed for the next screen.
void BM_PlotLastSecondWithChecks(benchmark::State& state) {
  Scene scene;
  for (auto _ : state) {
    state.PauseTiming();
    scene.Fill();
    scene.screen.SetNewScreenDue(false);
    scene.screen.SetScreenSecond(kScreenSeconds - 1);
    state.ResumeTiming();
    scene.screen.PlotSecond(scene.raster, kFormat, kGain);
  }
}
BENCHMARK(BM_PlotLastSecondWithChecks)->Unit(benchmark::kMicrosecond);

// The worst single second: a one-second screen is new and ends at once, so
// it pays for the lay-out, the clearing and the checks together.
void BM_OneSecondScreen(benchmark::State& state) {
  Scene scene;
  scene.screen.SetScreenSeconds(1);
  for (auto _ : state) {
    state.PauseTiming();
    scene.Fill();
    scene.screen.SetSampleIndex(kRate * kChannels);
    scene.screen.SetNewScreenDue(true);
    scene.screen.SetScreenSecond(0);
    state.ResumeTiming();
    scene.screen.PlotSecond(scene.raster, kFormat, kGain);
  }
}
BENCHMARK(BM_OneSecondScreen)->Unit(benchmark::kMicrosecond);

// The clearing alone.
void BM_ClearingFloodFills(benchmark::State& state) {
  Raster raster(1920, 1080);
  for (auto _ : state) {
    raster.FloodFill(10, 10, kRed);
    raster.FloodFill(10, 10, kLime);
  }
}
BENCHMARK(BM_ClearingFloodFills)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace voxa

BENCHMARK_MAIN();
