#include "mseed/utc_time.h"

#include <cstdio>
#include <string_view>

#include "format/number_text.h"

namespace voxa {
namespace {

int64_t FloorDiv(int64_t value, int64_t divisor) {
  const int64_t quotient = value / divisor;
  return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  constexpr int kLength[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return kLength[month - 1] + ((month == 2 && IsLeap(year)) ? 1 : 0);
}

// Days from 1970-01-01 to the date (the civil-from-days inverse below).
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = FloorDiv(year, 400);
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// A two-character field of digits only, else -1.
int Digits(std::string_view text) {
  if (text.size() != 2) return -1;
  for (const char c : text) {
    if (c < '0' || c > '9') return -1;
  }
  return TextToInt(text);
}

}  // namespace

std::optional<Micros> UtcInstant(int year, int month, int day, int hour, int minute, int second) {
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return std::nullopt;
  const int64_t seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return seconds * kMicrosPerSecond;
}

std::optional<Micros> UtcOfGpsTime(const GpsTime& time) {
  const int year = Digits(time.year);
  const int month = Digits(time.month);
  const int day = Digits(time.day);
  const int hour = Digits(time.hour);
  const int minute = Digits(time.minute);
  const int second = Digits(time.second);
  if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0) return std::nullopt;
  return UtcInstant(2000 + year, month, day, hour, minute, second);
}

UtcFields FieldsOf(Micros instant) {
  UtcFields f;
  const int64_t days = FloorDiv(instant, kMicrosPerDay);
  const Micros ofDay = instant - days * kMicrosPerDay;
  // Civil date of a day count (Howard Hinnant's algorithm).
  const int64_t z = days + 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t dayOfEra = z - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t mp = (5 * dayOfYear + 2) / 153;
  f.day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  f.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  f.year = static_cast<int>(yearOfEra + era * 400 + (f.month <= 2 ? 1 : 0));
  f.dayOfYear = static_cast<int>(days - DaysFromCivil(f.year, 1, 1) + 1);
  const int64_t seconds = ofDay / kMicrosPerSecond;
  f.hour = static_cast<int>(seconds / 3600);
  f.minute = static_cast<int>(seconds % 3600 / 60);
  f.second = static_cast<int>(seconds % 60);
  f.micros = static_cast<int32_t>(ofDay % kMicrosPerSecond);
  return f;
}

Micros DayStart(Micros instant) { return FloorDiv(instant, kMicrosPerDay) * kMicrosPerDay; }

std::string IsoText(Micros instant) {
  const UtcFields f = FieldsOf(instant);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06d", f.year, f.month, f.day, f.hour, f.minute,
                f.second, static_cast<int>(f.micros));
  return text;
}

}  // namespace voxa
