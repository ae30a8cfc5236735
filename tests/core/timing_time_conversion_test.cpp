// Calendar routines and moving a GPS record's time by whole seconds.
#include <gtest/gtest.h>

#include "core_test_support.h"
#include "timing/time_conversion.h"

namespace voxa::test {
namespace {

TEST(Calendar, DayNumbersBothWays) {
  const struct { int day, month, year, n; } rows[] = {
      {1, 1, 11, 1}, {12, 11, 11, 316}, {31, 12, 11, 365}, {28, 2, 12, 59}, {29, 2, 12, 60},
      {1, 3, 11, 60}, {1, 3, 12, 61}, {31, 12, 12, 366}, {1, 1, 0, 1},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(DayOfYear(row.day, row.month, row.year), row.n) << row.day << "." << row.month << "." << row.year;
    const DayMonth date = DateOfDayOfYear(row.year, row.n);
    EXPECT_EQ(date.day * 100 + date.month, row.day * 100 + row.month) << "day " << row.n << " of " << row.year;
  }
  EXPECT_EQ(DayOfYear(5, 13, 11), 0) << "no month 13";
  EXPECT_EQ(DayOfYear(5, 0, 11), 0) << "no month 0";
  for (const auto& [year, n] : {std::pair{11, 366}, {12, 367}, {11, 0}, {11, -3}}) {
    const DayMonth date = DateOfDayOfYear(year, n);
    EXPECT_TRUE(date.day == 0 && date.month == 0) << "day " << n << " of " << year;
  }
}

TEST(MoveGpsTime, MovesTheUtcTimeAndDateAndRewritesTheRecord) {
  struct Row {
    const char* legend;
    std::string_view timeOfDay, offset, clock, date;  // record fields: hhmmss, ddMMyy
    int64_t back;
    std::string_view movedTimeOfDay, movedClock, movedDate;
  };
  const Row rows[] = {
      {"first fix 00:00:05 back 20 s", "00020", "15", "000005", "121111", 20, "00000", "235945", "111111"},
      {"forward across GPS midnight", "86390", "15", "235935", "111111", -20, "00010", "235955", "111111"},
      {"forward to UTC 86400 exactly", "86390", "15", "235935", "111111", -25, "00015", "000000", "121111"},
      {"time of day beyond 65535", "70000", "15", "192625", "111111", 2, "69998", "192623", "111111"},
      {"31 Dec forward leaves the year", "86390", "15", "235935", "311211", -25, "00015", "000000", "000011"},
      {"UTC 23:59:42 unmoved keeps its date", "00000", "18", "235942", "111111", 0, "00000", "235942", "111111"},
      {"UTC 23:59:42 back 2 s", "00000", "18", "235942", "111111", 2, "86398", "235940", "111111"},
      {"New Year backward leaves the year", "00020", "15", "000005", "010112", 20, "00000", "235945", "000012"},
      {"25 hours back", "43215", "15", "120000", "121111", 90000, "39615", "110000", "111111"},
      {"three days forward over 29 Feb", "43215", "15", "120000", "280212", -259200, "43215", "120000", "020312"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    std::string record = Fix(row.timeOfDay, row.clock, row.date, row.offset);
    GpsTime time = Decoded(record);
    MoveGpsTime(time, row.back, record);
    EXPECT_EQ(time.timeOfDay, row.movedTimeOfDay);
    EXPECT_EQ(time.hour + time.minute + time.second, row.movedClock);
    EXPECT_EQ(time.day + time.month + time.year, row.movedDate);
    EXPECT_EQ(time.utcOffset, row.offset);
    EXPECT_EQ(record, Checksummed(Fix(row.movedTimeOfDay, row.movedClock, row.movedDate, row.offset)));
  }
}

TEST(MoveGpsTime, CutShortRecordIsCompletedToSeventySixCharacters) {
  const std::string full = GpsText({{1, ">XPV+23.5"}, {66, "999999"}}, Fix("00020", "000005", "121111"));
  std::string record = full.substr(0, 68) + "\x90";
  GpsTime time = Decoded(record);
  MoveGpsTime(time, 5, record);
  // The temperature stays; the missing tail is the placeholder's.
  EXPECT_EQ(record, Checksummed(GpsText({{1, ">XPV+23.5"}, {66, "999"}}, Fix("", "000000", "121111"))));
}

}  // namespace
}  // namespace voxa::test
