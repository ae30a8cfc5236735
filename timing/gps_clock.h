// The GPS clock: the time, date, UTC offset, satellites and temperature of
// the last sound GPS record, and how many sample blocks have arrived since.
// A record is sound when its time message (">RTM") stands at position 40,
// the record reaches at least the last field that is decoded, and every field
// taken is digits in range: hour 00-23, minute 00-59, second 00-59 (60 at
// 23:59, a leap second), day 01 to the month's last, month 01-12, two-digit
// year, UTC offset and satellites, and in a ">RPV" record the GPS time of day
// 00000-86399. Anything else is a broken record, which changes no time field.
// Checksums are not verified.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace voxa {

// The time fields of a GPS record as the record states them: short texts
// copied without conversion, so they read exactly as the device sent them.
// The recording's time stamps move such a set of fields by whole seconds.
struct GpsTime {
  std::string timeOfDay;  // 5 characters: GPS seconds of the day
  int32_t secondOfDay = 0;
  std::string hour, minute, second;  // 2 characters each, UTC
  std::string day, month, year;      // 2 characters each
  std::string utcOffset;             // GPS - UTC in whole seconds, 2 characters

  // "hh:mm:ss", the time the lists and the window show.
  std::string ClockText() const { return hour + ":" + minute + ":" + second; }
};

class GpsClock {
 public:
  GpsClock();

  // START: no GPS message decoded yet in this run, no blocks counted. The
  // time fields keep what they held: lines written before the run's first
  // sound record carry them.
  void StartRun();

  // Decodes a GPS record's text. True when it was sound: the time fields,
  // satellites and (for a ">XPV" record) temperature are taken from it and
  // the block count starts again from this fix. A broken record changes
  // nothing but the temperature it may carry.
  bool Decode(std::string_view text);

  // One more sample block, valid or not.
  void CountBlock() { ++blocksSinceFix_; }

  // The end of a recording leaves the time fields it dated in force until
  // the next sound record.
  void KeepTime(const GpsTime& time) { time_ = time; }

  const GpsTime& Time() const { return time_; }
  const std::string& Satellites() const { return satellites_; }
  const std::string& Temperature() const { return temperature_; }
  // A ">XPV" record has been seen since the program started.
  bool TemperatureAvailable() const { return temperatureAvailable_; }
  // A sound record has been decoded in this run.
  bool Seen() const { return seen_; }
  // Sample blocks since the last sound record (all of them before the first).
  int64_t BlocksSinceFix() const { return blocksSinceFix_; }
  // Sample blocks between the previous sound record (or START) and the last one.
  int64_t BlocksBeforeLastFix() const { return blocksBeforeLastFix_; }

  // Test seam: the blocks counted since the last fix, as a run years long
  // without a sound GPS record leaves them.
  void SetBlocksSinceFixForTest(int64_t blocks) { blocksSinceFix_ = blocks; }

 private:
  GpsTime time_;
  std::string satellites_;   // 2 characters
  std::string temperature_;  // 5 characters
  bool temperatureAvailable_ = false;
  bool seen_ = false;
  int64_t blocksSinceFix_ = 0;
  int64_t blocksBeforeLastFix_ = 0;
};

}  // namespace voxa
