// What the run controller hands the received bytes to. In the program it is
// the run pipeline; tests put a scripted receiver in its place to check the
// controller's own hand-over (rests, queueing, run end) byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "pipeline/run_pipeline.h"

namespace voxa {

class StreamReceiver {
 public:
  virtual ~StreamReceiver() = default;
  // The first byte of 0x80 or above.
  virtual void Begin(uint8_t firstMarker) = 0;
  // Returns how many bytes were taken; fewer than count asks for a rest of
  // PauseMilliseconds() before the rest is fed.
  virtual size_t Feed(const uint8_t* data, size_t count) = 0;
  virtual int PauseMilliseconds() const = 0;
  // The run's end, after the last byte: finishes the recording (the writer
  // names it later).
  virtual void Finish() = 0;
  // The program is torn down during a run, or finishing failed.
  virtual void Abandon() = 0;
};

using ReceiverFactory = std::function<std::unique_ptr<StreamReceiver>(RunPipeline&)>;

// The program's receiver: the run pipeline's stream.
std::unique_ptr<StreamReceiver> MakePipelineReceiver(RunPipeline& pipeline);

}  // namespace voxa
