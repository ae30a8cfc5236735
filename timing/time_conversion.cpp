#include "timing/time_conversion.h"

#include <array>
#include <string_view>

#include "format/gps_record.h"
#include "format/number_text.h"

namespace voxa {
namespace {

using namespace gps_text;

constexpr int64_t kSecondsPerDay = 86400;
constexpr std::array<int, 12> kDaysBeforeMonth = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr std::array<int, 12> kMonthLength = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool IsLeapYear(int year) { return year % 4 == 0; }

int64_t FloorDiv(int64_t value, int64_t divisor) {
  const int64_t quotient = value / divisor;
  return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

int64_t FloorMod(int64_t value, int64_t divisor) {
  const int64_t rest = value % divisor;
  return rest < 0 ? rest + divisor : rest;
}

std::string Two(int64_t value) { return ZeroPadded(value, 2); }

}  // namespace

int DayOfYear(int day, int month, int year) {
  if (month < 1 || month > 12 || day < 1 || day > 31) return 0;
  const int leapDay = (IsLeapYear(year) && month >= 3) ? 1 : 0;
  return day + kDaysBeforeMonth[static_cast<size_t>(month - 1)] + leapDay;
}

int DaysInMonth(int month, int year) {
  if (month < 1 || month > 12) return 0;
  return kMonthLength[static_cast<size_t>(month - 1)] + ((IsLeapYear(year) && month == 2) ? 1 : 0);
}

DayMonth DateOfDayOfYear(int year, int n) {
  const bool leap = IsLeapYear(year);
  if (n < 1 || n - (leap ? 1 : 0) > 365) return {};
  int month = 1;
  for (;; ++month) {
    const int length = kMonthLength[static_cast<size_t>(month - 1)] + ((leap && month == 2) ? 1 : 0);
    if (n <= length) break;
    n -= length;
  }
  return {n, month};
}

void MoveGpsTime(GpsTime& time, int64_t seconds, std::string& record) {
  const int64_t gpsTime = TextToInt(time.timeOfDay);
  const int64_t offset = TextToInt(time.utcOffset);
  const int year = TextToInt(time.year);
  const int dayNumber = DayOfYear(TextToInt(time.day), TextToInt(time.month), year);

  // The date belongs to the UTC time of day; take that into one day first.
  // The move is split into whole days and the rest, so that no move, however
  // long, overflows.
  int64_t utc = FloorMod(gpsTime - offset, kSecondsPerDay) - FloorMod(seconds, kSecondsPerDay);
  const int64_t days = FloorDiv(utc, kSecondsPerDay) - FloorDiv(seconds, kSecondsPerDay);
  utc = FloorMod(utc, kSecondsPerDay);
  const int64_t movedGpsTime = FloorMod(utc + offset, kSecondsPerDay);

  // A date that was no date to begin with (month outside 1..12) stays none.
  DayMonth date;
  if (dayNumber >= 1) {
    const int64_t moved = dayNumber + days;
    if (moved >= 1 && moved <= 366) date = DateOfDayOfYear(year, static_cast<int>(moved));
  }

  time.timeOfDay = ZeroPadded(movedGpsTime, 5);
  time.hour = Two(utc / 3600);
  time.minute = Two((utc % 3600) / 60);
  time.second = Two(utc % 60);
  time.day = Two(date.day);
  time.month = Two(date.month);

  // The record is rewritten as a whole 76-character record with both
  // checksums valid again. A ">XPV" record keeps its temperature where other
  // records carry the time of day.
  record = FullRecord(record);
  if (!HasAt(record, 1, kTemperatureId)) OverwriteAt(record, kTimeOfDayPos, time.timeOfDay, 5);
  OverwriteAt(record, kHourPos, time.hour, 2);
  OverwriteAt(record, kMinutePos, time.minute, 2);
  OverwriteAt(record, kSecondPos, time.second, 2);
  OverwriteAt(record, kDayPos, time.day, 2);
  OverwriteAt(record, kMonthPos, time.month, 2);
  // Each checksum covers its message from after ">" through "*".
  const std::string first = GpsChecksum(std::string_view(record).substr(1, kFirstChecksumPos - 2));
  const std::string second =
      GpsChecksum(std::string_view(record).substr(kTimeMessagePos, kSecondChecksumPos - kTimeMessagePos - 1));
  OverwriteAt(record, kFirstChecksumPos, first, 2);
  OverwriteAt(record, kSecondChecksumPos, second, 2);
}

}  // namespace voxa
