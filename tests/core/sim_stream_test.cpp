// Tests of the simulated device's stream: framing, sample encoding, GPS
// records, faults, determinism and signal. The stream is read back by
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

// Exclusive or of every character.
int Checksum(const std::string& text) {
  int sum = 0;
  for (const char c : text) sum ^= static_cast<unsigned char>(c);
  return sum;
}

template <typename... Values>
std::string Printed(const char* format, Values... values) {
  char text[128];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

SimOptions Options(int channels, int rate, UtcTime start = {2011, 11, 11, 0, 0, 0}, int utcOffset = 15) {
  SimOptions options;
  options.channels = channels;
  options.rate = rate;
  options.start = start;
  options.utcOffset = utcOffset;
  return options;
}

TEST(SimStream, SamplesEncodeToFourBytesAndDecodeBack) {
  // Payload bytes below 0x80 and the last one never above 7 leave one
  // encoding per value, so a round trip through the reader checks each bit's
  // place: at the edges of the range and across it in odd steps.
  std::vector<int64_t> values = {kSampleMin, -1, 0, 1, 8, 1024, 131072, kSampleMax};
  for (int64_t v = kSampleMin; v <= kSampleMax; v += 997) values.push_back(v);
  for (const int64_t v : values) {
    const auto bytes = EncodeSample(static_cast<int32_t>(v));
    ASSERT_TRUE(bytes[0] < 0x80 && bytes[1] < 0x80 && bytes[2] < 0x80 && bytes[3] <= 7) << v;
    ASSERT_EQ(DecodeSample(bytes.data()), v);
  }
  EXPECT_EQ(EncodeSample(9000000), EncodeSample(kSampleMax)) << "held at full scale, not wrapped";
  EXPECT_EQ(EncodeSample(-9000000), EncodeSample(kSampleMin));
}

TEST(SimStream, GpsFormatterReproducesThePlaceholderRecord) {
  GpsFields fields;
  fields.timeOfDay = 15;
  fields.millisecond = 510;
  fields.day = fields.month = 11;
  fields.year = 2011;
  fields.utcOffset = 15;
  fields.satellites = 7;
  EXPECT_EQ(FormatGpsRecord(fields),
            ">RPV00015+5200000+0130000000000012;*79<>RTM0000005101111201115107100000;*61<");
}

TEST(SimStream, FramingSecondsAndGpsTimesForEachConfiguration) {
  struct Case {
    const char* legend;
    SimOptions options;
    int bootLines;
  };
  SimOptions warm = Options(3, 800, {2030, 6, 1, 12, 0, 0}, 18);
  warm.temperature = true;
  warm.shiftStart = 1;
  warm.shiftStep = -2;
  SimOptions chatty = Options(1, 400, {2020, 1, 1, 8, 0, 0}, 18);
  chatty.preamble = "junk\r\n";
  chatty.sendHeader = false;
  chatty.shiftStart = 16382;
  chatty.gpsAfterBlocks = 1;
  const Case cases[] = {
      {"one channel, 50 sps", Options(1, 50), 0},
      {"three channels, 800 sps, temperature, shift falling below 0", warm, 0},
      {"GPS day ends before the UTC year", Options(3, 100, {2023, 12, 31, 23, 59, 40}, 18), 0},
      {"midnight into a leap day", Options(1, 200, {2024, 2, 28, 23, 59, 58}, 0), 0},
      {"text, boot lines, no header, GPS after the mark, shift passing 16383", chatty, 3},
  };
  const int kSeconds = 4;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    SimOptions options = c.options;
    options.bootLines = DefaultBootReport(options, c.bootLines);
    options.noise = 50;
    std::string leading;
    const Records records = SplitRecords(GenerateStream(options, kSeconds), &leading);
    EXPECT_EQ(leading, options.preamble);
    size_t index = 0;
    for (const std::string& line : options.bootLines) {
      ASSERT_EQ(records.at(index).marker, 0xF8);
      EXPECT_EQ(records.at(index++).Text(), "\n" + line + "\r");
    }
    if (options.sendHeader) {
      EXPECT_EQ(records.at(index++).marker, 0xF0);
    }

    // Each second: the mark block, then the other blocks, with the GPS and
    // shift records after `gpsAfterBlocks` of them. Records as marker and
    // payload length.
    std::vector<std::pair<int, size_t>> expected, sent;
    for (int t = 0; t < kSeconds; ++t) {
      for (int b = 1; b <= options.rate; ++b) {
        expected.emplace_back(b == 1 ? 0x90 : 0x80, 4 * options.channels);
        if (b == options.gpsAfterBlocks) expected.insert(expected.end(), {{0xA0, 76}, {0xB0, 2}});
      }
    }
    std::vector<std::string> gps;
    std::vector<int> shifts;
    for (size_t i = index; i < records.size(); ++i) {
      const Record& r = records[i];
      sent.emplace_back(r.marker, r.payload.size());
      if (r.marker == 0xA0) gps.push_back(r.Text());
      if (r.marker == 0xB0 && r.payload.size() == 2) shifts.push_back(r.payload[0] * 128 + r.payload[1]);
    }
    ASSERT_EQ(sent, expected);

    for (int t = 0; t < kSeconds; ++t) {
      SCOPED_TRACE("second " + std::to_string(t));
      std::tm utc{};
      utc.tm_year = options.start.year - 1900;
      utc.tm_mon = options.start.month - 1;
      utc.tm_mday = options.start.day;
      const time_t moment = timegm(&utc) + options.start.hour * 3600 + options.start.minute * 60 +
                            options.start.second + t;
      gmtime_r(&moment, &utc);
      // The receiver's time of day is GPS time, utcOffset seconds ahead.
      const int ofDay = (utc.tm_hour * 3600 + utc.tm_min * 60 + utc.tm_sec + options.utcOffset) % 86400;
      const std::string position =
          (options.temperature ? ">XPV" + options.temperatureText : Printed(">RPV%05d", ofDay)) +
          "+5200000+0130000000000012;*";
      const std::string time =
          Printed(">RTM%02d%02d%02d000%02d%02d%04d%02d1%02d100000;*", utc.tm_hour, utc.tm_min, utc.tm_sec,
                  utc.tm_mday, utc.tm_mon + 1, utc.tm_year + 1900, options.utcOffset, options.satellites);
      EXPECT_EQ(gps[static_cast<size_t>(t)],
                position + Printed("%02X<", Checksum(position)) + time + Printed("%02X<", Checksum(time)));
      // The 14-bit shift value steps once a second and wraps.
      const int shift = (options.shiftStart + t * options.shiftStep) % 16384;
      EXPECT_EQ(shifts[static_cast<size_t>(t)], shift < 0 ? shift + 16384 : shift);
    }
  }
}

