// GPS records: the GPS clock, date, UTC offset, satellites and temperature
// taken out of a record. The checksums a record carries are not verified: the
// device's receiver is trusted for them, and the time code only recomputes
// them when it rewrites a record.
#include "timing/gps_clock.h"

#include <cstdint>

#include "format/gps_record.h"
#include "format/number_text.h"

namespace voxa {
namespace {

using namespace gps_text;

constexpr int32_t kSecondsPerDay = 86400;

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
