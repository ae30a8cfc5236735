// UTC instants as microseconds since 1970-01-01 00:00:00 UTC, the unit
// miniSEED times are packed from. Every sample interval the device offers
// (50 ... 800 sps) is a whole number of microseconds, so sample times are
// exact integers and never drift by rounding.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "timing/gps_clock.h"

namespace voxa {

using Micros = int64_t;

inline constexpr Micros kMicrosPerSecond = 1'000'000;
inline constexpr Micros kMicrosPerDay = 86'400 * kMicrosPerSecond;

// The interval between two samples at rate samples per second.
inline Micros SampleInterval(int32_t rate) { return kMicrosPerSecond / (rate > 0 ? rate : 1); }

struct UtcFields {
  int year = 1970, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0;
  int dayOfYear = 1;
  int32_t micros = 0;
};

// The instant of a calendar date and time (proleptic Gregorian calendar);
// nullopt when a field is out of its range (a leap second's 60 included:
// a sample time cannot stand on it).
std::optional<Micros> UtcInstant(int year, int month, int day, int hour, int minute, int second);

// The UTC time a GPS record states (its hh:mm:ss and dd/mm/yy fields, the
// year in 2000 ... 2099), or nullopt when the fields are not a date and time.
std::optional<Micros> UtcOfGpsTime(const GpsTime& time);

UtcFields FieldsOf(Micros instant);
// Midnight UTC at the start of the day of instant, and of the next day.
Micros DayStart(Micros instant);
inline Micros NextDayStart(Micros instant) { return DayStart(instant) + kMicrosPerDay; }

// "2026-03-07T23:59:52.000000".
std::string IsoText(Micros instant);

}  // namespace voxa
