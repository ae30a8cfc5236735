#include "pipeline/noise_status.h"

namespace voxa {

std::vector<ChannelNoiseStatus> NoiseStatus(const RunPipeline& pipeline) {
  std::vector<ChannelNoiseStatus> status;
  const std::vector<std::string> codes = pipeline.StreamCodeTexts();
  for (int32_t ch = 0; ch < pipeline.NoiseChannels() && ch < static_cast<int32_t>(codes.size()); ++ch) {
    const ChannelPsd& psd = pipeline.Noise(ch);
    const PsdSummary summary = psd.Summary();
    ChannelNoiseStatus entry;
    entry.stream = codes[static_cast<size_t>(ch)];
    entry.acceleration = summary.acceleration;
    entry.windows = summary.windows;
    for (size_t i = 0; i < kStatusPeriods.size(); ++i) {
      if (summary.windows > 0) entry.medianDb[i] = AtPeriod(summary.periods, summary.p50, kStatusPeriods[i]);
    }
    status.push_back(entry);
  }
  return status;
}

}  // namespace voxa
