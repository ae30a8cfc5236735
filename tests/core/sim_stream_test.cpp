// Tests of the simulated device's stream: framing, sample encoding, GPS and
// header records, the faults and determinism, checked with an independent
// reader (sim_reader.h) and the C library's own calendar.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/core/sim_reader.h"
#include "tools/sim_stream.h"

namespace voxa::sim {
namespace {

using test::DecodeSample;
using test::ExpectedChecksum;
using test::FindNth;
using test::IsSampleBlock;
using test::PayloadText;
using test::Record;
using test::SplitRecords;

std::string TwoDigits(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

// UTC of `start` plus `seconds`, through the C library's calendar.
std::tm UtcAfter(const UtcTime& start, long seconds) {
  std::tm parts{};
  parts.tm_year = start.year - 1900;
  parts.tm_mon = start.month - 1;
  parts.tm_mday = start.day;
  parts.tm_hour = start.hour;
  parts.tm_min = start.minute;
  parts.tm_sec = start.second;
  const time_t moment = timegm(&parts) + seconds;
  std::tm result{};
  gmtime_r(&moment, &result);
  return result;
}

TEST(SimSampleEncoding, ValuesMapToTheirFourBytes) {
  struct Case {
    const char* legend;
    int32_t value;
    std::array<uint8_t, 4> bytes;
    int32_t decoded;
  };
  const Case cases[] = {
      {"zero", 0, {0x00, 0x00, 0x00, 0x00}, 0},
      {"one", 1, {0x00, 0x00, 0x00, 0x01}, 1},
      {"eight moves into the third byte", 8, {0x00, 0x00, 0x01, 0x00}, 8},
      {"1024 moves into the second byte", 1024, {0x00, 0x01, 0x00, 0x00}, 1024},
      {"131072 moves into the first byte", 131072, {0x01, 0x00, 0x00, 0x00}, 131072},
      {"largest value", 8388607, {0x3F, 0x7F, 0x7F, 0x07}, 8388607},
      {"smallest value", -8388608, {0x40, 0x00, 0x00, 0x00}, -8388608},
      {"minus one", -1, {0x7F, 0x7F, 0x7F, 0x07}, -1},
      {"above the range is held at the largest", 9000000, {0x3F, 0x7F, 0x7F, 0x07}, 8388607},
      {"below the range is held at the smallest", -9000000, {0x40, 0x00, 0x00, 0x00}, -8388608},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    const std::array<uint8_t, 4> bytes = EncodeSample(c.value);
    EXPECT_EQ(bytes, c.bytes);
    EXPECT_EQ(DecodeSample(bytes.data()), c.decoded);
  }
}

TEST(SimSampleEncoding, EveryValueRoundTripsWithPayloadBytesInRange) {
  // A walk through the whole range with a step that visits every bit pattern
  // of the low bits many times.
  for (int64_t value = kSampleMin; value <= kSampleMax; value += 997) {
    const std::array<uint8_t, 4> bytes = EncodeSample(static_cast<int32_t>(value));
    ASSERT_LT(bytes[0], 0x80);
    ASSERT_LT(bytes[1], 0x80);
    ASSERT_LT(bytes[2], 0x80);
    ASSERT_LE(bytes[3], 7) << "the encoder never sends a last byte above 7";
    ASSERT_EQ(DecodeSample(bytes.data()), value);
  }
}

TEST(SimGpsRecord, FieldsOfThePlaceholderGiveThePlaceholderRecord) {
  GpsFields fields;
  fields.time_of_day = 15;
  fields.hour = 0;
  fields.minute = 0;
  fields.second = 0;
  fields.millisecond = 510;
  fields.day = 11;
  fields.month = 11;
  fields.year = 2011;
  fields.utc_offset = 15;
  fields.fix_mode = '1';
  fields.satellites = 7;
  EXPECT_EQ(FormatGpsRecord(fields),
            ">RPV00015+5200000+0130000000000012;*79<>RTM0000005101111201115107100000;*61<");
}

TEST(SimGpsRecord, TemperatureReplacesTheTimeOfDay) {
  GpsFields fields;
  fields.with_temperature = true;
  fields.temperature_text = "-04.5";
  fields.time_of_day = 12345;
  const std::string message = FormatPositionMessage(fields);
  ASSERT_EQ(message.size(), static_cast<size_t>(kPositionMessageLength));
  EXPECT_EQ(message.substr(0, 9), ">XPV-04.5");
  EXPECT_EQ(message.substr(36, 2), ExpectedChecksum(message.substr(0, 36)));
}

SimOptions PlainOptions() {
  SimOptions options;
  options.start = {2011, 11, 11, 0, 0, 0};
  options.utc_offset = 15;
  options.noise = 0;
  return options;
}

// The records of the stream after the start records, one entry per second
// as the second marks divide them.
struct SecondView {
  std::vector<Record> blocks;
  std::vector<Record> gps;
  std::vector<Record> shifts;
  int blocks_before_gps = -1;
  std::vector<Record> others;
};

std::vector<SecondView> GroupSeconds(const std::vector<Record>& records, size_t first) {
  std::vector<SecondView> seconds;
  for (size_t i = first; i < records.size(); ++i) {
    const Record& record = records[i];
    if (record.marker == 0x90 || seconds.empty()) seconds.emplace_back();
    SecondView& second = seconds.back();
    if (IsSampleBlock(record.marker)) {
      second.blocks.push_back(record);
    } else if (record.marker == 0xA0) {
      second.gps.push_back(record);
      second.blocks_before_gps = static_cast<int>(second.blocks.size());
    } else if (record.marker == 0xB0) {
      second.shifts.push_back(record);
    } else {
      second.others.push_back(record);
    }
  }
  return seconds;
}

TEST(SimStream, FramingSecondsAndGpsRecordsForEachConfiguration) {
  struct Case {
    const char* legend;
    int channels;
    int rate;
    bool temperature;
    UtcTime start;
    int utc_offset;
    std::string preamble;
    int boot_lines;
    bool header;
  };
  const Case cases[] = {
      {"one channel, 50 sps", 1, 50, false, {2011, 11, 11, 0, 0, 0}, 15, "", 0, true},
      {"three channels, 800 sps, temperature", 3, 800, true, {2030, 6, 1, 12, 0, 0}, 18, "", 0, true},
      {"GPS day ends before the UTC day", 3, 100, false, {2023, 12, 31, 23, 59, 40}, 18, "", 0, true},
      {"midnight into a leap day", 1, 200, false, {2024, 2, 28, 23, 59, 58}, 0, "", 0, true},
      {"text, boot lines, no header", 1, 400, false, {2020, 1, 1, 8, 0, 0}, 18, "junk\r\n", 3, false},
  };
  const int kSeconds = 4;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    SimOptions options = PlainOptions();
    options.channels = c.channels;
    options.rate = c.rate;
    options.temperature = c.temperature;
    options.start = c.start;
    options.utc_offset = c.utc_offset;
    options.preamble = c.preamble;
    options.boot_lines = DefaultBootReport(options, c.boot_lines);
    options.send_header = c.header;
    options.noise = 50;
    const test::SplitStream split = SplitRecords(GenerateStream(options, kSeconds));

    EXPECT_EQ(std::string(split.leading.begin(), split.leading.end()), c.preamble);
    size_t index = 0;
    for (const std::string& line : options.boot_lines) {
      ASSERT_LT(index, split.records.size());
      EXPECT_EQ(split.records[index].marker, 0xF8);
      EXPECT_EQ(PayloadText(split.records[index]), "\n" + line + "\r");
      ++index;
    }
    if (c.header) {
      ASSERT_LT(index, split.records.size());
      EXPECT_EQ(split.records[index].marker, 0xF0);
      ++index;
    }
    const std::vector<SecondView> seconds = GroupSeconds(split.records, index);
    ASSERT_EQ(seconds.size(), static_cast<size_t>(kSeconds));
    for (int s = 0; s < kSeconds; ++s) {
      SCOPED_TRACE("second " + std::to_string(s));
      const SecondView& second = seconds[static_cast<size_t>(s)];
      ASSERT_EQ(second.blocks.size(), static_cast<size_t>(c.rate));
      EXPECT_EQ(second.blocks.front().marker, 0x90);
      for (size_t b = 1; b < second.blocks.size(); ++b) ASSERT_EQ(second.blocks[b].marker, 0x80);
      for (const Record& block : second.blocks) {
        ASSERT_EQ(block.payload.size(), static_cast<size_t>(4 * c.channels));
      }
      EXPECT_TRUE(second.others.empty());
      ASSERT_EQ(second.shifts.size(), 1u);
      EXPECT_EQ(second.shifts[0].payload.size(), 2u);
      ASSERT_EQ(second.gps.size(), 1u);
      EXPECT_EQ(second.blocks_before_gps, options.gps_after_blocks);

      const std::string gps = PayloadText(second.gps[0]);
      ASSERT_EQ(gps.size(), 76u);
      EXPECT_EQ(gps.substr(0, 4), c.temperature ? ">XPV" : ">RPV");
      EXPECT_EQ(gps.substr(34, 2), ";*");
      EXPECT_EQ(gps.substr(36, 2), ExpectedChecksum(gps.substr(0, 36)));
      EXPECT_EQ(gps.substr(38, 5), "<>RTM");
      EXPECT_EQ(gps.substr(71, 2), ";*");
      EXPECT_EQ(gps.substr(73, 2), ExpectedChecksum(gps.substr(39, 34)));
      EXPECT_EQ(gps.substr(75, 1), "<");

      const std::tm utc = UtcAfter(c.start, s);
      const int of_day = (utc.tm_hour * 3600 + utc.tm_min * 60 + utc.tm_sec + c.utc_offset) % 86400;
      char time_of_day[8];
      std::snprintf(time_of_day, sizeof time_of_day, "%05d", of_day);
      EXPECT_EQ(gps.substr(4, 5), c.temperature ? options.temperature_text : time_of_day);
      EXPECT_EQ(gps.substr(43, 6), TwoDigits(utc.tm_hour) + TwoDigits(utc.tm_min) + TwoDigits(utc.tm_sec));
      EXPECT_EQ(gps.substr(52, 4), TwoDigits(utc.tm_mday) + TwoDigits(utc.tm_mon + 1));
      EXPECT_EQ(gps.substr(56, 4), TwoDigits((utc.tm_year + 1900) / 100) + TwoDigits(utc.tm_year % 100));
      EXPECT_EQ(gps.substr(60, 2), TwoDigits(c.utc_offset));
      EXPECT_EQ(gps.substr(63, 2), TwoDigits(options.satellites));
    }
  }
}

TEST(SimStream, HeaderCarriesTheDeviceSettings) {
  SimOptions options = PlainOptions();
  options.channels = 1;
  options.rate = 800;
  options.gain = 64;
  options.device_number = "042";
  options.firmware_version = "V3.10b";
  options.start = {2009, 7, 5, 6, 7, 8};
  const test::SplitStream split = SplitRecords(GenerateStream(options, 0));
  ASSERT_EQ(split.records.size(), 1u);
  ASSERT_EQ(split.records[0].marker, 0xF0);
  const std::string header = PayloadText(split.records[0]);
  EXPECT_LE(header.size(), 512u);
  EXPECT_EQ(header.substr(0, 37), "ZELK_V=V3.10b;DEV_NO=042;E_NAME=N/A;P");
  EXPECT_EQ(header.back(), ';');
  for (const char* item : {";P_AMPL=64;", ";CH_NUM=1;", ";S_RATE=800;", ";S_TIME=06:07:08;",
                           ";S_DATE=09/07/05;", ";DAT_NO=000;"}) {
    EXPECT_NE(header.find(item), std::string::npos) << item;
  }
  // The keys in the order the monitor's own builders write them.
  size_t previous = 0;
  for (const char* key : {"ZELK_V=", "DEV_NO=", "E_NAME=", "P_AMPL=", "CH_NUM=", "S_RATE=", "D_FILT=",
                          "C_MODE=", "A_CHOP=", "F_TIME=", "GPS_TI=", "GPS_OF=", "A_FILT=", "A_PHAS=",
                          "GPS_ON=", "ACQ_ON=", "PLL_XO=", "V_TCXO=", "GPS_PO=", "S_TIME=", "S_DATE=",
                          "D_VOLT=", "E_VOLT=", "B_VOLT=", "DAT_NO="}) {
    const size_t at = header.find(key);
    ASSERT_NE(at, std::string::npos) << key;
    EXPECT_GE(at, previous) << key;
    previous = at;
  }
}

TEST(SimStream, ShiftRecordsCarryTheDriftingValue) {
  SimOptions options = PlainOptions();
  options.channels = 1;
  options.rate = 50;
  options.shift_start = 16382;
  options.shift_step = 1;
  const test::SplitStream split = SplitRecords(GenerateStream(options, 4));
  std::vector<int> values;
  for (const Record& record : split.records) {
    if (record.marker == 0xB0) values.push_back(record.payload[0] * 128 + record.payload[1]);
  }
  EXPECT_EQ(values, (std::vector<int>{16382, 16383, 0, 1})) << "14-bit value wraps";
}

// The faults, each compared with the clean stream of the same options: the
// faulty stream must be the clean one with exactly the promised edit.
TEST(SimStream, EachFaultDamagesExactlyWhatItPromises) {
  using Records = std::vector<Record>;
  struct Case {
    const char* legend;
    std::vector<Fault> faults;
    int64_t withhold_gps;
    // Edits the clean records into the expected ones; `longer` is the clean
    // stream of more seconds, for records of later times.
    std::function<void(Records& records, const Records& longer)> edit;
  };
  const int kRate = 50;
  const auto block_at = [](const Records& records, int second, int block) {
    const long at = FindNth(records, second * kRate + block, IsSampleBlock);
    EXPECT_GE(at, 0);
    return static_cast<size_t>(at);
  };
  const auto gps_at = [](const Records& records, int second) {
    const long at = FindNth(records, second, [](uint8_t m) { return m == 0xA0; });
    EXPECT_GE(at, 0);
    return static_cast<size_t>(at);
  };
  const Record unlisted{0xC0, {0x11, 0x22, 0x33}};
  const Case cases[] = {
      {"dropped byte",
       {{FaultKind::kDropByte, 1, 5, 0}},
       0,
       [&](Records& r, const Records&) { r[block_at(r, 1, 5)].payload.pop_back(); }},
      {"extra byte in a second-mark block",
       {{FaultKind::kExtraByte, 2, 0, 0}},
       0,
       [&](Records& r, const Records&) { r[block_at(r, 2, 0)].payload.push_back(0x2A); }},
      {"broken GPS record",
       {{FaultKind::kBrokenGps, 1, 0, 0}},
       0,
       [&](Records& r, const Records&) { r[gps_at(r, 1)].payload[42] = 'X'; }},
      {"short GPS record",
       {{FaultKind::kShortGps, 2, 0, 40}},
       0,
       [&](Records& r, const Records&) { r[gps_at(r, 2)].payload.resize(40); }},
      {"missing second mark",
       {{FaultKind::kMissingMark, 3, 0, 0}},
       0,
       [&](Records& r, const Records&) { r[block_at(r, 3, 0)].marker = 0x80; }},
      {"0x9F marker",
       {{FaultKind::kAlternateMarker, 1, 7, 0}},
       0,
       [&](Records& r, const Records&) { r[block_at(r, 1, 7)].marker = 0x9F; }},
      {"unlisted record after a block",
       {{FaultKind::kUnlistedRecord, 1, 3, 0}},
       0,
       [&](Records& r, const Records&) {
         r.insert(r.begin() + static_cast<long>(block_at(r, 1, 3)) + 1, unlisted);
       }},
      {"unlisted record after the GPS and shift records",
       {{FaultKind::kUnlistedRecord, 0, 9, 0}},
       0,
       [&](Records& r, const Records&) {
         r.insert(r.begin() + static_cast<long>(block_at(r, 0, 9)) + 3, unlisted);
       }},
      {"header repeated",
       {{FaultKind::kRepeatHeader, 2, 0, 0}},
       0,
       [&](Records& r, const Records&) {
         const Record header = r[0];
         r.insert(r.begin() + static_cast<long>(block_at(r, 2, 0)) + 1, header);
       }},
      {"one block short",
       {{FaultKind::kBlockCount, 1, 0, kRate - 1}},
       0,
       [&](Records& r, const Records&) { r.erase(r.begin() + static_cast<long>(block_at(r, 1, kRate - 1))); }},
      {"two blocks too many",
       {{FaultKind::kBlockCount, 1, 0, kRate + 2}},
       0,
       [&](Records& r, const Records&) {
         const Record block = r[block_at(r, 1, 1)];
         r.insert(r.begin() + static_cast<long>(block_at(r, 1, kRate - 1)) + 1, 2, block);
       }},
      {"GPS clock jumps five seconds",
       {{FaultKind::kGpsJump, 2, 0, 5}},
       0,
       [&](Records& r, const Records& longer) {
         r[gps_at(r, 2)] = longer[gps_at(longer, 7)];
         r[gps_at(r, 3)] = longer[gps_at(longer, 8)];
       }},
      {"GPS withheld for two seconds",
       {},
       2,
       [&](Records& r, const Records&) {
         r.erase(r.begin() + static_cast<long>(gps_at(r, 1)));
         r.erase(r.begin() + static_cast<long>(gps_at(r, 0)));
       }},
      {"two faults in one second",
       {{FaultKind::kDropByte, 1, 2, 0}, {FaultKind::kExtraByte, 1, 30, 0}},
       0,
       [&](Records& r, const Records&) {
         r[block_at(r, 1, 2)].payload.pop_back();
         r[block_at(r, 1, 30)].payload.push_back(0x2A);
       }},
  };
  SimOptions clean = PlainOptions();
  clean.channels = 1;
  clean.rate = kRate;
  // A constant signal makes every block alike, so added or missing blocks
  // are plain insertions and deletions.
  clean.amplitude = 0;
  clean.offset = -12345;
  const int kSeconds = 4;
  const Records clean_records = SplitRecords(GenerateStream(clean, kSeconds)).records;
  const Records longer_records = SplitRecords(GenerateStream(clean, kSeconds + 6)).records;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    SimOptions options = clean;
    options.faults = c.faults;
    options.withhold_gps_seconds = c.withhold_gps;
    Records expected = clean_records;
    c.edit(expected, longer_records);
    const test::SplitStream faulty = SplitRecords(GenerateStream(options, kSeconds));
    EXPECT_TRUE(faulty.leading.empty());
    ASSERT_EQ(faulty.records.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(faulty.records[i], expected[i]) << "record " << i;
    }
  }
}

TEST(SimStream, SameSeedSameStreamOtherSeedOtherNoise) {
  SimOptions options = PlainOptions();
  options.noise = 300;
  options.seed = 77;
  const std::vector<uint8_t> first = GenerateStream(options, 3);
  EXPECT_EQ(GenerateStream(options, 3), first);

  // Second by second through one generator gives the same bytes as one call.
  StreamGenerator generator(options);
  std::vector<uint8_t> piecewise;
  generator.Start(piecewise);
  for (int i = 0; i < 3; ++i) generator.NextSecond(piecewise);
  EXPECT_EQ(piecewise, first);

  options.seed = 78;
  const std::vector<uint8_t> other = GenerateStream(options, 3);
  ASSERT_EQ(other.size(), first.size());
  EXPECT_NE(other, first);
}

// Channel values of every valid block, in order.
std::vector<std::vector<int32_t>> DecodeChannels(const std::vector<uint8_t>& stream, int channels) {
  std::vector<std::vector<int32_t>> values(static_cast<size_t>(channels));
  for (const Record& record : SplitRecords(stream).records) {
    if (!IsSampleBlock(record.marker)) continue;
    for (int k = 0; k < channels; ++k) {
      values[static_cast<size_t>(k)].push_back(DecodeSample(record.payload.data() + 4 * k));
    }
  }
  return values;
}

TEST(SimSignal, SineHasItsAmplitudeOffsetPeriodAndChannelPhase) {
  SimOptions options = PlainOptions();
  options.rate = 200;
  options.amplitude = 500000;
  options.offset = -20000;
  options.frequency = 5;  // a period of 40 frames
  const auto values = DecodeChannels(GenerateStream(options, 2), 3);
  ASSERT_EQ(values[0].size(), 400u);
  const auto [low, high] = std::minmax_element(values[0].begin(), values[0].end());
  EXPECT_NEAR(*high, -20000 + 500000, 1);
  EXPECT_NEAR(*low, -20000 - 500000, 1);
  for (size_t n = 0; n + 40 < values[0].size(); ++n) {
    ASSERT_NEAR(values[0][n + 40], values[0][n], 1) << "frame " << n;
  }
  // Channel 2 runs a third of a period ahead; 40 frames do not divide by
  // three, so it is compared with the continuous sine.
  for (size_t n = 0; n < 40; ++n) {
    const double phase = 2 * M_PI * (5.0 * static_cast<double>(n) / 200 + 1.0 / 3);
    ASSERT_NEAR(values[1][n], -20000 + 500000 * std::sin(phase), 1) << "frame " << n;
  }
}

TEST(SimSignal, NoiseHasItsStandardDeviationAndValuesStayInRange) {
  SimOptions options = PlainOptions();
  options.channels = 1;
  options.rate = 800;
  options.amplitude = 0;
  options.offset = 1000;
  options.noise = 2000;
  const std::vector<int32_t> noisy = DecodeChannels(GenerateStream(options, 10), 1)[0];
  ASSERT_EQ(noisy.size(), 8000u);
  double sum = 0, squares = 0;
  for (const int32_t v : noisy) sum += v;
  const double mean = sum / static_cast<double>(noisy.size());
  for (const int32_t v : noisy) squares += (v - mean) * (v - mean);
  const double deviation = std::sqrt(squares / static_cast<double>(noisy.size()));
  EXPECT_NEAR(mean, 1000, 100);
  EXPECT_NEAR(deviation, 2000, 100);

  // A sine that reaches past full scale is held at the limits, never wrapped.
  options.noise = 0;
  options.offset = 0;
  options.amplitude = 9000000;
  options.frequency = 1;
  const std::vector<int32_t> clipped = DecodeChannels(GenerateStream(options, 1), 1)[0];
  // Held, not wrapped: the sine stays at full scale while 9000000 * sin
  // exceeds it (2 acos(8388607 / 9000000) of each cycle, 94 of 800 frames),
  // and never jumps to the other sign between neighbouring frames.
  EXPECT_NEAR(std::count(clipped.begin(), clipped.end(), kSampleMax), 94, 2);
  EXPECT_NEAR(std::count(clipped.begin(), clipped.end(), kSampleMin), 94, 2);
  for (size_t n = 1; n < clipped.size(); ++n) {
    ASSERT_LT(std::abs(clipped[n] - clipped[n - 1]), 80000) << "frame " << n;
  }
}

TEST(SimStream, DurationEndsTheStream) {
  SimOptions options = PlainOptions();
  options.channels = 1;
  options.rate = 50;
  options.duration_seconds = 2;
  StreamGenerator generator(options);
  std::vector<uint8_t> out;
  generator.NextSecond(out);  // also sends the start records
  EXPECT_FALSE(generator.Done());
  generator.NextSecond(out);
  EXPECT_TRUE(generator.Done());
  const size_t size = out.size();
  generator.NextSecond(out);
  EXPECT_EQ(out.size(), size);
  EXPECT_EQ(GenerateStream(options, 10), out);
  const auto records = SplitRecords(out).records;
  EXPECT_EQ(std::count_if(records.begin(), records.end(), [](const Record& r) { return r.marker == 0x90; }), 2);
}

TEST(SimTime, AddSecondsAcrossDaysMonthsAndYears) {
  struct Case {
    const char* legend;
    UtcTime from;
    int64_t seconds;
    UtcTime expected;
  };
  const Case cases[] = {
      {"next second", {2011, 11, 11, 0, 0, 0}, 1, {2011, 11, 11, 0, 0, 1}},
      {"midnight", {2011, 11, 11, 23, 59, 59}, 1, {2011, 11, 12, 0, 0, 0}},
      {"into a leap day", {2024, 2, 28, 23, 59, 59}, 1, {2024, 2, 29, 0, 0, 0}},
      {"no leap day in 2023", {2023, 2, 28, 23, 59, 59}, 1, {2023, 3, 1, 0, 0, 0}},
      {"no leap day in 2100", {2100, 2, 28, 12, 0, 0}, 86400, {2100, 3, 1, 12, 0, 0}},
      {"year end", {2023, 12, 31, 23, 59, 59}, 1, {2024, 1, 1, 0, 0, 0}},
      {"backwards over a leap day", {2024, 3, 1, 0, 0, 0}, -1, {2024, 2, 29, 23, 59, 59}},
      {"a year of seconds", {2020, 1, 1, 0, 0, 0}, 366LL * 86400, {2021, 1, 1, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    const UtcTime t = AddSeconds(c.from, c.seconds);
    EXPECT_EQ(std::vector<int>({t.year, t.month, t.day, t.hour, t.minute, t.second}),
              std::vector<int>({c.expected.year, c.expected.month, c.expected.day, c.expected.hour,
                                c.expected.minute, c.expected.second}));
  }
}

TEST(SimOptionsCheck, UnusableOptionsAreRefused) {
  struct Case {
    const char* legend;
    std::function<void(SimOptions&)> spoil;
    const char* message_part;
  };
  const Case cases[] = {
      {"two channels", [](SimOptions& o) { o.channels = 2; }, "channels"},
      {"rate 60", [](SimOptions& o) { o.rate = 60; }, "rate"},
      {"gain 3", [](SimOptions& o) { o.gain = 3; }, "gain"},
      {"30 February", [](SimOptions& o) { o.start = {2024, 2, 30, 0, 0, 0}; }, "start"},
      {"temperature of 4 characters", [](SimOptions& o) { o.temperature_text = "+5.0"; }, "temperature"},
      {"device number with ';'", [](SimOptions& o) { o.device_number = "0;1"; }, "device"},
      {"preamble with a marker", [](SimOptions& o) { o.preamble = "ab\x90"; }, "preamble"},
      {"boot line too long", [](SimOptions& o) { o.boot_lines = {std::string(253, 'x')}; }, "boot"},
      {"header too long", [](SimOptions& o) { o.header_override = std::string(513, 'x'); }, "header"},
      {"fault block beyond the second", [](SimOptions& o) { o.faults = {{FaultKind::kDropByte, 0, 100, 0}}; },
       "block"},
      {"fault block beyond a shortened second",
       [](SimOptions& o) { o.faults = {{FaultKind::kBlockCount, 0, 0, 10}, {FaultKind::kExtraByte, 0, 10, 0}}; },
       "block"},
      {"no blocks in a second", [](SimOptions& o) { o.faults = {{FaultKind::kBlockCount, 0, 0, 0}}; }, "block count"},
      {"short GPS of 76 characters", [](SimOptions& o) { o.faults = {{FaultKind::kShortGps, 0, 0, 76}}; }, "GPS"},
      {"NaN amplitude", [](SimOptions& o) { o.amplitude = std::nan(""); }, "finite"},
      {"GPS after block 0", [](SimOptions& o) { o.gps_after_blocks = 0; }, "GPS"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    SimOptions options = PlainOptions();
    c.spoil(options);
    const std::string message = ValidateOptions(options);
    EXPECT_NE(message.find(c.message_part), std::string::npos) << message;
    EXPECT_THROW(StreamGenerator{options}, std::invalid_argument);
  }
  EXPECT_EQ(ValidateOptions(PlainOptions()), "");
}

}  // namespace
}  // namespace voxa::sim
