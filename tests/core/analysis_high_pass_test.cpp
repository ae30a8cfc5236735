// The first-order high-pass filter: its shift per rate and its outputs.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "analysis/high_pass.h"

namespace voxa {
namespace {

TEST(HighPass, SetUpGivesAHalfHertzCornerAtEveryRate) {
  // rate -> shift: log2(rate / pi) rounded, never below 0.
  const std::vector<std::pair<int32_t, int32_t>> cases = {
      {50, 4}, {100, 5}, {200, 6}, {400, 7}, {800, 8}, {5, 1}, {3, 0}, {1, 0}, {0, 0}, {-100, 0}};
  for (const auto& [rate, shift] : cases) {
    HighPassFilter filter;
    filter.SetState({7, -7, 7});
    filter.Init(rate);
    EXPECT_EQ(filter.Shift(), shift) << rate;
    EXPECT_EQ(filter.State(), (std::array<int32_t, 3>{0, 0, 0})) << rate;
    EXPECT_EQ(filter.Rate(), rate);
  }
}

TEST(HighPass, OutputsAtEachRate) {
  struct Case {
    const char* legend;
    int32_t rate;
    std::vector<int32_t> input, output;
  };
  const std::vector<Case> cases = {
      {"50 sps, step", 50, {1000, 1000, 1000, 1000}, {1000, 938, 880, 825}},
      {"100 sps, step", 100, {1000, 1000, 1000, 1000}, {1000, 969, 939, 910}},
      {"200 sps, step", 200, {1000, 1000, 1000, 1000}, {1000, 985, 970, 955}},
      {"400 sps, step", 400, {1000, 1000, 1000, 1000}, {1000, 993, 986, 979}},
      {"800 sps, step", 800, {1000, 1000, 1000, 1000}, {1000, 997, 994, 991}},
      // The shift rounds toward zero, so a negative step mirrors the positive
      // one (an arithmetic shift would give -968 second).
      {"100 sps, negative step", 100, {-1000, -1000, -1000}, {-1000, -969, -939}},
      {"100 sps, pulse and back", 100, {0, 3200, 3200, 0, 0, -3200}, {0, 3200, 3100, -196, -190, -3385}},
      {"extreme inputs wrap instead of overflowing", 100, {2147483647, -2147483647 - 1}, {2147483647, 2080374785}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    HighPassFilter filter;
    filter.Init(c.rate);
    std::vector<int32_t> output, mirrored;
    for (int32_t x : c.input) {
      output.push_back(filter.Step(0, x));
      // Channels are independent: a mirrored signal on another channel in
      // between changes nothing.
      if (x != INT32_MIN) mirrored.push_back(-filter.Step(2, -x));
    }
    EXPECT_EQ(output, c.output);
    if (c.input[0] == 1000) {
      EXPECT_EQ(mirrored, c.output);
    }
  }
}

TEST(HighPass, AConstantInputSettlesJustBelowOneShiftUnit) {
  // Once |y| < 2^shift the correction is 0: the residue is 2^shift - 1.
  const std::vector<std::array<int32_t, 3>> cases = {{50, 1000000, 15}, {800, 1000000, 255}, {800, -1000000, -255}};
  for (const auto& [rate, input, settled] : cases) {
    HighPassFilter filter;
    filter.Init(rate);
    int32_t y = 0;
    for (int i = 0; i < 20000; ++i) y = filter.Step(0, input);
    EXPECT_EQ(y, settled) << rate << " " << input;
  }
  HighPassFilter filter;
  EXPECT_EQ(filter.Step(3, 555), 555);  // no state for a fourth channel: passed through
  EXPECT_EQ(filter.Step(-1, 555), 555);
}

}  // namespace
}  // namespace voxa
