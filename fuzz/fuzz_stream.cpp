// The separator and the whole run pipeline on arbitrary bytes, every file
// saved. The stream is cut into two runs at an arbitrary STOP; the operator
// clicks zoom, amplitude and the filter at arbitrary places. Each run is fed
// once in the pieces the fuzzer chose and once in other pieces: the files,
// names, counts and what the window is told must not depend on the pieces.
//
// Input: 13 bytes of set-up (ReadSetup), then the stream.
#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "analysis/raster.h"
#include "fuzz_support.h"
#include "pipeline/run_pipeline.h"

namespace voxa::fuzz {
namespace {

// Everything the window is told, in order.
class LogHost : public Host {
 public:
  void ShowLabel(Label label, std::string_view text) override {
    log += "label " + std::to_string(static_cast<int>(label)) + " " + std::string(text) + "\n";
  }
  void ShowStatus(std::string_view text, StatusColour colour) override {
    log += "status " + std::to_string(static_cast<int>(colour)) + " " + std::string(text) + "\n";
  }
  void ShowDeviceHeader(const DeviceSettings& device) override {
    log += "device " + device.DeviceNumber() + " " + device.FirmwareVersion() + "\n";
  }
  void ShowBootWindow() override { log += "boot window\n"; }
  void AppendBootLine(std::string_view line) override { log += "boot " + std::string(line) + "\n"; }
  void RaiseMainWindow() override { log += "raise\n"; }
  void Repaint() override {}

  std::string log;
};

struct Action {
  size_t offset = 0;  // in the stream of the run
  uint8_t what = 0;
};

struct Setup {
  MonitorOptions options;
  int32_t plotWidth = 0, plotHeight = 0;
  ClockFields clock;
  size_t stop = 0;        // where the first run ends
  bool secondRecords = true;
  uint8_t pieceSeed = 0;  // how the second feed cuts the stream
  std::vector<Action> actions;
};

Setup ReadSetup(Input& in, size_t streamSize) {
  Setup s;
  const uint8_t a = in.Byte();
  const uint8_t b = in.Byte();
  s.options.parameters.rate = kDeviceRates[a % kDeviceRates.size()];
  s.options.parameters.channels = (a & 0x08) ? 3 : 1;
  s.options.parameters.gain = 1 << ((a >> 4) % 7);
  s.options.screenSeconds = 1 + (b & 0x03);
  RunOptions& run = s.options.run;
  run.saveStream = run.saveErrorList = run.saveShift = true;
  run.loadExtHeader = (b & 0x04) != 0;  // config.txt is absent
  run.highPass = (b & 0x08) != 0;
  run.autoScale = (b & 0x10) != 0;
  run.resetOffset = (b & 0x20) != 0 && !run.highPass;
  s.secondRecords = (b & 0x40) == 0;
  s.plotWidth = static_cast<int8_t>(in.Byte());
  s.plotHeight = static_cast<int8_t>(in.Byte());
  s.clock = {2000 + in.Byte() % 100, 1 + in.Byte() % 12, 1 + in.Byte() % 28, in.Byte() % 24, 0, 0};
  s.stop = streamSize == 0 ? 0 : in.Word() % (streamSize + 1);
  s.pieceSeed = in.Byte();
  const uint8_t actions = in.Byte() % 4;
  const uint8_t where = in.Byte();
  for (uint8_t i = 0; i < actions; ++i) {
    s.actions.push_back({streamSize == 0 ? 0 : (size_t{where} * (i + 1) * 37) % (streamSize + 1),
                         static_cast<uint8_t>((where >> i) ^ i)});
  }
  return s;
}

// What one feed of both runs left: per run the files, the recording's name
// and the counts.
struct Outcome {
  std::vector<std::map<std::string, std::vector<uint8_t>>> files;
  std::vector<std::string> names;
  std::vector<std::array<int64_t, 4>> counts;
  std::string log;
};

class Feeder {
 public:
  Feeder(const Setup& setup, const std::string& dir)
      : setup_(setup), dir_(dir), raster_(std::max(setup.plotWidth, 1) % 97 + 1, std::max(setup.plotHeight, 1) % 61 + 1) {
    pipeline_ = std::make_unique<RunPipeline>(host_, raster_);
    pipeline_->Configure(setup.options);
    pipeline_->ResizePlot(setup.plotWidth, setup.plotHeight);
  }

