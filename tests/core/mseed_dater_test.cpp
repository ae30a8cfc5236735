// The sample dater: sample times, timing quality and flags, and the state of
// health by the dating rule, driven block by block through its interface.
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <vector>

#include "mseed/dater.h"
#include "mseed/utc_time.h"
#include "tools/sim_stream.h"

namespace voxa::test {
namespace {

constexpr Micros kSecond = kMicrosPerSecond;
const Micros kT0 = *UtcInstant(2026, 3, 7, 12, 0, 0);
const Micros kClock = *UtcInstant(2026, 3, 7, 13, 30, 15);

struct Sample {
  Micros time = 0;
  int32_t value = 0;  // channel 1
  TimeQuality quality;
};

// Keeps every dated sample of channel 1 and checks the other channels follow it.
class Collector : public DatedSink {
 public:
  explicit Collector(int32_t channels) : channels_(channels) {}
  void OnDatedFrames(Micros start, const int32_t* frames, int32_t count, const TimeQuality& quality) override {
    ++runs;
    for (int32_t i = 0; i < count; ++i) {
      const int32_t value = frames[i * channels_];
      for (int32_t ch = 1; ch < channels_; ++ch) EXPECT_EQ(frames[i * channels_ + ch], value + ch);
      samples.push_back({start + i * interval, value, quality});
    }
  }
  void OnSecondOfHealth(const SecondOfHealth& h) override { health.push_back(h); }

  Micros interval = 0;
  int runs = 0;
  std::vector<Sample> samples;
  std::vector<SecondOfHealth> health;

 private:
  int32_t channels_;
};

// Feeds a dater block by block: block number n carries the value 10 n on
// channel 1 (10 n + 1, 10 n + 2 on the others), so every sample says which
// block it came from.
class Rig {
 public:
  Rig(int32_t rate, int32_t channels, bool recording = false, int32_t holdSeconds = 600)
      : collector(channels), dater(collector), rate_(rate), channels_(channels) {
    collector.interval = SampleInterval(rate);
    DaterSettings settings;
    settings.format = {rate, channels};
    settings.computerClock = kClock;
    settings.readingRecording = recording;
    settings.holdSeconds = holdSeconds;
    dater.Start(settings);
  }

  void Block(bool mark, bool valid = true) {
    std::vector<uint8_t> bytes{mark ? kMarkerSecondBlock : kMarkerBlock};
    for (int32_t ch = 0; ch < channels_; ++ch) {
      const auto encoded = sim::EncodeSample(static_cast<int32_t>(blocks * 10 + ch));
      bytes.insert(bytes.end(), encoded.begin(), encoded.end());
    }
    if (!valid) bytes.pop_back();
    SampleBlock block;
    block.marker = bytes[0];
    block.payload = Bytes(bytes.data() + 1, bytes.size() - 1);
    block.valid = valid;
    block.bytes = Bytes(bytes.data(), bytes.size());
    dater.OnBlock(block);
    ++blocks;
  }
  void Blocks(int32_t count) {
    for (int32_t i = 0; i < count; ++i) Block(false);
  }

  // One second as the device sends it: a mark, `blocks` blocks, and after
  // the tenth the GPS record (time, 7 satellites) and the shift record.
  struct Second {
    std::optional<Micros> gps = std::nullopt;
    int32_t blocks = -1;        // the rate
    bool mark = true;
    int32_t invalidBlock = -1;  // block of the second sent invalid
    int32_t shift = 100;
  };
  void Send(const Second& s) {
    const int32_t count = s.blocks < 0 ? rate_ : s.blocks;
    for (int32_t i = 0; i < count; ++i) {
      Block(i == 0 && s.mark, i != s.invalidBlock);
      if (i == 9) {
        if (s.gps) dater.OnSoundGps(*s.gps, 7);
        dater.OnShift(s.shift);
      }
    }
  }

