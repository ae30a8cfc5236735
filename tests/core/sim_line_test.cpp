// Tests of the simulator's line pacing, driven with hand-made times, and of
// its command line.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "tools/line_pacer.h"
#include "tools/sim_command_line.h"
#include "tools/sim_stream.h"

namespace voxa::sim {
namespace {

TEST(SimLinePacer, CarriesTheStreamInRealTimeNeverFasterThanTheLine) {
  struct Case {
    const char* legend;
    int channels, rate, boot_lines, extra_blocks;
    int64_t slice_us;
  };
  const Case cases[] = {
      {"slowest stream, 20 ms slices", 1, 50, 0, 0, 20000},
      {"fastest stream after a long boot report", 3, 800, 40, 0, 20000},
      {"fastest stream, 1 ms slices", 3, 800, 5, 0, 1000},
      {"uneven 333 ms slices", 3, 200, 5, 0, 333333},
      {"a first second of four times the line rate", 3, 800, 0, 3 * 800, 20000},
  };
  const int64_t kSeconds = 3;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    SimOptions options;
    options.channels = c.channels;
    options.rate = c.rate;
    options.noise = 10;
    options.duration_seconds = kSeconds;
    options.boot_lines = DefaultBootReport(options, c.boot_lines);
    if (c.extra_blocks > 0) options.faults = {{FaultKind::kBlockCount, 0, 0, c.rate + c.extra_blocks}};
    // Bytes due by the end of each second, counted from when the start
    // records have left the line.
    std::vector<int64_t> due;
    for (int64_t s = 0; s <= kSeconds; ++s) due.push_back(static_cast<int64_t>(GenerateStream(options, s).size()));

    StreamGenerator generator(options);
    LinePacer pacer(generator);
    std::vector<uint8_t> carried;
    for (int64_t now = 0; !pacer.Finished(); now += c.slice_us) {
      ASSERT_LT(now, 20'000'000) << "the line never finished";
      pacer.Advance(now, carried);
      const int64_t slots = now * kLineBytesPerSecond / 1'000'000;
      const auto count = static_cast<int64_t>(carried.size());
      ASSERT_LE(count, slots) << "faster than the line at " << now << " us";
      if (c.extra_blocks > 0) {
        ASSERT_EQ(count, std::min(slots, due[kSeconds])) << "an overloaded line is always busy";
      } else if (slots <= due[0]) {
        ASSERT_EQ(count, slots) << "the start records leave back to back";
      } else {
        // Each second's bytes leave evenly over that second, and all of
        // them by its end.
        const int64_t second = std::min((slots - due[0]) / kLineBytesPerSecond, kSeconds);
        int64_t expected = due[second];
        if (second < kSeconds) {
          const int64_t into = slots - due[0] - second * kLineBytesPerSecond;
          expected += into * (due[second + 1] - due[second]) / kLineBytesPerSecond;
        }
        ASSERT_NEAR(count, expected, 2) << "at " << now << " us";
      }
    }
    EXPECT_EQ(carried, GenerateStream(options, kSeconds));
  }
}

TEST(SimCommandLine, GoodArgumentsSetTheirOptions) {
  SimCommandLine line;
  ASSERT_EQ(ParseSimCommandLine({}, line), "");
  EXPECT_EQ(line.options.boot_lines.size(), static_cast<size_t>(kDefaultBootLines));

  ASSERT_EQ(ParseSimCommandLine({"--channels", "1", "--rate=800", "--gain", "64", "--device", "007",
                                 "--firmware=V9.99", "--start", "2011-11-11T00:00:00", "--utc-offset", "15",
                                 "--temperature=-12.5", "--amplitude", "2.5e5", "--frequency", "0.5", "--offset",
                                 "-300", "--noise", "40", "--seed", "18446744073709551615", "--seconds", "30",
                                 "--fast", "--output", "/tmp/x.bin", "--boot-lines", "1", "--no-header",
                                 "--preamble", "hello", "--shift", "100:-2", "--gps-after", "50"},
                                line),
            "");
  const SimOptions& o = line.options;
  EXPECT_EQ(std::tie(o.channels, o.rate, o.gain, o.device_number, o.firmware_version, o.utc_offset),
            std::make_tuple(1, 800, 64, std::string("007"), std::string("V9.99"), 15));
  EXPECT_TRUE(line.start_given && o.start.year == 2011 && o.start.month == 11 && o.start.hour == 0);
  EXPECT_TRUE(o.temperature);
  EXPECT_EQ(o.temperature_text, "-12.5");
  EXPECT_EQ(std::tie(o.amplitude, o.frequency, o.offset, o.noise), std::make_tuple(2.5e5, 0.5, -300.0, 40.0));
  EXPECT_EQ(o.seed, 18446744073709551615ULL);
  EXPECT_EQ(std::tie(o.duration_seconds, line.fast, line.output_path),
            std::make_tuple(int64_t{30}, true, std::string("/tmp/x.bin")));
  EXPECT_EQ(o.boot_lines, std::vector<std::string>{"VOXA V9.99 starting"}) << "the report follows the options";
  EXPECT_EQ(std::tie(o.send_header, o.preamble, o.shift_start, o.shift_step, o.gps_after_blocks),
            std::make_tuple(false, std::string("hello"), 100, -2, 50));

  ASSERT_EQ(ParseSimCommandLine({"--temperature", "--drop-byte", "3", "--drop-byte", "4:0", "--extra-byte=5:7",
                                 "--broken-gps", "6", "--missing-mark", "7", "--unlisted", "8:2", "--block-count",
                                 "9:99", "--short-gps", "10:40", "--gps-jump", "11:-3", "--marker-9f", "12",
                                 "--repeat-header", "13:5", "--withhold-gps", "2"},
                                line),
            "");
  EXPECT_EQ(line.options.temperature_text, "+23.5") << "--temperature alone keeps the default text";
  const std::vector<std::tuple<FaultKind, int64_t, int, int>> expected = {
      {FaultKind::kDropByte, 3, 1, 0},     {FaultKind::kDropByte, 4, 0, 0},       {FaultKind::kExtraByte, 5, 7, 0},
      {FaultKind::kBrokenGps, 6, 1, 0},    {FaultKind::kMissingMark, 7, 1, 0},    {FaultKind::kUnlistedRecord, 8, 2, 0},
      {FaultKind::kBlockCount, 9, 1, 99},  {FaultKind::kShortGps, 10, 1, 40},     {FaultKind::kGpsJump, 11, 1, -3},
      {FaultKind::kAlternateMarker, 12, 1, 0}, {FaultKind::kRepeatHeader, 13, 5, 0},
  };
  std::vector<std::tuple<FaultKind, int64_t, int, int>> faults;
  for (const Fault& f : line.options.faults) faults.emplace_back(f.kind, f.second, f.block, f.value);
  EXPECT_EQ(faults, expected);
  EXPECT_EQ(line.options.withhold_gps_seconds, 2);
}

TEST(SimCommandLine, BadArgumentsAreExplained) {
  struct Case {
    const char* legend;
    std::vector<std::string> arguments;
    const char* message_part;
  };
  const Case cases[] = {
      {"unknown option", {"--colour", "red"}, "unknown option '--colour'"},
      {"plain word", {"ttyS0"}, "unexpected argument 'ttyS0'"},
      {"missing value", {"--rate"}, "'--rate' needs a value"},
      {"value for a switch", {"--fast=yes"}, "'--fast' takes no value"},
      {"not a number", {"--rate", "fast"}, "bad value 'fast' for option '--rate'"},
      {"channels", {"--channels", "2"}, "channels must be 1 or 3"},
      {"rate outside the list", {"--rate", "120"}, "rate must be"},
      {"start on 31 April", {"--start", "2024-04-31T00:00:00"}, "bad value"},
      {"preamble with a marker byte", {"--preamble", "a\x90"}, "preamble"},
      {"no blocks in a second", {"--block-count", "3:0"}, "block count"},
      {"fault block beyond the second", {"--rate", "50", "--extra-byte", "1:50"}, "block must lie"},
      {"fault block beyond a shortened second", {"--block-count", "1:10", "--unlisted", "1:10"}, "block must lie"},
      {"short GPS of the full length", {"--short-gps", "1:76"}, "short GPS"},
      {"header longer than 512 bytes", {"--header", std::string(513, 'x')}, "header"},
      {"fast without an end", {"--fast"}, "--fast needs --seconds"},
      {"temperature of the wrong width", {"--temperature=hot"}, "temperature"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    SimCommandLine line;
    const std::string message = ParseSimCommandLine(c.arguments, line);
    EXPECT_NE(message.find(c.message_part), std::string::npos) << message;
  }
}

}  // namespace
}  // namespace voxa::sim
