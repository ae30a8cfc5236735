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

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kWrapWindow = 3600;

// The seconds from one time of day to the next. The GPS time of day starts
// again from 0 at GPS midnight, so a plain difference counts -86399 s for the
// second that crosses it. A difference within an hour of a whole day is the
// clock passing midnight (forward, or back across it), and is counted the
// short way round: a jump near midnight keeps its size. A jump farther than
// that cannot be told from one of the other way round; it is listed as the
// plain difference, as anywhere else in the day.
int64_t SecondsAcrossDay(int64_t from, int64_t to) {
  const int64_t elapsed = to - from;
  if (elapsed < kWrapWindow - kSecondsPerDay) return elapsed + kSecondsPerDay;
  if (elapsed > kSecondsPerDay - kWrapWindow) return elapsed - kSecondsPerDay;
  return elapsed;
}

}  // namespace

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
    const int64_t elapsed = SecondsAcrossDay(lastMarkTime_, gpsSecondOfDay);
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
