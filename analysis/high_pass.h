// The first-order high-pass filter applied to samples as they are stored,
// when "High Pass" is on: a corner near 0.5 Hz at every standard rate.
#pragma once

#include <array>
#include <cstdint>

#include "format/sample.h"

namespace voxa {

class HighPassFilter {
 public:
  // Sets the filter up for rate, state zeroed. Called at START and after
  // every device header record while the filter is on, and when "High Pass"
  // is ticked in the middle of a run: the filter then starts from a fresh
  // set-up for the rate in force, never from a stale shift and state.
  void Init(int32_t rate);
  // One filter step for channel ch; returns the value to store.
  int32_t Step(int ch, int32_t x);

  int32_t Shift() const { return shift_; }
  const std::array<int32_t, kMaxChannels>& State() const { return state_; }
  // The rate the filter was last set up for; 0 when it never was.
  int32_t Rate() const { return rate_; }
  // For tests: a state to start from.
  void SetState(const std::array<int32_t, kMaxChannels>& state) { state_ = state; }

 private:
  int32_t shift_ = 0;
  std::array<int32_t, kMaxChannels> state_{};
  int32_t rate_ = 0;
};

}  // namespace voxa
