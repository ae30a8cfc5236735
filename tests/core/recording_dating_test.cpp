// The dating of a finished recording, on real files: the end-time record,
// the rewrite of the placeholder records after a late first fix, the start
// time in a header the monitor built, and the recording's name.
#include <gtest/gtest.h>

#include <fstream>

#include "core_test_support.h"

namespace voxa::test {
namespace {

TEST(RecordingEndTime, TheLastFixMovedByTheWholeSecondsSinceIt) {
  struct Row {
    const char* legend;
    std::string_view date;
    int64_t blocksSinceFix;
    std::string_view text;
  };
  const Row rows[] = {
      {"1.5 s: unchanged", "111111", 150, "E_TIME=23:59:35;E_DATE=11/11/11;D_VOLT=0;E_VOLT=0;DUMMY"},
      {"2.5 s: two seconds later", "111111", 250, "E_TIME=23:59:37;E_DATE=11/11/11;D_VOLT=0;E_VOLT=0;DUMMY"},
      {"into the next day", "111111", 2600, "E_TIME=00:00:01;E_DATE=11/11/12;D_VOLT=0;E_VOLT=0;DUMMY"},
      {"31 Dec into the next year", "311211", 2600, "E_TIME=00:00:01;E_DATE=11/00/00;D_VOLT=0;E_VOLT=0;DUMMY"},
      {"broken records after the fix count on", "111111", 350,
       "E_TIME=23:59:38;E_DATE=11/11/11;D_VOLT=0;E_VOLT=0;DUMMY"},
      // Block counts past 2^31, up to ten years at 800 sps.
      {"2^31 + 50 blocks: 249 days later", "010111", (int64_t{1} << 31) + 50,
       "E_TIME=13:13:31;E_DATE=11/09/07;D_VOLT=0;E_VOLT=0;DUMMY"},
      {"2^31 + 50 blocks out of the year", "111111", (int64_t{1} << 31) + 50,
       "E_TIME=13:13:31;E_DATE=11/00/00;D_VOLT=0;E_VOLT=0;DUMMY"},
      {"2.5e11 blocks", "111111", 250'000'000'000, "E_TIME=04:26:15;E_DATE=11/00/00;D_VOLT=0;E_VOLT=0;DUMMY"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    RecordingRig rig("DEV_NO=015;");
    rig.Start();
    rig.Record(Raw({0x90, 0, 0, 0, 1}));
    const FinishedRecording finished = rig.Finish(Decoded(Fix("86390", "235935", row.date)), true, row.blocksSinceFix);
    ByteVec expected = Raw({0x90, 0, 0, 0, 1, 0xE0});
    AppendText(expected, row.text);
    expected.push_back(0xEF);
    EXPECT_EQ(Tail(rig.File(finished.name), expected.size()), expected);
    // The fields stay as the end time dated them.
    EXPECT_EQ(finished.time.ClockText(), row.text.substr(7, 8));
  }
  RecordingRig rig("DEV_NO=015;");  // no GPS message: no end-time record
  rig.Start();
  rig.Record(Raw({0x90, 0, 0, 0, 1}));
  EXPECT_EQ(Tail(rig.File(rig.Finish({}, false).name), 6), Raw({0x90, 0, 0, 0, 1, 0xEF}));
}

const ByteVec kStream = {
    0x90, 1, 2, 3, 4,    // block 1
    0xB0, 0x05, 0x01,    // shift record
    0x33,                // stray byte
    0xB0, 0x7F,          // shift record a marker cut short: that marker is block 2's
    0x80, 5, 6, 7, 8,    // block 2
    0xA0, '>', 'R', 'P', 'V', '0', '1', '2', '3', '4',  // GPS record (cut short)
    0x80, 9, 10, 11,     // block 3, invalid
    0x9F, 12, 13, 14, 15,  // block 4
    0xB0, 0x00, 0x10,    // shift record
    0x80, 16, 17, 18, 19,  // block 5
};

ByteVec Placeholder(uint8_t shift1 = 0, uint8_t shift2 = 0) {
  ByteVec bytes{0xA0};
  AppendText(bytes, kPlaceholderGpsText);
  bytes.insert(bytes.end(), {0xB0, shift1, shift2});
  return bytes;
}

TEST(RecordingStartRecords, WholeRecordsMoveBeforeTheBackdatedFirstFix) {
  const std::string fix = Fix("00020", "000005", "121111");
  const std::string xpv = GpsText({{1, ">XPV+23.5"}, {66, "999999"}}, fix);
  struct Row {
    const char* legend;
    std::string firstFix;
    int64_t firstFixBlocks;  // at 100 blocks per second
    size_t movedBytes;       // of kStream, up to the end of the k-th block
    std::string rewritten;
  };
  const Row rows[] = {
      {"k = 4 past shift records, a stray byte, GPS and an invalid block", fix, 203, 35,
       Checksummed(Fix("00018", "000003", "121111"))},
      {"k = 1, back across midnight", fix, 2000, 5, Checksummed(Fix("00000", "235945", "111111"))},
      {"fewer blocks than k: after the last one", fix, 99, kStream.size(), Checksummed(fix)},
      {"first fix 2^31 + 3 blocks in: 248 days back", fix, (int64_t{1} << 31) + 3, kStream.size(),
       Checksummed(Fix("38784", "104609", "080311"))},
      {"cut-short temperature record", xpv.substr(0, 70) + "\x80", 301, 9 + 2 + 5,
       Checksummed(GpsText({{1, ">XPV+23.5"}, {66, "99999"}}, Fix("", "000002", "121111")))},
  };
  const std::string header = "DEV_NO=015;S_TIME=11:11:00;S_DATE=11/11/11;DAT_NO=000";
  const std::string lastFix = GpsText({{44, "000510"}});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    RecordingRig rig(header);
    rig.Start();
    rig.recording.OnLastSecondOfScreen(false);  // no GPS yet: the placeholder follows the header
    rig.Record(kStream);
    rig.recording.OnShift(0x55, 0x55);  // before the fix: not counted
    rig.Sound(row.firstFix, row.firstFixBlocks);
    for (int i = 0; i < 25; ++i) rig.recording.OnShift(0x01, 0x01);
    rig.recording.OnShift(0x12, 0x34);  // the 26th after the fix
    rig.recording.OnShift(0x77, 0x77);
    const GpsTime last = rig.Sound(lastFix, 0);
    rig.ReplaceHeader(header + ";XY=123");  // a longer header came later
    const FinishedRecording finished = rig.Finish(last, true);

    ByteVec expected{0xF0};
    AppendText(expected, "DEV_NO=015;S_TIME=11:11:00;S_DATE=11/11/11;          ");  // whole items that fit
    expected.insert(expected.end(), kStream.begin(), kStream.begin() + static_cast<long>(row.movedBytes));
    expected.push_back(0xA0);
    AppendText(expected, row.rewritten);
    expected.insert(expected.end(), {0xB0, 0x12, 0x34});
    expected.insert(expected.end(), kStream.begin() + static_cast<long>(row.movedBytes), kStream.end());
    expected.push_back(0xE0);
    AppendText(expected, "E_TIME=00:05:10;E_DATE=11/11/11;D_VOLT=0;E_VOLT=0;DUMMY");
    expected.push_back(0xEF);
    EXPECT_EQ(rig.File(finished.name), expected);
  }
}

TEST(RecordingStartRecords, FileWithoutThePlaceholderIsLeftAlone) {
  RecordingRig rig("A=1;");
  rig.Start();
  // Large enough that the first write reaches the file at once.
  ByteVec stream = kStream;
  stream.resize(64 * 1024, 0x11);
  rig.Record(stream);
  rig.recording.OnLastSecondOfScreen(false);
  {
    std::fstream file(rig.dir.File(kWorkingRecordingName), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(1 + 4 + 30);
    file.put('#');  // one byte of the placeholder is not what was written
  }
  rig.Sound(Fix("00020", "000005", "121111"), 203);
  const FinishedRecording finished = rig.Finish(Decoded(kPlaceholderGpsText.data()), true);
  ByteVec expected = Concat({Raw({0xF0}), Text("A=1;"), Placeholder(), stream, Raw({0xE0})});
  expected[1 + 4 + 30] = '#';
  AppendText(expected, "E_TIME=00:00:00;E_DATE=11/11/11;D_VOLT=0;E_VOLT=0;DUMMY");
  expected.push_back(0xEF);
  EXPECT_EQ(rig.File(finished.name), expected);
}

TEST(RecordingStartTime, BuiltHeaderAndNameGetTheStartOfTheRecording) {
  struct Row {
    const char* legend;
    bool gps, lateFix;
    std::string_view startTime, startDate, name;
  };
  const Row rows[] = {
      {"no GPS: the computer's clock", false, false, "14:05:09", "26/03/07", "03071405.000"},
      {"first fix of the recording", true, false, "00:00:05", "11/11/12", "11120000.000"},
      {"late first fix moved back with its own offset", true, true, "23:59:45", "11/11/11", "11112359.000"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    RecordingRig rig;
    const std::string built = rig.device.HeaderText();
    rig.Start();
    rig.Record(Raw({0x90, 0, 0, 0, 1}));
    GpsTime last;
    if (row.lateFix) rig.recording.OnLastSecondOfScreen(false);
    if (row.gps) {
      rig.Sound(Fix("00005", "000005", "121111", "00"), 2000);  // provisional UTC offset
      last = rig.Sound(Fix("00617", "001002", "121111"), 0);   // later fixes move the GPS fields on
    }
    const FinishedRecording finished = rig.Finish(last, row.gps);
    std::string expected = built;
    expected.replace(expected.find("S_TIME=") + 7, 8, row.startTime);
    expected.replace(expected.find("S_DATE=") + 7, 8, row.startDate);
    EXPECT_EQ(finished.name, row.name);
    const ByteVec file = rig.File(finished.name);
    ASSERT_GT(file.size(), expected.size());
    EXPECT_EQ(std::string(file.begin() + 1, file.begin() + 1 + static_cast<long>(expected.size())), expected);
    EXPECT_EQ(finished.time.ClockText(), row.startTime);
  }
}

TEST(RecordingNames, UnsafeCharactersNeverReachTheName) {
  const std::pair<std::string_view, std::string_view> devices[] = {
      {"015", "015"}, {"../", "___"}, {".5.", "_5."}, {"a\\b", "a_b"}, {std::string_view("\0\t7", 3), "__7"},
      {"1:*", "1__"}, {"", ""},
  };
  for (const auto& [device, safe] : devices) {
    EXPECT_EQ(RecordingName("11", "11", "23", "59", device), "11112359." + std::string(safe)) << device;
  }
  // Corrupt date texts: a month of "1/".
  EXPECT_EQ(RecordingName("1/", "11", "23", "59", "015"), "1_112359.015");
  EXPECT_EQ(RecordingName("..", "11", "23", "59", "015"), "__112359.015");
}

TEST(RecordingNames, TheFirstFixNamesTheRecordingOnceTheDeviceIsKnown) {
  RecordingRig rig("DEV_NO=../;");
  rig.Start();
  rig.Sound(Fix("00000", "235945", "111111"), 0);
  const GpsTime later = rig.Sound(Fix("00000", "075945", "121111"), 0);  // later fixes do not change it
  rig.ReplaceHeader("DEV_NO=016;");
  EXPECT_EQ(rig.Finish(later, true).name, "11112359.___");
}

}  // namespace
}  // namespace voxa::test
