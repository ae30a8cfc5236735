// Tests of the simulator's line pacing, driven with hand-made times, and of
// its command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/line_pacer.h"
#include "tools/sim_command_line.h"
#include "tools/sim_stream.h"

namespace voxa::sim {
namespace {

TEST(SimLinePacer, CarriesTheStreamInRealTimeNeverFasterThanTheLine) {
  struct Case {
    const char* legend;
    int channels, rate, bootLines, extraBlocks;
    int64_t sliceUs;
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
    options.durationSeconds = kSeconds;
    options.bootLines = DefaultBootReport(options, c.bootLines);
    if (c.extraBlocks > 0) options.faults = {{FaultKind::kBlockCount, 0, 0, c.rate + c.extraBlocks}};
    // Bytes due by the end of each second, counted from when the start
    // records have left the line.
    std::vector<int64_t> due;
    for (int64_t s = 0; s <= kSeconds; ++s) due.push_back(static_cast<int64_t>(GenerateStream(options, s).size()));

    StreamGenerator generator(options);
    LinePacer pacer(generator);
    std::vector<uint8_t> carried;
    for (int64_t now = 0; !pacer.Finished(); now += c.sliceUs) {
      ASSERT_LT(now, 20'000'000) << "the line never finished";
      pacer.Advance(now, carried);
      const int64_t slots = now * kLineBytesPerSecond / 1'000'000;
      const auto count = static_cast<int64_t>(carried.size());
      ASSERT_LE(count, slots) << "faster than the line at " << now << " us";
      if (c.extraBlocks > 0) {
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

TEST(SimCommandLine, BadArgumentsAreExplained) {
  struct Case {
    const char* legend;
    std::vector<std::string> arguments;
    const char* messagePart;
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
    EXPECT_NE(message.find(c.messagePart), std::string::npos) << message;
  }
}

}  // namespace
}  // namespace voxa::sim
