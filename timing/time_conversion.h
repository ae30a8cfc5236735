// Calendar routines and moving a GPS record by whole seconds.
//
// Dates move with the UTC time of day the record states. The date of a time
// message belongs to its UTC time, so a record is moved by first taking its
// UTC time of day (GPS time of day minus the GPS - UTC offset) into 0..86399
// with the date unchanged, and only then applying the move: the date changes
// exactly when the move crosses UTC midnight, by as many days as it crosses.
// The year is never changed; a day moved out of its year is written as day
// 00 of month 00 (yy/00/00) at either end of the year, so a reader sees that
// the date left the year instead of getting a wrong calendar date.
#pragma once

#include <cstdint>
#include <string>

#include "timing/gps_clock.h"

namespace voxa {

// Day number in its year, 1 for 1 January (leap year when year mod 4 = 0,
// which the two-digit year makes right for 2000 ... 2099); 0 for no month.
int DayOfYear(int day, int month, int year);

// Days in the month (1 ... 12) of the two-digit year, by the same leap rule;
// 0 for no month.
int DaysInMonth(int month, int year);

struct DayMonth {
  int day = 0;
  int month = 0;
};
// Day and month of day number n; day 0, month 0 outside the year.
DayMonth DateOfDayOfYear(int year, int n);

// Moves the time fields back by seconds (forward when negative): time of day,
// hour, minute, second, day and month change; the year, the offset and the
// numeric second of day do not. record, a GPS record text, is made a whole
// 76-character record carrying the moved fields and valid checksums again.
void MoveGpsTime(GpsTime& time, int64_t seconds, std::string& record);

}  // namespace voxa