  // The sample block n gave, or nullptr when it gave none.
  const Sample* Of(int64_t n) const {
    for (const Sample& s : collector.samples) {
      if (s.value == n * 10) return &s;
    }
    return nullptr;
  }

  Collector collector;
  SampleDater dater;
  int64_t blocks = 0;

 private:
  int32_t rate_;
  int32_t channels_;
};

constexpr TimeQuality kLocked{100, true, false};

TEST(MseedDater, EachSoundGpsRecordDatesItsMarkAndTheSecondFollowsAtTheSampleInterval) {
  Rig rig(100, 3);
  for (int s = 0; s < 3; ++s) rig.Send({.gps = kT0 + s * kSecond, .shift = 100 + s});
  rig.dater.Finish();

  ASSERT_EQ(rig.collector.samples.size(), 300u);
  for (int64_t n = 0; n < 300; ++n) {
    const Sample& s = rig.collector.samples[static_cast<size_t>(n)];
    EXPECT_EQ(s.value, n * 10);
    EXPECT_EQ(s.time, kT0 + n * 10000) << n;
    EXPECT_EQ(s.quality, kLocked) << n;
  }
  // Handed on in few pieces, not block by block.
  EXPECT_LE(rig.collector.runs, 6);
  // One second of state of health per mark, at its whole second.
  ASSERT_EQ(rig.collector.health.size(), 3u);
  for (size_t s = 0; s < 3; ++s) {
    const SecondOfHealth& h = rig.collector.health[s];
    EXPECT_EQ(h.time, kT0 + static_cast<Micros>(s) * kSecond);
    EXPECT_EQ(h.timingQuality, 100);
    EXPECT_EQ(h.shiftMicros, static_cast<int32_t>(100 + s));
    EXPECT_EQ(h.satellites, 7);
    EXPECT_FALSE(h.temperatureTenths.has_value());
  }
  EXPECT_EQ(rig.dater.Counts().gpsMarks, 3);
  EXPECT_EQ(rig.dater.Counts().firstSampleTime, kT0);
}

TEST(MseedDater, SamplesBeforeTheFirstFixAreDatedBackFromIt) {
  // The stream starts 30 blocks before a mark; GPS comes in the fourth second.
  Rig rig(100, 1);
  rig.Blocks(30);
  for (int s = 0; s < 3; ++s) rig.Send({});
  EXPECT_TRUE(rig.collector.samples.empty()) << "nothing can be dated before the first fix";
  rig.Send({.gps = kT0 + 3 * kSecond});
  rig.Send({.gps = kT0 + 4 * kSecond});
  rig.dater.Finish();

  ASSERT_EQ(rig.collector.samples.size(), 530u);
  EXPECT_EQ(rig.Of(0)->time, kT0 - 300000);
  EXPECT_EQ(rig.Of(30)->time, kT0);
  EXPECT_EQ(rig.Of(329)->time, kT0 + 3 * kSecond - 10000);
  // Back-dated: neither locked nor questionable, quality by the distance to the fix.
  EXPECT_EQ(rig.Of(0)->quality, (TimeQuality{80, false, false}));
  EXPECT_EQ(rig.Of(330)->quality, kLocked);
  EXPECT_EQ(rig.dater.Counts().backDatedBlocks, 330);
  // The seconds before the fix have their shift, no satellites.
  ASSERT_EQ(rig.collector.health.size(), 5u);
  EXPECT_EQ(rig.collector.health[0].time, kT0);
  EXPECT_EQ(rig.collector.health[0].shiftMicros, 100);
  EXPECT_FALSE(rig.collector.health[0].satellites.has_value());
  EXPECT_EQ(rig.collector.health[3].satellites, 7);
}

TEST(MseedDater, BlocksLostBeforeTheFirstFixLeaveAGapAtTheirSecondNotAShift) {
  // The line lost 30 blocks of the first second; the fix comes in the third.
  Rig rig(100, 1);
  rig.Send({.blocks = 70});
  rig.Send({});
  rig.Send({.gps = kT0 + 2 * kSecond});
  rig.dater.Finish();
  EXPECT_EQ(rig.Of(0)->time, kT0) << "the first mark keeps its whole second";
  EXPECT_EQ(rig.Of(69)->time, kT0 + 690000);
  EXPECT_EQ(rig.Of(70)->time, kT0 + kSecond);
  EXPECT_EQ(rig.collector.health[0].time, kT0);
}

TEST(MseedDater, ASecondWithoutSoundGpsIsDatedForwardAndFlagged) {
  Rig rig(100, 1);
  rig.Send({.gps = kT0});
  rig.Send({});  // the GPS record of this second was broken
  rig.Send({.gps = kT0 + 2 * kSecond});
  rig.dater.Finish();

  ASSERT_EQ(rig.collector.samples.size(), 300u);
  for (int64_t n = 100; n < 200; ++n) {
    EXPECT_EQ(rig.Of(n)->time, kT0 + n * 10000);
    EXPECT_EQ(rig.Of(n)->quality, (TimeQuality{80, false, true}));
  }
  EXPECT_EQ(rig.Of(200)->quality, kLocked);
  EXPECT_EQ(rig.collector.health[1].timingQuality, 80);
  EXPECT_EQ(rig.dater.Counts().forwardMarks, 1);
}

TEST(MseedDater, AnInvalidBlockLeavesOneSampleGapAndShiftsNothing) {
  Rig rig(100, 3);
  rig.Send({.gps = kT0, .invalidBlock = 5});
  rig.Send({.gps = kT0 + kSecond});
  rig.dater.Finish();

  ASSERT_EQ(rig.collector.samples.size(), 199u);
  EXPECT_EQ(rig.Of(5), nullptr);
  EXPECT_EQ(rig.Of(4)->time, kT0 + 40000);
  EXPECT_EQ(rig.Of(6)->time, kT0 + 60000);
  EXPECT_EQ(rig.dater.Counts().invalidBlocks, 1);
}

// A second with the wrong number of blocks: the next mark keeps its GPS time,
// so the surplus overlaps it, or the shortfall leaves a gap before it.
struct CountCase {
  int32_t blocks;
  int64_t lastOfSecond;  // time of the second's last sample, in 10 ms from kT0
};

class MseedDaterBlockCount : public ::testing::TestWithParam<CountCase> {};

TEST_P(MseedDaterBlockCount, BecomesAGapOrAnOverlapAtTheNextMark) {
  const CountCase c = GetParam();
  Rig rig(100, 1);
  rig.Send({.gps = kT0, .blocks = c.blocks});
  rig.Send({.gps = kT0 + kSecond});
  rig.Send({.gps = kT0 + 2 * kSecond});
  rig.dater.Finish();

  EXPECT_EQ(rig.Of(c.blocks - 1)->time, kT0 + c.lastOfSecond * 10000);
  EXPECT_EQ(rig.Of(c.blocks)->time, kT0 + kSecond) << "the next mark is at its GPS time";
  EXPECT_EQ(rig.Of(c.blocks + 100)->time, kT0 + 2 * kSecond) << "no drift";
  // Samples counted past their second are flagged.
  EXPECT_EQ(rig.Of(c.blocks - 1)->quality.questionable, c.blocks > 100);
}

INSTANTIATE_TEST_SUITE_P(Counts, MseedDaterBlockCount,
                         ::testing::Values(CountCase{150, 149}, CountCase{50, 49}, CountCase{99, 98},
                                           CountCase{101, 100}));

TEST(MseedDater, ALostMarkKeepsTheCountAndTheNextMarkItsTime) {
  Rig rig(100, 1);
  rig.Send({.gps = kT0});
  // The mark is lost: the GPS record of this second comes 110 blocks after
  // the last mark and cannot date it.
  rig.Send({.gps = kT0 + kSecond, .mark = false});
  rig.Send({.gps = kT0 + 2 * kSecond});
  rig.dater.Finish();

  for (int64_t n : {0, 99, 100, 150, 199, 200, 299}) EXPECT_EQ(rig.Of(n)->time, kT0 + n * 10000) << n;
  EXPECT_TRUE(rig.Of(150)->quality.questionable);
  EXPECT_EQ(rig.Of(200)->quality, kLocked);
  EXPECT_EQ(rig.dater.Counts().marks, 2);
  EXPECT_EQ(rig.dater.Counts().gpsMarks, 2);
}

TEST(MseedDater, AMarkAfterLostSecondsIsDatedForwardByTheWholeSecondsOfBlocks) {
  Rig rig(100, 1);
  rig.Send({.gps = kT0});
  rig.Send({.mark = false});
  rig.Send({});  // no GPS: dated forward over the two seconds of blocks
  rig.dater.Finish();
  EXPECT_EQ(rig.Of(200)->time, kT0 + 2 * kSecond);
  EXPECT_EQ(rig.Of(200)->quality, (TimeQuality{80, false, true}));
}

TEST(MseedDater, WithoutGpsTheComputersClockDatesEverySampleFlagged) {
  Rig rig(50, 1);
  rig.Blocks(7);
  rig.Send({});
  rig.Send({});
  rig.dater.Finish();

  ASSERT_EQ(rig.collector.samples.size(), 107u);
  for (int64_t n = 0; n < 107; ++n) {
    EXPECT_EQ(rig.Of(n)->time, kClock + n * 20000);
    EXPECT_EQ(rig.Of(n)->quality, (TimeQuality{0, false, true}));
  }
  EXPECT_EQ(rig.dater.Counts().clockBlocks, 107);
  ASSERT_EQ(rig.collector.health.size(), 2u);
  EXPECT_EQ(rig.collector.health[0].timingQuality, 0);
}

TEST(MseedDater, AFirstFixLaterThanTheWaitGoesOnFromTheClockToGps) {
  Rig rig(100, 1, false, 2);
  rig.Send({});
  rig.Send({});
  // The wait is over: what came so far is out under the clock, but for the
  // open second, which may still get its GPS record.
  EXPECT_EQ(rig.collector.samples.size(), 100u);
  EXPECT_EQ(rig.Of(0)->time, kClock);
  rig.Send({});
  rig.Send({.gps = kT0});
  rig.Send({.gps = kT0 + kSecond});
  rig.dater.Finish();
  EXPECT_EQ(rig.Of(299)->time, kClock + 299 * 10000);
  EXPECT_EQ(rig.Of(300)->time, kT0);
  EXPECT_EQ(rig.Of(300)->quality, kLocked);
  EXPECT_EQ(rig.Of(499)->time, kT0 + kSecond + 990000);
}

TEST(MseedDater, OneChannelAt800SpsStepsBy1250Microseconds) {
  Rig rig(800, 1);
  rig.Send({.gps = kT0});
  rig.Send({.gps = kT0 + kSecond});
  rig.dater.Finish();
  ASSERT_EQ(rig.collector.samples.size(), 1600u);
  EXPECT_EQ(rig.Of(1)->time, kT0 + 1250);
  EXPECT_EQ(rig.Of(1599)->time, kT0 + 1599 * 1250);
}

// The monitor's start record after a late first fix, as a recording holds
// it: the first 11 blocks (the tenth after the mark is where the device's
// records come), the start record with the fix moved back 3 s, the settled
// shift, and the real fix 3 s of blocks less one later.
void SendLateFixRecording(Rig& rig, Micros startRecord, bool realFix) {
  rig.Blocks(0);
  rig.Block(true);
  rig.Blocks(10);
  rig.dater.OnSoundGps(startRecord, 6);
  rig.dater.OnShift(999);  // settled after the fix: not this second's
  rig.Blocks(89);
  rig.Send({});
  rig.Send({});
  if (realFix) {
    rig.Send({.gps = kT0 + 3 * kSecond});
    rig.Send({.gps = kT0 + 4 * kSecond});
  } else {
    rig.Send({});
  }
}

TEST(MseedDater, ARecordingsStartRecordIsToldFromTheDevicesRecordsAndNeverDatesAMark) {
  Rig rig(100, 1, true);
  SendLateFixRecording(rig, kT0, true);
  rig.dater.Finish();

  EXPECT_EQ(rig.dater.Counts().startRecordTime, kT0);
  EXPECT_EQ(rig.dater.Counts().gpsMarks, 2);
  // Dated back from the real fix, which agrees with the start record here.
  EXPECT_EQ(rig.Of(0)->time, kT0);
  EXPECT_EQ(rig.Of(0)->quality.questionable, false);
  EXPECT_EQ(rig.Of(299)->time, kT0 + 2990000);
  ASSERT_FALSE(rig.collector.health.empty());
  EXPECT_NE(rig.collector.health[0].shiftMicros, 999);
}

TEST(MseedDater, ARecordingsStartRecordAloneDatesTheFirstSampleFlagged) {
  Rig rig(100, 1, true);
  SendLateFixRecording(rig, kT0 - 5 * kSecond, false);
  rig.dater.Finish();
  EXPECT_EQ(rig.Of(0)->time, kT0 - 5 * kSecond);
  EXPECT_EQ(rig.Of(0)->quality, (TimeQuality{80, false, true}));
  EXPECT_EQ(rig.dater.Counts().startRecordBlocks, 400);
}

TEST(MseedDater, InARecordingTheDevicesFirstRecordStillDatesItsMark) {
  Rig rig(100, 1, true);
  for (int s = 0; s < 3; ++s) rig.Send({.gps = kT0 + s * kSecond, .shift = 100 + s});
  rig.dater.Finish();
  EXPECT_FALSE(rig.dater.Counts().startRecordTime.has_value());
  EXPECT_EQ(rig.Of(0)->time, kT0);
  EXPECT_EQ(rig.Of(0)->quality, kLocked);
  EXPECT_EQ(rig.collector.health[0].shiftMicros, 100) << "its shift counts once the record proves the device's";
  EXPECT_EQ(rig.collector.health[0].satellites, 7);
}

TEST(MseedDater, TemperatureGoesIntoItsSecondsStateOfHealth) {
  Rig rig(100, 1);
  rig.Block(true);
  rig.dater.OnTemperature(235);
  rig.Blocks(9);
  rig.dater.OnSoundGps(kT0, 3);
  rig.Blocks(90);
  rig.Send({.gps = kT0 + kSecond});
  rig.dater.Finish();
  ASSERT_EQ(rig.collector.health.size(), 2u);
  EXPECT_EQ(rig.collector.health[0].temperatureTenths, 235);
  EXPECT_EQ(rig.collector.health[0].timingQuality, 90) << "3 satellites";
  EXPECT_FALSE(rig.collector.health[1].temperatureTenths.has_value());
}

TEST(MseedDater, QualityBySatellitesAndByTheAgeOfTheLastFix) {
  const std::vector<std::pair<int32_t, uint8_t>> satellites = {{12, 100}, {4, 100}, {3, 90}, {2, 80}, {1, 70}, {0, 60}};
  for (const auto& [count, quality] : satellites) EXPECT_EQ(SatelliteQuality(count), quality) << count;
  const std::vector<std::pair<int64_t, uint8_t>> ages = {{1, 80},   {10, 80},   {11, 70},   {60, 70},  {61, 60},
                                                         {600, 60}, {601, 50}, {3600, 50}, {3601, 40}};
  for (const auto& [age, quality] : ages) EXPECT_EQ(AgeQuality(age), quality) << age;
}

}  // namespace
}  // namespace voxa::test
