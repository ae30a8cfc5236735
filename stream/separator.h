// The receive loop's stream separator: takes the device's bytes one at a time
// and hands each record to the code that interprets it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "analysis/surface.h"
#include "stream/acquisition.h"
#include "stream/host.h"

namespace voxa {

class StreamSeparator {
 public:
  StreamSeparator(Acquisition& a, Host& host, Surface& surface);

  // The first byte of 0x80 or above, read while waiting for the device. It is
  // dispatched once a further byte has arrived.
  void Begin(uint8_t firstMarker);

  // Hands received bytes over, in order. Returns how many were taken: fewer
  // than count only when a record asks the stream to rest (a header record);
  // the caller keeps the rest and feeds it after PauseMilliseconds().
  size_t Feed(const uint8_t* data, size_t count);

  // How long the stream rests after Feed returned early; 0 otherwise.
  int PauseMilliseconds() const { return pauseMs_; }

  // STOP: the partial record is dropped; the recording is finished (flush,
  // end-time record, end byte, start fixes, header) and given its final name.
  // Returns the name the recording got ("" when nothing was recorded).
  std::string Finish();

  // The run ends by an error: the recording is closed as it stands, under its
  // working name, without the finishing steps.
  void Abandon();

 private:
  enum class State;
  struct Impl;
  Acquisition& a_;
  Host& host_;
  Surface& surface_;
  int pauseMs_ = 0;
  int state_ = 0;
  int32_t count_ = 0;
  std::string bootText_;
};

}  // namespace voxa
