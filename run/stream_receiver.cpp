// The run pipeline behind the run controller's receiver interface.
#include "run/stream_receiver.h"

namespace voxa {
namespace {

class PipelineReceiver final : public StreamReceiver {
 public:
  explicit PipelineReceiver(RunPipeline& pipeline) : pipeline_(pipeline) {}
  void Begin(uint8_t firstMarker) override { pipeline_.StartStream(firstMarker); }
  size_t Feed(const uint8_t* data, size_t count) override { return pipeline_.Feed(data, count); }
  int PauseMilliseconds() const override { return pipeline_.RestMilliseconds(); }
  void Finish() override { pipeline_.Finish(); }
  void Abandon() override { pipeline_.Abandon(); }

 private:
  RunPipeline& pipeline_;
};

}  // namespace

std::unique_ptr<StreamReceiver> MakePipelineReceiver(RunPipeline& pipeline) {
  return std::make_unique<PipelineReceiver>(pipeline);
}

}  // namespace voxa
