// GPS records: takes the GPS clock, date, UTC offset, satellites and
// temperature out of a record, reports broken records, and keeps the start
// fields and the name of a recording from its first fix.
//
// A record is sound when its time message (">RTM") stands at position 40 and
// the record reaches at least the last field that is decoded; anything else
// is a broken record, which changes no time field. The checksums a record
// carries are not verified: the device's receiver is trusted for them, and
// the time code only recomputes them when it rewrites a record.
#include "timing/gps.h"

#include <cstdint>

#include "stream/number_text.h"
#include "timing/gps_text.h"
#include "timing/time_stamps.h"

namespace voxa {
namespace {

using namespace gps_text;

constexpr int32_t kSecondsPerDay = 86400;

// The error line of a broken record: the text alone, no time.
std::string_view GpsBlockErrorLine() { return "GPS Block error"; }

// A ">XPV" record carries the temperature where the GPS time of day would
// stand, so the time of day is derived from the time message: its UTC time
// plus the GPS - UTC offset, which is what the position message would carry.
int32_t TimeOfDayFromTimeMessage(const Acquisition& a) {
  const int64_t utc = int64_t{TextToInt(a.GpsHour)} * 3600 + int64_t{TextToInt(a.GpsMinute)} * 60 +
                      TextToInt(a.GpsSecond);
  const int64_t gps = (utc + TextToInt(a.GpsUtcOffset)) % kSecondsPerDay;
  return static_cast<int32_t>(gps < 0 ? gps + kSecondsPerDay : gps);
}

}  // namespace

void DecodeGpsRecord(Acquisition& a) {
  a.GpsBlockError = false;
  const std::string_view text = a.GpsText;

  if (HasAt(text, 1, kTemperatureId)) {
    const std::string_view temperature = Field(text, kTimeOfDayPos, 5);
    if (temperature.size() == 5) {
      a.TempAvailable = true;
      a.TempText.assign(temperature);
    }
  }

  if (HasAt(text, kTimeMessagePos, kTimeMessageId) && RecordLength(text) >= kLastDecodedPos) {
    DecodeGpsTime(a);
    return;
  }

  // Broken: the time fields keep the last sound record's values and
  // BlocksSinceFix keeps counting, so the end time stays right.
  a.BlockErrorText.assign(GpsBlockErrorLine());
  a.GpsBlockError = true;
  if (a.SaveErrorList) a.ErrorFile.WriteLine(GpsBlockErrorLine());
}

void DecodeGpsTime(Acquisition& a) {
  const std::string_view text = a.GpsText;
  a.GpsSeen = true;

  a.GpsHour.assign(Field(text, kHourPos, 2));
  a.GpsMinute.assign(Field(text, kMinutePos, 2));
  a.GpsSecond.assign(Field(text, kSecondPos, 2));
  a.GpsDay.assign(Field(text, kDayPos, 2));
  a.GpsMonth.assign(Field(text, kMonthPos, 2));
  a.GpsYear.assign(Field(text, kYearPos, 2));
  a.GpsUtcOffset.assign(Field(text, kUtcOffsetPos, 2));
  a.SatText.assign(Field(text, kSatellitesPos, 2));

  if (HasAt(text, 1, kTemperatureId)) {
    a.GpsSecondOfDay = TimeOfDayFromTimeMessage(a);
    a.GpsTimeText = ZeroPadded(a.GpsSecondOfDay, 5);
  } else {
    a.GpsTimeText.assign(Field(text, kTimeOfDayPos, 5));
    a.GpsSecondOfDay = TextToInt(a.GpsTimeText);
  }

  if (a.SaveStream) {
    if (a.StartTimePending) {
      a.StartTimeText = a.GpsTimeText;
      a.StartYear = a.GpsYear;
      a.StartMonth = a.GpsMonth;
      a.StartDay = a.GpsDay;
      a.StartHour = a.GpsHour;
      a.StartMinute = a.GpsMinute;
      a.StartSecond = a.GpsSecond;
      a.StartTimePending = false;
      // Without a device header the device number is not known yet; the
      // name is then built when the recording ends.
      if (!a.AwaitingDeviceHeader) a.StreamFileName = StreamFileNameFrom(a);
    }
    if (a.GpsPlaceholder) {
      a.FirstFixBlocks = a.BlocksSinceFix;
      a.FirstGpsText = a.GpsText;
      a.GpsPlaceholder = false;
      a.StartShiftPending = true;
      a.StartTimeFix = true;
    }
  }

  a.BlocksSinceFix = 0;
}

std::string GpsChecksum(std::string_view text) {
  uint8_t sum = 0x3E;  // the ">" that opens every message
  for (const char c : text) sum = static_cast<uint8_t>(sum ^ static_cast<uint8_t>(c));
  return HexByte(sum);
}

std::string HexByte(uint8_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return std::string{kDigits[value >> 4], kDigits[value & 0x0F]};
}

}  // namespace voxa
