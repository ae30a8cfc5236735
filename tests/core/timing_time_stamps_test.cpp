// Calendar routines, moving a GPS record, and the dating of a finished
// recording: end-time record, start-record rewrite, start time, file name.
#include <gtest/gtest.h>

#include "timing/time_stamps.h"
#include "timing_test_support.h"

namespace voxa {
namespace {

using namespace timing_test;
using Bytes = std::vector<uint8_t>;

void Append(Bytes& bytes, std::string_view text) { bytes.insert(bytes.end(), text.begin(), text.end()); }

// Sets the GPS fields as a decoded record would.
void Decode(Acquisition& a, const std::string& text) {
  a.GpsText = text;
  DecodeGpsRecord(a);
  ASSERT_FALSE(a.GpsBlockError);
}

TEST(TimingCalendar, DayNumbersBothWays) {
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

TEST(TimingBackdate, MovesTheUtcTimeAndDateAndRewritesTheRecord) {
  struct Row {
    const char* legend;
    std::string_view timeOfDay, offset, clock, date;  // record fields: hhmmss, ddMMyy
    int32_t backdate;
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
    Acquisition a;
    Decode(a, Fix(row.timeOfDay, row.clock, row.date, row.offset));
    a.WorkGpsText = a.GpsText;
    a.BackdateSeconds = row.backdate;
    BackdateGpsText(a);
    EXPECT_EQ(a.GpsTimeText, row.movedTimeOfDay);
    EXPECT_EQ(a.GpsHour + a.GpsMinute + a.GpsSecond, row.movedClock);
    EXPECT_EQ(a.GpsDay + a.GpsMonth + a.GpsYear, row.movedDate);
    EXPECT_EQ(a.WorkGpsText, Checksummed(Fix(row.movedTimeOfDay, row.movedClock, row.movedDate, row.offset)));
  }
}

TEST(TimingBackdate, CutShortRecordIsCompletedToSeventySixCharacters) {
  Acquisition a;
  const std::string full = Record({{1, ">XPV+23.5"}, {66, "999999"}}, Fix("00020", "000005", "121111"));
  Decode(a, full.substr(0, 68) + "\x90");
  a.WorkGpsText = a.GpsText;
  a.BackdateSeconds = 5;
  BackdateGpsText(a);
  // The temperature stays; the missing tail is the placeholder's.
  EXPECT_EQ(a.WorkGpsText, Checksummed(Record({{1, ">XPV+23.5"}, {66, "999"}}, Fix("", "000000", "121111"))));
}

TEST(TimingEndTime, AppendsTheLastFixMovedByTheWholeSecondsSinceIt) {
  struct Row {
    const char* legend;
    std::string_view date;
    int32_t blocksSinceGps, blocksSinceFix;
    std::string_view text;
  };
  const Row rows[] = {
      {"1.5 s: unchanged", "111111", 150, 150, "E_TIME=23:59:35;E_DATE=11/11/11;D_VOLT=0;E_VOLT=0;DUMMY"},
      {"2.5 s: two seconds later", "111111", 250, 250, "E_TIME=23:59:37;E_DATE=11/11/11;D_VOLT=0;E_VOLT=0;DUMMY"},
      {"into the next day", "111111", 2600, 2600, "E_TIME=00:00:01;E_DATE=11/11/12;D_VOLT=0;E_VOLT=0;DUMMY"},
      {"31 Dec into the next year", "311211", 2600, 2600, "E_TIME=00:00:01;E_DATE=11/00/00;D_VOLT=0;E_VOLT=0;DUMMY"},
      {"broken records after the fix", "111111", 50, 350, "E_TIME=23:59:38;E_DATE=11/11/11;D_VOLT=0;E_VOLT=0;DUMMY"},
  };
  const std::string path = TempPath("timing_end_");
  Acquisition a;
  ASSERT_TRUE(a.StreamFile.Create(path));
  Bytes expected;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    Decode(a, Fix("86390", "235935", row.date));
    a.BlocksSinceGps = row.blocksSinceGps;
    a.BlocksSinceFix = row.blocksSinceFix;
    WriteEndTime(a);
    expected.push_back(0xE0);
    Append(expected, row.text);
  }
  a.StreamFile.Close();
  EXPECT_EQ(TakeFile<Bytes>(path), expected);
}

const Bytes kStream = {
    0x90, 1, 2, 3, 4,    // block 1
    0xB0, 0x90, 0x01,    // shift record; its first byte looks like a block marker
    0x33,                // stray byte
    0x80, 5, 6, 7, 8,    // block 2
    0xA0, '>', 'R', 'P', 'V', '0', '1', '2', '3', '4',  // GPS record (cut short)
    0x80, 9, 10, 11,     // block 3, invalid
    0x9F, 12, 13, 14, 15,  // block 4
    0xB0, 0x00, 0x10,    // shift record
    0x80, 16, 17, 18, 19,  // block 5
};

TEST(TimingStartRecords, WholeRecordsMoveBeforeTheBackdatedFirstFix) {
  const std::string fix = Fix("00020", "000005", "121111");
  const std::string xpv = Record({{1, ">XPV+23.5"}, {66, "999999"}}, fix);
  struct Row {
    const char* legend;
    std::string firstFix;
    int32_t firstFixBlocks;  // at 100 blocks per second
    size_t movedBytes;       // of kStream, up to the end of the k-th block
    std::string rewritten;
  };
  const Row rows[] = {
      {"k = 4 past a shift, a stray byte, GPS and an invalid block", fix, 203, 33,
       Checksummed(Fix("00018", "000003", "121111"))},
      {"k = 1, back across midnight", fix, 2000, 5, Checksummed(Fix("00000", "235945", "111111"))},
      {"fewer blocks than k: after the last one", fix, 99, kStream.size(), Checksummed(fix)},
      {"cut-short temperature record", xpv.substr(0, 70) + "\x80", 301, 9 + 5,
       Checksummed(Record({{1, ">XPV+23.5"}, {66, "99999"}}, Fix("", "000002", "121111")))},
  };
  const std::string header = "DEV_NO=015;S_TIME=11:11:00;S_DATE=11/11/11;DAT_NO=000";
  const std::string path = TempPath("timing_start_");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    Acquisition a;
    a.SaveStream = true;
    a.ChannelCount = 1;
    a.GpsPlaceholder = true;
    a.BlocksSinceFix = row.firstFixBlocks;
    a.StartShiftPair = {0x12, 0x34};
    a.RecordedHeaderLength = static_cast<int32_t>(header.size());
    a.HeaderLength = a.RecordedHeaderLength + 7;  // a longer header came later
    Decode(a, row.firstFix);
    Decode(a, Record({{44, "000510"}}));  // the last fix before STOP

    ASSERT_TRUE(a.StreamFile.Create(path));
    Bytes file{0xF0};
    Append(file, header);
    Bytes placeholder{0xA0};
    Append(placeholder, kPlaceholderGpsText);
    placeholder.insert(placeholder.end(), {0xB0, 0x00, 0x00});
    file.insert(file.end(), placeholder.begin(), placeholder.end());
    file.insert(file.end(), kStream.begin(), kStream.end());
    a.StreamFile.Append(file.data(), file.size());
    WriteEndTime(a);
    a.StreamFile.Append(0xEF);
    FixStartRecords(a);
    a.StreamFile.Close();

    Bytes expected{0xF0};
    Append(expected, header);
    expected.insert(expected.end(), kStream.begin(), kStream.begin() + static_cast<long>(row.movedBytes));
    expected.push_back(0xA0);
    Append(expected, row.rewritten);
    expected.insert(expected.end(), {0xB0, 0x12, 0x34});
    expected.insert(expected.end(), kStream.begin() + static_cast<long>(row.movedBytes), kStream.end());
    expected.push_back(0xE0);
    Append(expected, a.EndTimeText);
    expected.push_back(0xEF);
    EXPECT_EQ(TakeFile<Bytes>(path), expected);
  }
}

TEST(TimingStartRecords, FileWithoutThePlaceholderIsLeftAlone) {
  Acquisition a;
  a.SaveStream = a.GpsPlaceholder = true;
  Decode(a, kPlaceholderGpsText.data());
  a.RecordedHeaderLength = 4;
  const std::string path = TempPath("timing_noplace_");
  ASSERT_TRUE(a.StreamFile.Create(path));
  Bytes file{0xF0, 'A', '=', '1', ';'};
  file.insert(file.end(), kStream.begin(), kStream.end());
  file.insert(file.end(), 80, 0x7E);
  file.push_back(0xEF);
  a.StreamFile.Append(file.data(), file.size());
  FixStartRecords(a);
  a.StreamFile.Close();
  EXPECT_EQ(TakeFile<Bytes>(path), file);
}

TEST(TimingStartTime, HeaderAndNameGetTheStartOfTheRecording) {
  const std::string header =
      "ZELK_V=V0.0xxx;DEV_NO=000;E_NAME=N/A;P_AMPL=16;S_TIME=11:11:00;S_DATE=11/11/11;D_VOLT=0;DAT_NO=000";
  struct Row {
    const char* legend;
    bool gps, lateFix;
    std::string_view startTime, startDate, name;
  };
  const Row rows[] = {
      {"no GPS: the computer's clock", false, false, "14:05:09", "26/03/07", "03071405.015"},
      {"first fix of the recording", true, false, "00:00:05", "11/11/12", "11120000.015"},
      {"late first fix moved back", true, true, "23:59:45", "11/11/11", "11112359.015"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    Acquisition a;
    a.SaveStream = true;
    a.DeviceNumber = "015";
    a.StartClock = {2026, 3, 7, 14, 5, 9, 0};
    a.HeaderText = header;
    a.HeaderLength = static_cast<int32_t>(header.size());
    if (row.gps) {
      a.GpsPlaceholder = row.lateFix;
      a.BlocksSinceFix = 2000;
      Decode(a, Fix("00005", "000005", "121111", "00"));  // provisional UTC offset
      Decode(a, Fix("00617", "001002", "121111"));  // later fixes move the GPS fields on
    }
    FillStartTime(a);
    std::string expected = header;
    expected.replace(expected.find("S_TIME=") + 7, 8, row.startTime);
    expected.replace(expected.find("S_DATE=") + 7, 8, row.startDate);
    EXPECT_EQ(a.HeaderText, expected);
    EXPECT_EQ(std::string(a.HeaderBuffer.begin(), a.HeaderBuffer.begin() + a.HeaderLength), expected);
    EXPECT_EQ(a.StreamFileName, row.name);
  }

  Acquisition cut;  // an item cut by the end of the header keeps the header's length
  cut.HeaderText = "DEV_NO=015;S_DATE=11/1";
  cut.HeaderLength = 22;
  cut.StartClock = {2026, 3, 7, 14, 5, 9, 0};
  FillStartTime(cut);
  EXPECT_EQ(cut.HeaderText, "DEV_NO=015;S_DATE=26/0");
}

TEST(TimingFileName, UnsafeCharactersNeverReachTheName) {
  const std::pair<std::string_view, std::string_view> devices[] = {
      {"015", "015"}, {"../", "___"}, {".5.", "_5."}, {"a\\b", "a_b"}, {std::string_view("\0\t7", 3), "__7"},
      {"1:*", "1__"}, {"", ""},
  };
  for (const auto& [device, safe] : devices) EXPECT_EQ(SafeDeviceNumber(device), safe) << device;

  struct Row {
    const char* legend;
    std::string_view device, name;
    bool gps;
  };
  const Row rows[] = {
      {"DEV_NO=../ after a fix", "../", "11112359.___", true},
      {"no fix: the computer's clock", "015", "03071405.015", false},
      {"corrupt date texts", "015", "1_112359.015", true},
  };
  for (const Row& row : rows) {
    Acquisition a;
    a.SaveStream = true;
    a.StartClock = {2026, 3, 7, 14, 5, 9, 0};
    a.DeviceNumber = row.device;
    if (row.gps) Decode(a, Fix("00000", "235945", row.name[1] == '_' ? "111/11" : "111111"));
    a.GpsHour = "07";  // later fixes do not change the start
    EnsureStreamFileName(a);
    EXPECT_EQ(a.StreamFileName, row.name) << row.legend;
    a.StreamFileName = "kept";
    EnsureStreamFileName(a);
    EXPECT_EQ(a.StreamFileName, "kept") << row.legend;
  }
}

}  // namespace
}  // namespace voxa