// Each fault against the clean stream of the same options: the faulty
// stream must be the clean one with exactly the promised edit.
TEST(SimStream, EachFaultDamagesExactlyWhatItPromises) {
  const int kRate = 50;
  // A constant signal makes all blocks alike, so added or missing blocks
  // are plain insertions and deletions.
  SimOptions clean = Options(1, kRate);
  clean.amplitude = 0;
  clean.offset = -12345;
  const Records cleanRecords = SplitRecords(GenerateStream(clean, 4));
  const Records longer = SplitRecords(GenerateStream(clean, 10));  // for later GPS times
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
    int64_t withholdGps;
    std::function<void(Records&)> edit;
  };
  const Case cases[] = {
      {"dropped byte", {{FaultKind::kDropByte, 1, 5}}, 0, [&](Records& r) { r[block(r, 1, 5)].payload.pop_back(); }},
      {"extra byte in a mark block", {{FaultKind::kExtraByte, 2, 0}}, 0,
       [&](Records& r) { r[block(r, 2, 0)].payload.push_back(0x2A); }},
      {"broken GPS record", {{FaultKind::kBrokenGps, 1}}, 0, [&](Records& r) { r[gps(r, 1)].payload[42] = 'X'; }},
      {"short GPS record", {{FaultKind::kShortGps, 2, 0, 40}}, 0, [&](Records& r) { r[gps(r, 2)].payload.resize(40); }},
      {"missing second mark", {{FaultKind::kMissingMark, 3}}, 0, [&](Records& r) { r[block(r, 3, 0)].marker = 0x80; }},
      {"0x9F marker", {{FaultKind::kAlternateMarker, 1, 7}}, 0, [&](Records& r) { r[block(r, 1, 7)].marker = 0x9F; }},
      {"unlisted record", {{FaultKind::kUnlistedRecord, 1, 3}}, 0,
       [&](Records& r) { r.insert(r.begin() + block(r, 1, 3) + 1, unlisted); }},
      {"unlisted record after GPS and shift", {{FaultKind::kUnlistedRecord, 0, 9}}, 0,
       [&](Records& r) { r.insert(r.begin() + block(r, 0, 9) + 3, unlisted); }},
      {"header again", {{FaultKind::kRepeatHeader, 2, 0}}, 0,
       [&](Records& r) { r.insert(r.begin() + block(r, 2, 0) + 1, Record(r[0])); }},
      {"one block short", {{FaultKind::kBlockCount, 1, 0, kRate - 1}}, 0,
       [&](Records& r) { r.erase(r.begin() + block(r, 1, kRate - 1)); }},
      {"two blocks too many", {{FaultKind::kBlockCount, 1, 0, kRate + 2}}, 0,
       [&](Records& r) { r.insert(r.begin() + block(r, 1, kRate - 1) + 1, 2, Record(r[block(r, 1, 1)])); }},
      {"GPS clock jumps 5 s", {{FaultKind::kGpsJump, 2, 0, 5}}, 0,
       [&](Records& r) {
         r[gps(r, 2)] = longer[gps(longer, 7)];
         r[gps(r, 3)] = longer[gps(longer, 8)];
       }},
      {"GPS withheld for 2 s", {}, 2,
       [&](Records& r) {
         r.erase(r.begin() + gps(r, 1));
         r.erase(r.begin() + gps(r, 0));
       }},
      {"two faults in one second", {{FaultKind::kDropByte, 1, 2}, {FaultKind::kExtraByte, 1, 30}}, 0,
       [&](Records& r) {
         r[block(r, 1, 2)].payload.pop_back();
         r[block(r, 1, 30)].payload.push_back(0x2A);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    SimOptions options = clean;
    options.faults = c.faults;
    options.withholdGpsSeconds = c.withholdGps;
    Records expected = cleanRecords;
    c.edit(expected);
    const Records faulty = SplitRecords(GenerateStream(options, 4));
    ASSERT_EQ(faulty.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(faulty[i], expected[i]) << "record " << i;
  }
}

// A long stream gets its faults as it goes: the same bytes as with every
// fault in the options, clock jumps of dropped faults included.
TEST(SimStream, FaultsInjectedAsTheStreamGoesOnGiveTheSameStream) {
  SimOptions options = Options(1, 50);
  options.durationSeconds = 6;
  const std::vector<std::vector<Fault>> bySecond = {
      {},
      {{FaultKind::kGpsJump, 1, 0, 5}, {FaultKind::kDropByte, 1, 4}},
      {{FaultKind::kBlockCount, 2, 0, 49}},
      {{FaultKind::kGpsJump, 3, 0, -2}, {FaultKind::kExtraByte, 3, 0}},
      {},
      {{FaultKind::kBrokenGps, 5}},
  };
  SimOptions all = options;
  for (const std::vector<Fault>& faults : bySecond) all.faults.insert(all.faults.end(), faults.begin(), faults.end());

  StreamGenerator generator(options);
  std::vector<uint8_t> injected;
  for (const std::vector<Fault>& faults : bySecond) {
    generator.InjectFaults(faults);
    generator.NextSecond(injected);
  }
  EXPECT_EQ(injected, GenerateStream(all, 6));
  EXPECT_THROW(generator.InjectFaults({{FaultKind::kDropByte, 5, 1}}), std::invalid_argument) << "a second sent";
  StreamGenerator fresh(options);
  EXPECT_THROW(fresh.InjectFaults({{FaultKind::kDropByte, 0, 50}}), std::invalid_argument) << "no such block";
}

TEST(SimStream, DeterministicForASeedAndEndsAfterItsDuration) {
  SimOptions options = Options(3, 100);
  options.noise = 300;
  options.seed = 77;
  options.durationSeconds = 3;
  const std::vector<uint8_t> stream = GenerateStream(options, 10);
  StreamGenerator generator(options);
  std::vector<uint8_t> piecewise;
  while (!generator.Done()) generator.NextSecond(piecewise);  // sends the start records first
  EXPECT_EQ(piecewise, stream) << "same seed, same bytes, whole or second by second";
  EXPECT_EQ(std::count(stream.begin(), stream.end(), 0x90), 3) << "three second marks, then the end";
  options.seed = 78;
  const std::vector<uint8_t> other = GenerateStream(options, 10);
  EXPECT_EQ(other.size(), stream.size());
  EXPECT_NE(other, stream);
}

TEST(SimStream, SignalIsASineHeldWithinFullScale) {
  // Louder than full scale, each channel a third of a period ahead of the one
  // before it in the block: held at the range's ends rather than wrapped.
  SimOptions loud = Options(3, 200);
  loud.amplitude = 9000000;
  loud.offset = -20000;
  loud.frequency = 5;
  long frame = 0;
  for (const Record& r : SplitRecords(GenerateStream(loud, 2))) {
    for (int k = 0; IsBlock(r.marker) && k < 3; ++k) {
      const double wave = -20000 + 9000000 * std::sin(2 * M_PI * (5.0 * static_cast<double>(frame) / 200 + k / 3.0));
      ASSERT_NEAR(DecodeSample(r.payload.data() + 4 * k), std::clamp<double>(wave, kSampleMin, kSampleMax), 1)
          << "frame " << frame << ", channel " << k;
    }
    frame += IsBlock(r.marker);
  }
  EXPECT_EQ(frame, 400);
}

}  // namespace
}  // namespace voxa::sim
