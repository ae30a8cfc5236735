// Tests of the simulator's line pacing (driven by hand-made times) and of
// its command line.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tools/line_pacer.h"
#include "tools/sim_command_line.h"
#include "tools/sim_stream.h"

namespace voxa::sim {
namespace {

SimOptions PacedOptions(int channels, int rate, int boot_lines, int64_t seconds) {
  SimOptions options;
  options.channels = channels;
  options.rate = rate;
  options.start = {2022, 3, 4, 5, 6, 7};
  options.noise = 10;
  options.duration_seconds = seconds;
  options.boot_lines = DefaultBootReport(options, boot_lines);
  return options;
}

TEST(SimLinePacer, CarriesTheWholeStreamInRealTimeWithinTheLineRate) {
  struct Case {
    const char* legend;
    int channels;
    int rate;
    int boot_lines;
    int64_t slice_us;
  };
  const Case cases[] = {
      {"slowest stream, 20 ms slices", 1, 50, 0, 20000},
      {"fastest stream with boot report, 20 ms slices", 3, 800, 40, 20000},
      {"fastest stream, 1 ms slices", 3, 800, 5, 1000},
      {"medium stream, uneven 333 ms slices", 3, 200, 5, 333333},
  };
  const int64_t kSeconds = 3;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    const SimOptions options = PacedOptions(c.channels, c.rate, c.boot_lines, kSeconds);
    const std::vector<uint8_t> whole = GenerateStream(options, kSeconds);
    // Bytes the stream holds up to the end of each second.
    const auto start_slots = static_cast<int64_t>(GenerateStream(options, 0).size());
    std::vector<size_t> due_by_second_end;
    for (int64_t s = 0; s < kSeconds; ++s) due_by_second_end.push_back(GenerateStream(options, s + 1).size());

    StreamGenerator generator(options);
    LinePacer pacer(generator);
    std::vector<uint8_t> carried;
    pacer.Advance(0, carried);
    EXPECT_TRUE(carried.empty()) << "nothing has ended at time 0";
    for (int64_t now = c.slice_us; !pacer.Finished(); now += c.slice_us) {
      ASSERT_LT(now, (kSeconds + 2) * 1'000'000) << "the line never finished";
      pacer.Advance(now, carried);
      ASSERT_LE(static_cast<int64_t>(carried.size()), now * kLineBytesPerSecond / 1'000'000)
          << "more bytes than the line carries by " << now << " us";
      // A stream below the line rate is carried in real time: every second's
      // bytes have left by the end of that second, counted from the moment
      // the start records have left.
      const int64_t slots_ended = now * kLineBytesPerSecond / 1'000'000;
      const int64_t full_seconds = (slots_ended - start_slots) / kLineBytesPerSecond;
      if (full_seconds >= 1 && full_seconds <= kSeconds) {
        ASSERT_GE(carried.size(), due_by_second_end[static_cast<size_t>(full_seconds - 1)]) << now;
      }
    }
    EXPECT_EQ(carried, whole);
    EXPECT_EQ(pacer.BytesCarried(), static_cast<int64_t>(whole.size()));
  }
}

TEST(SimLinePacer, SpreadsEachSecondOverTheSecond) {
  const SimOptions options = PacedOptions(1, 100, 0, 2);
  const size_t start_bytes = GenerateStream(options, 0).size();
  const size_t second_bytes = GenerateStream(options, 1).size() - start_bytes;
  StreamGenerator generator(options);
  LinePacer pacer(generator);
  std::vector<uint8_t> carried;
  // Half way through the second second, about half of its bytes are out.
  pacer.Advance(static_cast<int64_t>(start_bytes) * 1'000'000 / kLineBytesPerSecond + 1'500'000, carried);
  const double second_part = static_cast<double>(carried.size() - start_bytes - second_bytes);
  EXPECT_NEAR(second_part / static_cast<double>(second_bytes), 0.5, 0.01);
}

TEST(SimLinePacer, AnOverlongSecondIsHeldToTheLineRate) {
  SimOptions options = PacedOptions(3, 800, 0, 2);
  options.faults = {{FaultKind::kBlockCount, 0, 0, 4 * 800}};
  const std::vector<uint8_t> whole = GenerateStream(options, 2);
  ASSERT_GT(whole.size(), 4u * kLineBytesPerSecond);
  StreamGenerator generator(options);
  LinePacer pacer(generator);
  std::vector<uint8_t> carried;
  pacer.Advance(1'000'000, carried);
  EXPECT_EQ(static_cast<int64_t>(carried.size()), kLineBytesPerSecond);
  pacer.Advance(2'000'000, carried);
  EXPECT_EQ(static_cast<int64_t>(carried.size()), 2 * kLineBytesPerSecond);
  EXPECT_FALSE(pacer.Finished());
  pacer.Advance(10'000'000, carried);
  EXPECT_TRUE(pacer.Finished());
  EXPECT_EQ(carried, whole);
}

TEST(SimCommandLineParse, GoodArgumentsSetTheirOptions) {
  struct Case {
    const char* legend;
    std::vector<std::string> arguments;
    std::function<void(const SimCommandLine&)> check;
  };
  const Case cases[] = {
      {"nothing: defaults, pseudo-terminal, short boot report",
       {},
       [](const SimCommandLine& l) {
         EXPECT_TRUE(l.output_path.empty());
         EXPECT_FALSE(l.start_given);
         EXPECT_EQ(l.options.boot_lines.size(), static_cast<size_t>(kDefaultBootLines));
         EXPECT_TRUE(l.options.faults.empty());
       }},
      {"device settings, both value forms",
       {"--channels", "1", "--rate=800", "--gain", "64", "--device", "007", "--firmware=V9.99"},
       [](const SimCommandLine& l) {
         EXPECT_EQ(l.options.channels, 1);
         EXPECT_EQ(l.options.rate, 800);
         EXPECT_EQ(l.options.gain, 64);
         EXPECT_EQ(l.options.device_number, "007");
         EXPECT_EQ(l.options.firmware_version, "V9.99");
         EXPECT_EQ(l.options.boot_lines[0], "VOXA V9.99 starting") << "the report follows the options";
       }},
      {"start, offset, temperature, signal",
       {"--start", "2011-11-11T00:00:00", "--utc-offset", "15", "--temperature=-12.5", "--amplitude", "2.5e5",
        "--frequency", "0.5", "--offset", "-300", "--noise", "40", "--seed", "18446744073709551615"},
       [](const SimCommandLine& l) {
         EXPECT_TRUE(l.start_given);
         EXPECT_EQ(l.options.start.year, 2011);
         EXPECT_EQ(l.options.start.day, 11);
         EXPECT_EQ(l.options.utc_offset, 15);
         EXPECT_TRUE(l.options.temperature);
         EXPECT_EQ(l.options.temperature_text, "-12.5");
         EXPECT_EQ(l.options.amplitude, 250000.0);
         EXPECT_EQ(l.options.frequency, 0.5);
         EXPECT_EQ(l.options.offset, -300.0);
         EXPECT_EQ(l.options.noise, 40.0);
         EXPECT_EQ(l.options.seed, 18446744073709551615ULL);
       }},
      {"temperature without text keeps the default text",
       {"--temperature"},
       [](const SimCommandLine& l) {
         EXPECT_TRUE(l.options.temperature);
         EXPECT_EQ(l.options.temperature_text, "+23.5");
       }},
      {"faults with and without blocks, repeated",
       {"--drop-byte", "3", "--drop-byte", "4:0", "--extra-byte=5:7", "--broken-gps", "6", "--missing-mark", "7",
        "--unlisted", "8:2", "--block-count", "9:99", "--short-gps", "10:40", "--gps-jump", "11:-3",
        "--marker-9f", "12", "--repeat-header", "13:5", "--withhold-gps", "2"},
       [](const SimCommandLine& l) {
         const std::vector<std::tuple<FaultKind, int64_t, int, int>> expected = {
             {FaultKind::kDropByte, 3, 1, 0},        {FaultKind::kDropByte, 4, 0, 0},
             {FaultKind::kExtraByte, 5, 7, 0},       {FaultKind::kBrokenGps, 6, 1, 0},
             {FaultKind::kMissingMark, 7, 1, 0},     {FaultKind::kUnlistedRecord, 8, 2, 0},
             {FaultKind::kBlockCount, 9, 1, 99},     {FaultKind::kShortGps, 10, 1, 40},
             {FaultKind::kGpsJump, 11, 1, -3},       {FaultKind::kAlternateMarker, 12, 1, 0},
             {FaultKind::kRepeatHeader, 13, 5, 0},
         };
         std::vector<std::tuple<FaultKind, int64_t, int, int>> got;
         for (const Fault& f : l.options.faults) got.emplace_back(f.kind, f.second, f.block, f.value);
         EXPECT_EQ(got, expected);
         EXPECT_EQ(l.options.withhold_gps_seconds, 2);
       }},
      {"run settings",
       {"--seconds", "30", "--fast", "--output", "/tmp/x.bin", "--boot-lines", "0", "--no-header", "--preamble",
        "hello", "--shift", "100:-2", "--gps-after", "50"},
       [](const SimCommandLine& l) {
         EXPECT_EQ(l.options.duration_seconds, 30);
         EXPECT_TRUE(l.fast);
         EXPECT_EQ(l.output_path, "/tmp/x.bin");
         EXPECT_TRUE(l.options.boot_lines.empty());
         EXPECT_FALSE(l.options.send_header);
         EXPECT_EQ(l.options.preamble, "hello");
         EXPECT_EQ(l.options.shift_start, 100);
         EXPECT_EQ(l.options.shift_step, -2);
         EXPECT_EQ(l.options.gps_after_blocks, 50);
       }},
      {"help", {"--help"}, [](const SimCommandLine& l) { EXPECT_TRUE(l.help); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    SimCommandLine line;
    ASSERT_EQ(ParseSimCommandLine(c.arguments, line), "");
    c.check(line);
  }
}

TEST(SimCommandLineParse, BadArgumentsAreExplained) {
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
      {"number with junk", {"--seconds", "10s"}, "bad value '10s'"},
      {"rate outside the list", {"--rate", "120"}, "rate must be"},
      {"gain outside the list", {"--gain", "128"}, "gain must be"},
      {"start without seconds", {"--start", "2024-01-01T00:00"}, "bad value"},
      {"start on 31 April", {"--start", "2024-04-31T00:00:00"}, "bad value"},
      {"fault without a second", {"--drop-byte", ":3"}, "bad value"},
      {"block count without a count", {"--block-count", "3"}, "bad value"},
      {"fault block beyond the second", {"--rate", "50", "--extra-byte", "1:50"}, "block must lie"},
      {"negative duration", {"--seconds", "-1"}, "duration"},
      {"fast without an end", {"--fast"}, "--fast needs --seconds"},
      {"temperature of the wrong width", {"--temperature=hot"}, "temperature"},
      {"too many boot lines", {"--boot-lines", "101"}, "bad value"},
      {"shift beyond 14 bits", {"--shift", "16384"}, "bad value"},
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
