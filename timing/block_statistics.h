// Block statistics and the checks at every second mark: each sample block is
// counted as good or as a block error; at each 0x90 block the blocks counted
// since the previous mark are checked against the sample rate and against how
// far the GPS clock advanced (across GPS midnight, where its time of day
// starts again from 0, the seconds are counted on over the wrap). Errors are
// returned as data; the caller writes the lines (built by the functions
// below) to the lists.
#pragma once

#include <cstdint>
#include <string>

#include "format/records.h"
#include "timing/gps_clock.h"

namespace voxa {

// What one block added to the statistics.
struct BlockVerdict {
  bool blockError = false;    // the block was invalid
  int64_t blocksBefore = 0;   // blocks received before it, good or not
  int32_t payloadBytes = 0;   // what it carried
  bool secondError = false;   // at a mark: the GPS clock and the block count disagree
  int64_t secondDifference = 0;  // seconds by the GPS clock minus seconds in blocks
  bool rateError = false;     // at a mark: not a whole number of seconds in blocks
  int64_t blocksSinceMark = 0;
};

class BlockStatistics {
 public:
  // START: every counter back to zero. The time of the previous mark is kept:
  // during a run's first screen it is derived anew at every mark.
  void StartRun();

  // One sample block. gpsSecondOfDay is the GPS clock's time of day; during
  // the first screen the GPS clock counts as having advanced by exactly one
  // second at every mark, because there is no earlier mark of this run.
  BlockVerdict Count(const SampleBlock& block, int32_t rate, int32_t gpsSecondOfDay, bool firstScreen);

  int64_t GoodBlocks() const { return goodBlocks_; }
  int64_t BlockErrors() const { return blockErrors_; }
  int64_t SecondErrors() const { return secondErrors_; }
  int64_t RateErrors() const { return rateErrors_; }
  int64_t BlocksSinceMark() const { return blocksSinceMark_; }

  // Test seam: counters as a run years long leaves them (every counter is
  // 64 bits wide: 10 years at 800 sps are 2.5e11 blocks).
  void SetCountsForTest(int64_t goodBlocks, int64_t blockErrors, int64_t blocksSinceMark) {
    goodBlocks_ = goodBlocks;
    blockErrors_ = blockErrors;
    blocksSinceMark_ = blocksSinceMark;
  }

 private:
  int64_t goodBlocks_ = 0;
  int64_t blockErrors_ = 0;
  int64_t secondErrors_ = 0;
  int64_t rateErrors_ = 0;
  int64_t blocksSinceMark_ = 0;
  int32_t lastMarkTime_ = 0;  // GPS time of day at the previous mark
};

// The lines of error.csv (the rate line goes to shift.csv as well).
std::string BlockErrorLine(int64_t blocksBefore, int32_t payloadBytes);
std::string SecondErrorLine(const GpsTime& time, int64_t difference);
std::string RateErrorLine(const GpsTime& time, int64_t blocksSinceMark);
// A GPS record that could not be decoded.
std::string_view GpsErrorLine();

}  // namespace voxa
