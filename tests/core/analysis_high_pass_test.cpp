// The first-order high-pass filter: its shift per rate and its outputs.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "analysis/plot.h"
#include "stream/acquisition.h"

namespace voxa {
namespace {

TEST(HighPass, SetUpGivesAHalfHertzCornerAtEveryRate) {
  struct Case {
    const char* legend;
    int32_t rate, shift;
  };
  const std::vector<Case> cases = {
      {"50 sps", 50, 4},   {"100 sps", 100, 5},
      {"200 sps", 200, 6}, {"400 sps", 400, 7},
      {"800 sps", 800, 8}, {"5 sps rounds up from 0.67", 5, 1},
      {"3 sps: a negative exponent rounds to 0", 3, 0},
      {"1 sps: below 0 is held at 0", 1, 0},
      {"rate 0 from a broken header", 0, 0},
      {"negative rate", -100, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    Acquisition a;
    a.SampleRate = c.rate;
    a.HighPassShift = 99;
    a.HighPassState = {7, -7, 7};
    InitHighPass(a);
    EXPECT_EQ(a.HighPassShift, c.shift);
    EXPECT_EQ(a.HighPassState, (std::array<int32_t, 3>{0, 0, 0}));
    EXPECT_EQ(a.HighPassRate, c.rate);
  }
}

TEST(HighPass, OutputsForAStepAtEachRate) {
  struct Case {
    const char* legend;
    int32_t rate;
    std::vector<int32_t> input, output;
  };
  const std::vector<Case> cases = {
      {"50 sps, step up", 50, {1000, 1000, 1000, 1000}, {1000, 938, 880, 825}},
      {"100 sps, step up", 100, {1000, 1000, 1000, 1000}, {1000, 969, 939, 910}},
      {"200 sps, step up", 200, {1000, 1000, 1000, 1000}, {1000, 985, 970, 955}},
      {"400 sps, step up", 400, {1000, 1000, 1000, 1000}, {1000, 993, 986, 979}},
      {"800 sps, step up", 800, {1000, 1000, 1000, 1000}, {1000, 997, 994, 991}},
      // The shift rounds toward zero: a negative step mirrors the positive one
      // (an arithmetic shift would give -968 as the second output).
      {"100 sps, step down", 100, {-1000, -1000, -1000, -1000}, {-1000, -969, -939, -910}},
      {"100 sps, pulse and back", 100, {0, 3200, 3200, 0, 0, -3200}, {0, 3200, 3100, -196, -190, -3385}},
      // 2^31 - 1, then -2^31: the difference wraps instead of overflowing.
      {"extreme inputs wrap", 100, {2147483647, -2147483647 - 1}, {2147483647, 2080374785}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    Acquisition a;
    a.SampleRate = c.rate;
    InitHighPass(a);
    std::vector<int32_t> output;
    for (int32_t x : c.input) output.push_back(HighPassStep(a, 0, x));
    EXPECT_EQ(output, c.output);
  }
}

TEST(HighPass, AConstantInputSettlesJustBelowOneShiftUnit) {
  // Once |y| < 2^shift the correction is 0: the residue of a constant input
  // is 2^shift - 1 counts, from above as from below.
  struct Case {
    const char* legend;
    int32_t rate, input, settled;
  };
  const std::vector<Case> cases = {
      {"50 sps", 50, 1000000, 15},
      {"800 sps", 800, 1000000, 255},
      {"800 sps, negative", 800, -1000000, -255},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    Acquisition a;
    a.SampleRate = c.rate;
    InitHighPass(a);
    int32_t y = 0;
    for (int i = 0; i < 20000; ++i) y = HighPassStep(a, 0, c.input);
    EXPECT_EQ(y, c.settled);
  }
}

TEST(HighPass, ChannelsAreFilteredIndependently) {
  Acquisition a;
  a.SampleRate = 100;
  InitHighPass(a);
  std::vector<int32_t> first, third;
  for (int i = 0; i < 3; ++i) {
    first.push_back(HighPassStep(a, 0, 1000));
    HighPassStep(a, 1, 123456);
    third.push_back(HighPassStep(a, 2, -1000));
  }
  EXPECT_EQ(first, (std::vector<int32_t>{1000, 969, 939}));
  EXPECT_EQ(third, (std::vector<int32_t>{-1000, -969, -939}));
  // A channel the state has no room for passes its input through untouched.
  const auto before = a.HighPassState;
  EXPECT_EQ(HighPassStep(a, 3, 555), 555);
  EXPECT_EQ(HighPassStep(a, -1, 555), 555);
  EXPECT_EQ(a.HighPassState, before);
}

}  // namespace
}  // namespace voxa
