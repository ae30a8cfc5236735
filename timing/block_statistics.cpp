#include "timing/block_statistics.h"

#include "format/number_text.h"

namespace voxa {

std::string BlockErrorLine(int64_t blocksBefore, int32_t payloadBytes) {
  return ";" + std::to_string(blocksBefore) + ";" + std::to_string(payloadBytes) + " Bytes";
}

std::string SecondErrorLine(const GpsTime& time, int64_t difference) {
  return time.ClockText() + " ; " + std::to_string(difference) + "; sec";
}

std::string RateErrorLine(const GpsTime& time, int64_t blocksSinceMark) {
  return time.ClockText() + " ; " + std::to_string(blocksSinceMark) + "; sps";
}

std::string_view GpsErrorLine() { return "GPS Block error"; }

void BlockStatistics::StartRun() {
  goodBlocks_ = 0;
  blockErrors_ = 0;
  secondErrors_ = 0;
  rateErrors_ = 0;
  blocksSinceMark_ = 0;
}

BlockVerdict BlockStatistics::Count(const SampleBlock& block, int32_t rate, int32_t gpsSecondOfDay, bool firstScreen) {
  BlockVerdict verdict;
  if (block.valid) {
    ++goodBlocks_;
  } else {
    verdict.blockError = true;
    verdict.blocksBefore = goodBlocks_ + blockErrors_;
    verdict.payloadBytes = static_cast<int32_t>(block.payload.size());
    ++blockErrors_;
  }

  // Valid and invalid marks alike run the checks.
  if (block.SecondMark()) {
    if (firstScreen) lastMarkTime_ = gpsSecondOfDay - 1;
    const int64_t perSecond = rate > 0 ? rate : 1;
    const int64_t elapsed = int64_t{gpsSecondOfDay} - lastMarkTime_;
    const int64_t counted = RoundHalfEven(static_cast<double>(blocksSinceMark_) / static_cast<double>(perSecond));
    if (elapsed != counted) {
      ++secondErrors_;
      verdict.secondError = true;
      verdict.secondDifference = elapsed - counted;
    }
    if (blocksSinceMark_ % perSecond > 0) {
      ++rateErrors_;
      verdict.rateError = true;
      verdict.blocksSinceMark = blocksSinceMark_;
    }
    blocksSinceMark_ = 0;
    lastMarkTime_ = gpsSecondOfDay;
  }
  // The mark block itself is the first block counted for the next second.
  ++blocksSinceMark_;
  return verdict;
}

}  // namespace voxa
