// GPS records: the GPS clock, date, UTC offset, satellites and temperature
// taken out of a record. The checksums a record carries are not verified: the
// device's receiver is trusted for them, and the time code only recomputes
// them when it rewrites a record.
#include "timing/gps_clock.h"

#include <cstdint>

#include "format/gps_record.h"
#include "format/number_text.h"
#include "timing/time_conversion.h"

namespace voxa {
namespace {

using namespace gps_text;

constexpr int32_t kSecondsPerDay = 86400;

// The value of a field of exactly `width` decimal digits, or -1.
int32_t Digits(std::string_view text, size_t pos, size_t width) {
  const std::string_view field = Field(text, pos, width);
  if (field.size() != width) return -1;
  int32_t value = 0;
  for (const char c : field) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

// Every field the clock takes is digits in its range, or the record is
// broken: a record that went wrong on the line keeps its checksums' sense
// only by luck, and its fields would go into file names and time stamps.
// The second may be 60 at 23:59 UTC, where a leap second is inserted; the
// GPS time of day has no leap seconds.
bool SoundFields(std::string_view text) {
  const int32_t hour = Digits(text, kHourPos, 2);
  const int32_t minute = Digits(text, kMinutePos, 2);
  const int32_t second = Digits(text, kSecondPos, 2);
  const int32_t day = Digits(text, kDayPos, 2);
  const int32_t month = Digits(text, kMonthPos, 2);
  const int32_t year = Digits(text, kYearPos, 2);
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0) return false;
  if (second > 59 && !(second == 60 && hour == 23 && minute == 59)) return false;
  if (year < 0 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(month, year)) return false;
  if (Digits(text, kUtcOffsetPos, 2) < 0 || Digits(text, kSatellitesPos, 2) < 0) return false;
  if (HasAt(text, 1, kTemperatureId)) return true;  // the temperature stands where the time of day would
  const int32_t timeOfDay = Digits(text, kTimeOfDayPos, 5);
  return timeOfDay >= 0 && timeOfDay < kSecondsPerDay;
}

// A ">XPV" record carries the temperature where the GPS time of day would
// stand, so the time of day is derived from the time message: its UTC time
// plus the GPS - UTC offset, which is what the position message would carry.
int32_t TimeOfDayFromTimeMessage(const GpsTime& t) {
  const int64_t utc =
      int64_t{TextToInt(t.hour)} * 3600 + int64_t{TextToInt(t.minute)} * 60 + TextToInt(t.second);
  const int64_t gps = (utc + TextToInt(t.utcOffset)) % kSecondsPerDay;
  return static_cast<int32_t>(gps < 0 ? gps + kSecondsPerDay : gps);
}

}  // namespace

GpsClock::GpsClock() {
  time_.timeOfDay.reserve(8);
  satellites_.reserve(4);
}

void GpsClock::StartRun() {
  seen_ = false;
  blocksSinceFix_ = 0;
  blocksBeforeLastFix_ = 0;
}

bool GpsClock::Decode(std::string_view text) {
  if (HasAt(text, 1, kTemperatureId)) {
    const std::string_view temperature = Field(text, kTimeOfDayPos, 5);
    if (temperature.size() == 5) {
      temperatureAvailable_ = true;
      temperature_.assign(temperature);
    }
  }
  // Broken: the time fields keep the last sound record's values and the
  // blocks go on counting, so the end time stays right.
  if (!HasAt(text, kTimeMessagePos, kTimeMessageId) || RecordLength(text) < kLastDecodedPos) return false;
  if (!SoundFields(text)) return false;

  seen_ = true;
  time_.hour.assign(Field(text, kHourPos, 2));
  time_.minute.assign(Field(text, kMinutePos, 2));
  time_.second.assign(Field(text, kSecondPos, 2));
  time_.day.assign(Field(text, kDayPos, 2));
  time_.month.assign(Field(text, kMonthPos, 2));
  time_.year.assign(Field(text, kYearPos, 2));
  time_.utcOffset.assign(Field(text, kUtcOffsetPos, 2));
  satellites_.assign(Field(text, kSatellitesPos, 2));

  if (HasAt(text, 1, kTemperatureId)) {
    time_.secondOfDay = TimeOfDayFromTimeMessage(time_);
    time_.timeOfDay = ZeroPadded(time_.secondOfDay, 5);
  } else {
    time_.timeOfDay.assign(Field(text, kTimeOfDayPos, 5));
    time_.secondOfDay = TextToInt(time_.timeOfDay);
  }
  blocksBeforeLastFix_ = blocksSinceFix_;
  blocksSinceFix_ = 0;
  return true;
}

}  // namespace voxa