  // One run over stream; pieces 0 feeds each stretch between actions whole.
  void Run(const std::vector<uint8_t>& stream, const RunOptions& options, uint8_t pieces, Outcome& out) {
    running_ = true;
    streaming_ = false;
    random_ = pieces;
    pipeline_->StartRun(options, (std::filesystem::path(dir_) / "config.txt").string());
    pipeline_->Arm(setup_.clock);
    pipeline_->OpenOutputs(OutputPaths::In(dir_));
    size_t at = 0;
    size_t next = 0;
    for (;;) {
      while (next < setup_.actions.size() && setup_.actions[next].offset <= at) Act(setup_.actions[next++].what);
      if (at == stream.size()) break;
      size_t end = next < setup_.actions.size() ? std::min(setup_.actions[next].offset, stream.size()) : stream.size();
      if (pieces != 0) end = std::min(end, at + 1 + NextRandom() % 97);
      Take(stream.data() + at, end - at);
      at = end;
    }
    if (streaming_) pipeline_->Finish();
    pipeline_->CloseOutputs();
    const std::string name = pipeline_->SavedRecording();
    running_ = false;

    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      files[entry.path().filename().string()] = ReadFile(entry.path().string());
    }
    if (options.saveStream && streaming_) {
      const std::vector<uint8_t>& recording = files[name];
      Check(recording.size() >= 2 && recording.front() == 0xF0 && recording.back() == 0xEF,
            "a finished recording begins with 0xF0 and ends with 0xEF");
    }
    const BlockStatistics& s = pipeline_->Statistics();
    Check(s.GoodBlocks() >= 0 && s.BlockErrors() >= 0 && s.SecondErrors() >= 0 && s.RateErrors() >= 0,
          "counts are never negative");
    Check(IsDeviceRate(pipeline_->Device().Parameters().rate), "the rate in force is one of the device's");
    out.files.push_back(std::move(files));
    out.names.push_back(name);
    out.counts.push_back({s.GoodBlocks(), s.BlockErrors(), s.SecondErrors(), s.RateErrors()});
    // A second run starts from a directory without this one's recording.
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) std::filesystem::remove(entry.path());
  }

  std::string Log() const { return host_.log; }

 private:
  // As the run controller takes bytes from the port.
  void Take(const uint8_t* data, size_t count) {
    size_t next = 0;
    if (!streaming_) {
      while (next < count && data[next] < kMarkerBlock) ++next;
      if (next == count) return;
      pipeline_->StartStream(data[next++]);
      streaming_ = true;
    }
    while (next < count) next += pipeline_->Feed(data + next, count - next);
  }

  void Act(uint8_t what) {
    switch (what % 8) {
      case 0: pipeline_->ZoomIn(); break;
      case 1: pipeline_->ZoomOut(); break;
      case 2: pipeline_->IncreaseAmplitude(); break;
      case 3: pipeline_->DecreaseAmplitude(); break;
      case 4: pipeline_->SetHighPass(true, running_); break;
      case 5: pipeline_->SetHighPass(false, running_); break;
      case 6: pipeline_->SetResetOffset((what & 0x10) != 0); break;
      default: pipeline_->ResizePlot(what, what / 3); break;
    }
  }

  uint32_t NextRandom() {
    random_ = random_ * 1103515245u + 12345u;
    return random_ >> 8;
  }

  const Setup& setup_;
  std::string dir_;
  LogHost host_;
  Raster raster_;
  std::unique_ptr<RunPipeline> pipeline_;
  bool running_ = false;
  bool streaming_ = false;
  uint32_t random_ = 0;
};

Outcome FeedBoth(const Setup& setup, const std::vector<uint8_t>& first, const std::vector<uint8_t>& second,
                 const std::string& dir, uint8_t pieces) {
  Outcome out;
  Feeder feeder(setup, dir);
  feeder.Run(first, setup.options.run, pieces, out);
  RunOptions again = setup.options.run;
  again.saveStream = setup.secondRecords;
  feeder.Run(second, again, pieces == 0 ? 0 : static_cast<uint8_t>(pieces + 1), out);
  out.log = feeder.Log();
  return out;
}

}  // namespace
}  // namespace voxa::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace voxa::fuzz;
  static const ScratchDir scratch;
  constexpr size_t kSetupBytes = 13;
  Input in(data, size);
  const size_t streamSize = size > kSetupBytes ? size - kSetupBytes : 0;
  const Setup setup = ReadSetup(in, streamSize);
  const std::vector<uint8_t> stream = in.Rest();
  const std::vector<uint8_t> first(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(setup.stop));
  const std::vector<uint8_t> second(stream.begin() + static_cast<std::ptrdiff_t>(setup.stop), stream.end());

  const Outcome whole = FeedBoth(setup, first, second, scratch.Fresh("whole"), 0);
  const Outcome pieces = FeedBoth(setup, first, second, scratch.Fresh("pieces"), setup.pieceSeed | 1);
  Check(whole.files == pieces.files, "the files do not depend on how the stream is cut into pieces");
  Check(whole.names == pieces.names, "the recording's name does not depend on the pieces");
  Check(whole.counts == pieces.counts, "the counts do not depend on the pieces");
  Check(whole.log == pieces.log, "what the window is told does not depend on the pieces");
  return 0;
}
