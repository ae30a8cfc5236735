// The noise a station's status reports: per channel, the median of the
// recent PSDs at a few standard periods.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "pipeline/run_pipeline.h"

namespace voxa {

inline constexpr std::array<double, 3> kStatusPeriods = {0.1, 1.0, 10.0};

struct ChannelNoiseStatus {
  std::string stream;          // NET.STA.LOC.CHA
  bool acceleration = false;   // dB re 1 (m/s^2)^2/Hz; else dB re 1 V^2/Hz (no sensor)
  int64_t windows = 0;         // PSD windows in the median
  // The median at kStatusPeriods; nullopt before the first window, or where
  // the rate and window reach no such period.
  std::array<std::optional<double>, kStatusPeriods.size()> medianDb;
};

// One entry per channel of the stream in force; none when the PSD is off.
std::vector<ChannelNoiseStatus> NoiseStatus(const RunPipeline& pipeline);

}  // namespace voxa
