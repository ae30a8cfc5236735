// Tests of the simulated device's stream: framing, sample encoding, GPS and
// header records, faults, signal and determinism. The stream is read back by
// a small reader written here from the format's rules alone, and times are
// checked against the C library's calendar.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "tools/sim_stream.h"

namespace voxa::sim {
namespace {

struct Record {
  uint8_t marker = 0;
  std::vector<uint8_t> payload;
  bool operator==(const Record&) const = default;
  std::string Text() const { return std::string(payload.begin(), payload.end()); }
};
using Records = std::vector<Record>;

// A byte with the top bit set starts a record; the bytes after it that have
// it clear are its payload. Bytes before the first marker are `leading`.
Records SplitRecords(const std::vector<uint8_t>& bytes, std::string* leading = nullptr) {
  Records records;
  for (const uint8_t byte : bytes) {
    if (byte >= 0x80) {
      records.push_back({byte, {}});
    } else if (!records.empty()) {
      records.back().payload.push_back(byte);
    } else if (leading != nullptr) {
      *leading += static_cast<char>(byte);
    }
  }
  return records;
}

bool IsBlock(uint8_t marker) { return marker == 0x80 || marker == 0x90 || marker == 0x9F; }

int32_t DecodeSample(const uint8_t* b) {
  const int32_t raw = b[0] * 131072 + b[1] * 1024 + b[2] * 8 + b[3];
  return raw > 0x7FFFFF ? raw - 0x1000000 : raw;
}

std::string Checksum(const std::string& message_through_star) {
  int sum = 0;
  for (const char c : message_through_star) sum ^= static_cast<unsigned char>(c);
  char text[4];
  std::snprintf(text, sizeof text, "%02X", sum);
  return text;
}

std::string Digits(int value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*d", width, value);
  return text;
}

SimOptions Options(int channels, int rate, UtcTime start = {2011, 11, 11, 0, 0, 0}, int utc_offset = 15) {
  SimOptions options;
  options.channels = channels;
  options.rate = rate;
  options.start = start;
  options.utc_offset = utc_offset;
  return options;
}

TEST(SimStream, SamplesEncodeToFourBytesAndDecodeBack) {
  struct Case {
    const char* legend;
    int32_t value;
    std::array<uint8_t, 4> bytes;
  };
  const Case cases[] = {
      {"one", 1, {0, 0, 0, 1}},
      {"eight carries into the third byte", 8, {0, 0, 1, 0}},
      {"1024 into the second", 1024, {0, 1, 0, 0}},
      {"131072 into the first", 131072, {1, 0, 0, 0}},
      {"largest", 8388607, {0x3F, 0x7F, 0x7F, 0x07}},
      {"smallest", -8388608, {0x40, 0x00, 0x00, 0x00}},
      {"minus one", -1, {0x7F, 0x7F, 0x7F, 0x07}},
      {"beyond the range is held at the largest", 9000000, {0x3F, 0x7F, 0x7F, 0x07}},
  };
  for (const Case& c : cases) EXPECT_EQ(EncodeSample(c.value), c.bytes) << c.legend;
  // The whole range in odd steps: payload bytes below 0x80, the last one
  // never above 7, and the value comes back.
  for (int64_t v = kSampleMin; v <= kSampleMax; v += 997) {
    const auto bytes = EncodeSample(static_cast<int32_t>(v));
    ASSERT_TRUE(bytes[0] < 0x80 && bytes[1] < 0x80 && bytes[2] < 0x80 && bytes[3] <= 7) << v;
    ASSERT_EQ(DecodeSample(bytes.data()), v);
  }
}

TEST(SimStream, GpsFormatterReproducesThePlaceholderRecord) {
  GpsFields fields;
  fields.time_of_day = 15;
  fields.millisecond = 510;
  fields.day = fields.month = 11;
  fields.year = 2011;
  fields.utc_offset = 15;
  fields.fix_mode = '1';
  fields.satellites = 7;
  EXPECT_EQ(FormatGpsRecord(fields),
            ">RPV00015+5200000+0130000000000012;*79<>RTM0000005101111201115107100000;*61<");
}

// Splits the records after the start records into seconds at the 0x90 marks.
struct Second {
  Records blocks, gps, shifts, others;
  size_t blocks_before_gps = 0;
};
std::vector<Second> Seconds(const Records& records, size_t first) {
  std::vector<Second> seconds;
  for (size_t i = first; i < records.size(); ++i) {
    const Record& r = records[i];
    if (r.marker == 0x90 || seconds.empty()) seconds.emplace_back();
    Second& s = seconds.back();
    if (IsBlock(r.marker)) {
      s.blocks.push_back(r);
    } else if (r.marker == 0xA0) {
      s.gps.push_back(r);
      s.blocks_before_gps = s.blocks.size();
    } else {
      (r.marker == 0xB0 ? s.shifts : s.others).push_back(r);
    }
  }
  return seconds;
}

TEST(SimStream, FramingSecondsAndGpsTimesForEachConfiguration) {
  struct Case {
    const char* legend;
    SimOptions options;
    int boot_lines;
  };
  SimOptions warm = Options(3, 800, {2030, 6, 1, 12, 0, 0}, 18);
  warm.temperature = true;
  SimOptions chatty = Options(1, 400, {2020, 1, 1, 8, 0, 0}, 18);
  chatty.preamble = "junk\r\n";
  chatty.send_header = false;
  const Case cases[] = {
      {"one channel, 50 sps", Options(1, 50), 0},
      {"three channels, 800 sps, temperature", warm, 0},
      {"GPS day ends before the UTC year", Options(3, 100, {2023, 12, 31, 23, 59, 40}, 18), 0},
      {"midnight into a leap day", Options(1, 200, {2024, 2, 28, 23, 59, 58}, 0), 0},
      {"text, boot lines, no header", chatty, 3},
  };
  const int kSeconds = 4;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    SimOptions options = c.options;
    options.boot_lines = DefaultBootReport(options, c.boot_lines);
    options.noise = 50;
    std::string leading;
    const Records records = SplitRecords(GenerateStream(options, kSeconds), &leading);
    EXPECT_EQ(leading, options.preamble);
    size_t index = 0;
    for (const std::string& line : options.boot_lines) {
      ASSERT_EQ(records.at(index).marker, 0xF8);
      EXPECT_EQ(records.at(index++).Text(), "\n" + line + "\r");
    }
    if (options.send_header) {
      EXPECT_EQ(records.at(index++).marker, 0xF0);
    }

    const std::vector<Second> seconds = Seconds(records, index);
    ASSERT_EQ(seconds.size(), static_cast<size_t>(kSeconds));
    for (int t = 0; t < kSeconds; ++t) {
      SCOPED_TRACE("second " + std::to_string(t));
      const Second& s = seconds[static_cast<size_t>(t)];
      ASSERT_EQ(s.blocks.size(), static_cast<size_t>(options.rate));
      for (size_t b = 0; b < s.blocks.size(); ++b) {
        ASSERT_EQ(s.blocks[b].marker, b == 0 ? 0x90 : 0x80);
        ASSERT_EQ(s.blocks[b].payload.size(), static_cast<size_t>(4 * options.channels));
      }
      ASSERT_TRUE(s.gps.size() == 1 && s.shifts.size() == 1 && s.others.empty());
      EXPECT_EQ(s.shifts[0].payload.size(), 2u);
      EXPECT_EQ(s.blocks_before_gps, static_cast<size_t>(options.gps_after_blocks));

      const std::string gps = s.gps[0].Text();
      ASSERT_EQ(gps.size(), 76u);
      EXPECT_EQ(gps.substr(0, 4), options.temperature ? ">XPV" : ">RPV");
      EXPECT_EQ(gps.substr(34, 5), ";*" + Checksum(gps.substr(0, 36)) + "<");
      EXPECT_EQ(gps.substr(39, 4), ">RTM");
      EXPECT_EQ(gps.substr(71, 5), ";*" + Checksum(gps.substr(39, 34)) + "<");
      std::tm utc{};
      utc.tm_year = options.start.year - 1900;
      utc.tm_mon = options.start.month - 1;
      utc.tm_mday = options.start.day;
      const time_t moment = timegm(&utc) + options.start.hour * 3600 + options.start.minute * 60 +
                            options.start.second + t;
      gmtime_r(&moment, &utc);
      const int of_day = (utc.tm_hour * 3600 + utc.tm_min * 60 + utc.tm_sec + options.utc_offset) % 86400;
      EXPECT_EQ(gps.substr(4, 5), options.temperature ? options.temperature_text : Digits(of_day, 5));
      EXPECT_EQ(gps.substr(43, 6), Digits(utc.tm_hour, 2) + Digits(utc.tm_min, 2) + Digits(utc.tm_sec, 2));
      EXPECT_EQ(gps.substr(52, 8), Digits(utc.tm_mday, 2) + Digits(utc.tm_mon + 1, 2) +
                                       Digits(utc.tm_year + 1900, 4));
      EXPECT_EQ(gps.substr(60, 2), Digits(options.utc_offset, 2));
      EXPECT_EQ(gps.substr(63, 2), Digits(options.satellites, 2));
    }
  }
}

TEST(SimStream, HeaderCarriesTheDeviceSettings) {
  SimOptions options = Options(1, 800, {2009, 7, 5, 6, 7, 8});
  options.gain = 64;
  options.device_number = "042";
  options.firmware_version = "V3.10b";
  const Records records = SplitRecords(GenerateStream(options, 0));
  ASSERT_EQ(records.size(), 1u);
  ASSERT_EQ(records[0].marker, 0xF0);
  const std::string header = records[0].Text();
  EXPECT_LE(header.size(), 512u);
  EXPECT_EQ(header.rfind("ZELK_V=V3.10b;DEV_NO=042;E_NAME=N/A;P_AMPL=64;CH_NUM=1;S_RATE=800;D_FILT=", 0), 0u);
  EXPECT_NE(header.find(";GPS_PO=N/A;S_TIME=06:07:08;S_DATE=09/07/05;D_VOLT="), std::string::npos);
  EXPECT_EQ(header.substr(header.size() - 12), ";DAT_NO=000;");
}

// Each fault against the clean stream of the same options: the faulty
// stream must be the clean one with exactly the promised edit.
TEST(SimStream, EachFaultDamagesExactlyWhatItPromises) {
  const int kRate = 50;
  // Index of the n-th record (from 0) whose marker passes `pick`.
  const auto nth = [](const Records& r, long n, auto pick) {
    for (size_t i = 0; i < r.size(); ++i) {
      if (pick(r[i].marker) && n-- == 0) return static_cast<long>(i);
    }
    ADD_FAILURE() << "record missing";
    return 0L;
  };
  const auto block = [&](const Records& r, int second, int index) { return nth(r, second * kRate + index, IsBlock); };
  const auto gps = [&](const Records& r, int second) { return nth(r, second, [](uint8_t m) { return m == 0xA0; }); };
  const Record unlisted{0xC0, {0x11, 0x22, 0x33}};
  struct Case {
    const char* legend;
    std::vector<Fault> faults;
    int64_t withhold_gps;
    // `longer` is the clean stream of more seconds, for later GPS times.
    std::function<void(Records& r, const Records& longer)> edit;
  };
  const Case cases[] = {
      {"dropped byte", {{FaultKind::kDropByte, 1, 5}}, 0,
       [&](Records& r, auto&) { r[block(r, 1, 5)].payload.pop_back(); }},
      {"extra byte in a mark block", {{FaultKind::kExtraByte, 2, 0}}, 0,
       [&](Records& r, auto&) { r[block(r, 2, 0)].payload.push_back(0x2A); }},
      {"broken GPS record", {{FaultKind::kBrokenGps, 1}}, 0,
       [&](Records& r, auto&) { r[gps(r, 1)].payload[42] = 'X'; }},
      {"short GPS record", {{FaultKind::kShortGps, 2, 0, 40}}, 0,
       [&](Records& r, auto&) { r[gps(r, 2)].payload.resize(40); }},
      {"missing second mark", {{FaultKind::kMissingMark, 3}}, 0,
       [&](Records& r, auto&) { r[block(r, 3, 0)].marker = 0x80; }},
      {"0x9F marker", {{FaultKind::kAlternateMarker, 1, 7}}, 0,
       [&](Records& r, auto&) { r[block(r, 1, 7)].marker = 0x9F; }},
      {"unlisted record", {{FaultKind::kUnlistedRecord, 1, 3}}, 0,
       [&](Records& r, auto&) { r.insert(r.begin() + block(r, 1, 3) + 1, unlisted); }},
      {"unlisted record after GPS and shift", {{FaultKind::kUnlistedRecord, 0, 9}}, 0,
       [&](Records& r, auto&) { r.insert(r.begin() + block(r, 0, 9) + 3, unlisted); }},
      {"header again", {{FaultKind::kRepeatHeader, 2, 0}}, 0,
       [&](Records& r, auto&) { r.insert(r.begin() + block(r, 2, 0) + 1, Record(r[0])); }},
      {"one block short", {{FaultKind::kBlockCount, 1, 0, kRate - 1}}, 0,
       [&](Records& r, auto&) { r.erase(r.begin() + block(r, 1, kRate - 1)); }},
      {"two blocks too many", {{FaultKind::kBlockCount, 1, 0, kRate + 2}}, 0,
       [&](Records& r, auto&) { r.insert(r.begin() + block(r, 1, kRate - 1) + 1, 2, Record(r[block(r, 1, 1)])); }},
      {"GPS clock jumps 5 s", {{FaultKind::kGpsJump, 2, 0, 5}}, 0,
       [&](Records& r, const Records& longer) {
         r[gps(r, 2)] = longer[gps(longer, 7)];
         r[gps(r, 3)] = longer[gps(longer, 8)];
       }},
      {"GPS withheld for 2 s", {}, 2,
       [&](Records& r, auto&) {
         r.erase(r.begin() + gps(r, 1));
         r.erase(r.begin() + gps(r, 0));
       }},
      {"two faults in one second", {{FaultKind::kDropByte, 1, 2}, {FaultKind::kExtraByte, 1, 30}}, 0,
       [&](Records& r, auto&) {
         r[block(r, 1, 2)].payload.pop_back();
         r[block(r, 1, 30)].payload.push_back(0x2A);
       }},
  };
  // A constant signal makes all blocks alike, so added or missing blocks
  // are plain insertions and deletions.
  SimOptions clean = Options(1, kRate);
  clean.amplitude = 0;
  clean.offset = -12345;
  const Records clean_records = SplitRecords(GenerateStream(clean, 4));
  const Records longer = SplitRecords(GenerateStream(clean, 10));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    SimOptions options = clean;
    options.faults = c.faults;
    options.withhold_gps_seconds = c.withhold_gps;
    Records expected = clean_records;
    c.edit(expected, longer);
    const Records faulty = SplitRecords(GenerateStream(options, 4));
    ASSERT_EQ(faulty.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(faulty[i], expected[i]) << "record " << i;
  }
}

TEST(SimStream, DeterministicForASeedAndEndsAfterItsDuration) {
  SimOptions options = Options(3, 100);
  options.noise = 300;
  options.seed = 77;
  options.shift_start = 16382;
  options.duration_seconds = 3;
  const std::vector<uint8_t> stream = GenerateStream(options, 10);
  StreamGenerator generator(options);
  std::vector<uint8_t> piecewise;
  while (!generator.Done()) generator.NextSecond(piecewise);  // sends the start records first
  EXPECT_EQ(piecewise, stream) << "same seed, same bytes, whole or second by second";
  std::vector<int> shifts;
  int marks = 0;
  for (const Record& r : SplitRecords(stream)) {
    if (r.marker == 0xB0) shifts.push_back(r.payload[0] * 128 + r.payload[1]);
    marks += r.marker == 0x90;
  }
  EXPECT_EQ(marks, 3);
  EXPECT_EQ(shifts, (std::vector<int>{16382, 16383, 0})) << "the 14-bit shift value wraps";
  options.seed = 78;
  const std::vector<uint8_t> other = GenerateStream(options, 10);
  EXPECT_EQ(other.size(), stream.size());
  EXPECT_NE(other, stream);
}

std::vector<std::vector<int32_t>> Channels(const SimOptions& options, int seconds) {
  std::vector<std::vector<int32_t>> values(static_cast<size_t>(options.channels));
  for (const Record& r : SplitRecords(GenerateStream(options, seconds))) {
    for (size_t k = 0; IsBlock(r.marker) && k < values.size(); ++k) {
      values[k].push_back(DecodeSample(r.payload.data() + 4 * k));
    }
  }
  return values;
}

TEST(SimStream, SignalIsSinePlusNoiseHeldWithinFullScale) {
  SimOptions sine = Options(3, 200);
  sine.amplitude = 500000;
  sine.offset = -20000;
  sine.frequency = 5;  // 40 frames a period
  const auto values = Channels(sine, 2);
  ASSERT_EQ(values[1].size(), 400u);
  for (size_t n = 0; n < values[1].size(); ++n) {
    // Channel 2 runs a third of a period ahead of channel 1.
    const double expected = -20000 + 500000 * std::sin(2 * M_PI * (5.0 * static_cast<double>(n) / 200 + 1.0 / 3));
    ASSERT_NEAR(values[1][n], expected, 1) << "frame " << n;
  }
  EXPECT_EQ(*std::max_element(values[0].begin(), values[0].end()), 480000);

  SimOptions noisy = Options(1, 800);
  noisy.amplitude = 0;
  noisy.offset = 1000;
  noisy.noise = 2000;
  const std::vector<int32_t> noise = Channels(noisy, 10)[0];
  ASSERT_EQ(noise.size(), 8000u);
  double sum = 0, squares = 0;
  for (const int32_t v : noise) {
    sum += v;
    squares += (v - 1000.0) * (v - 1000.0);
  }
  EXPECT_NEAR(sum / 8000, 1000, 100);
  EXPECT_NEAR(std::sqrt(squares / 8000), 2000, 100);

  // Beyond full scale the sine is held, not wrapped: at full scale for
  // 2 acos(8388607 / 9000000) of the cycle (94 of 800 frames), and no jump
  // to the other sign between neighbouring frames.
  SimOptions loud = Options(1, 800);
  loud.amplitude = 9000000;
  const std::vector<int32_t> clipped = Channels(loud, 1)[0];
  EXPECT_NEAR(std::count(clipped.begin(), clipped.end(), kSampleMax), 94, 2);
  EXPECT_NEAR(std::count(clipped.begin(), clipped.end(), kSampleMin), 94, 2);
  for (size_t n = 1; n < clipped.size(); ++n) ASSERT_LT(std::abs(clipped[n] - clipped[n - 1]), 80000) << n;
}

}  // namespace
}  // namespace voxa::sim
