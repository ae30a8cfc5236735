// Whole conversions: the simulated device's stream is recorded by the run
// pipeline, the recording converted, and the archive read back by libmseed
// and by mseed2sac. The samples must be the device's counts at the GPS time of
// their second plus their place in it, and the records must carry the codes,
// paths, flags and timing quality the README documents.
#include <gtest/gtest.h>

#include <set>

#include "mseed/held_records.h"
#include "mseed/recording_converter.h"
#include "mseed_test_support.h"
#include "stream/separator.h"

namespace voxa::test {
namespace {

constexpr uint8_t kLockedFlag = 0x20;
constexpr uint8_t kQuestionableFlag = 0x80;

sim::SimOptions Device(int rate, int channels, sim::UtcTime start, int seconds) {
  sim::SimOptions o;
  o.rate = rate;
  o.channels = channels;
  o.start = start;
  o.durationSeconds = seconds;
  o.amplitude = 300000;
  o.noise = 40;
  o.seed = 11;
  o.deviceNumber = "015";
  o.bootLines = {"VOXA boot"};
  return o;
}

struct Converted {
  DeviceStream device;
  std::string recording;
  ConversionResult result;
  std::vector<ReadRecord> records;
};

Converted Convert(const sim::SimOptions& options, int screenSeconds, const ScratchDir& dir,
                  const CodeChoices& codes = {}) {
  Converted c;
  c.device = Generate(options);
  c.recording = Record(c.device.bytes, options, screenSeconds, dir);
  MseedSettings settings;
  settings.directory = dir.File("archive");
  settings.codes = codes;
  RecordingConverter converter(settings);
  c.result = converter.Convert(c.recording);
  EXPECT_TRUE(c.result.usable) << c.result.problem;
  c.records = ReadArchive(settings.directory);
  return c;
}

std::string Source(const std::string& channel) { return "XX_V015__" + channel; }

// What every archive must be: 512-byte records, Steim-2, each inside the UTC
// day of its file, the file named by the SDS layout after its first record.
void ExpectWellFormed(const std::vector<ReadRecord>& records) {
  ASSERT_FALSE(records.empty());
  for (const ReadRecord& r : records) {
    EXPECT_EQ(r.reclen, 512) << r.file;
    EXPECT_EQ(r.encoding, DE_STEIM2) << r.file;
    EXPECT_EQ(DayStart(r.start), DayStart(r.End() - 1)) << "a record crosses midnight in " << r.file;
    const UtcFields day = FieldsOf(r.start);
    char tail[16];
    std::snprintf(tail, sizeof tail, ".D.%04d.%03d", day.year, day.dayOfYear);
    EXPECT_TRUE(r.file.ends_with(tail)) << r.file << " holds a record of " << IsoText(r.start);
    EXPECT_TRUE(r.file.starts_with(std::to_string(day.year) + "/")) << r.file;
  }
}

// Both readers see exactly the device's samples at their times.
void ExpectDeviceSamples(const Converted& c, const std::vector<std::string>& channels, int rate,
                         const ScratchDir& dir) {
  for (size_t ch = 0; ch < channels.size(); ++ch) {
    const std::vector<TimedValue> read = SamplesOf(c.records, Source(channels[ch]));
    ASSERT_EQ(read.size(), c.device.channels[ch].size()) << channels[ch];
    for (size_t i = 0; i < read.size(); ++i) {
      ASSERT_EQ(read[i], c.device.channels[ch][i])
          << channels[ch] << " sample " << i << ": read " << IsoText(read[i].time) << " " << read[i].value
          << ", device " << IsoText(c.device.channels[ch][i].time) << " " << c.device.channels[ch][i].value;
    }
  }
  // The second reader, on channel 1.
  EXPECT_TRUE(SameSamples(SacSamples(Mseed2Sac(dir.File("archive"), channels[0], dir), rate),
                          Sorted(c.device.channels[0])));
}

// Records whose first sample lies in [from, to).
std::vector<const ReadRecord*> RecordsIn(const std::vector<ReadRecord>& records, const std::string& source,
                                         Micros from, Micros to) {
  std::vector<const ReadRecord*> found;
  for (const ReadRecord& r : records) {
    if (r.source == source && r.start >= from && r.start < to) found.push_back(&r);
  }
  return found;
}

TEST(MseedConversion, ThreeChannelsWithGpsEverySecondAreLockedAtFullQuality) {
  ScratchDir dir;
  const Converted c = Convert(Device(100, 3, {2026, 3, 7, 12, 0, 0}, 8), 4, dir);
  ExpectWellFormed(c.records);
  ExpectDeviceSamples(c, {"EHZ", "EHN", "EHE"}, 100, dir);
  for (const ReadRecord& r : c.records) {
    if (r.rate != 100) continue;
    EXPECT_EQ(r.ioFlags, kLockedFlag);
    EXPECT_EQ(r.dqFlags, 0);
    EXPECT_EQ(r.timingQuality, 100) << "7 satellites";
  }
  EXPECT_TRUE(fs::exists(dir.File("archive/2026/XX/V015/EHZ.D/XX.V015..EHZ.D.2026.066")));
  EXPECT_TRUE(c.result.finished);
  EXPECT_EQ(c.result.endTime.substr(0, 15), "E_TIME=12:00:07");

  // State of health: one value per second at whole seconds.
  const std::vector<TimedValue> quality = SamplesOf(c.records, Source("LCQ"));
  ASSERT_EQ(quality.size(), 8u);
  for (size_t s = 0; s < quality.size(); ++s) {
    EXPECT_EQ(quality[s].time, UtcOf({2026, 3, 7, 12, 0, static_cast<int>(s)}));
    EXPECT_EQ(quality[s].value, 100);
  }
  const std::vector<TimedValue> satellites = SamplesOf(c.records, Source("GNS"));
  ASSERT_EQ(satellites.size(), 8u);
  EXPECT_EQ(satellites[3].value, 7);
  // The shift of second s is 1234 + s units of 2.44140625 µs.
  const std::vector<TimedValue> phase = SamplesOf(c.records, Source("LCE"));
  ASSERT_EQ(phase.size(), 8u);
  EXPECT_EQ(phase[0].value, 3013);
  EXPECT_EQ(phase[4].value, 3022);
  for (const ReadRecord& r : c.records) {
    if (r.rate == 1) {
      EXPECT_FALSE(r.timingQuality.has_value()) << "state of health carries no timing blockette";
    }
  }
}

TEST(MseedConversion, DayFilesSplitAtUtcMidnightAndNewYear) {
  struct Row {
    sim::UtcTime start;
    std::string firstFile, secondFile;
  };
  for (const Row& row : {Row{{2026, 6, 30, 23, 59, 56}, "2026/XX/V015/DHZ.D/XX.V015..DHZ.D.2026.181",
                             "2026/XX/V015/DHZ.D/XX.V015..DHZ.D.2026.182"},
                         Row{{2024, 12, 31, 23, 59, 57}, "2024/XX/V015/DHZ.D/XX.V015..DHZ.D.2024.366",
                             "2025/XX/V015/DHZ.D/XX.V015..DHZ.D.2025.001"}}) {
    ScratchDir dir;
    const Converted c = Convert(Device(400, 1, row.start, 7), 2, dir);
    ExpectWellFormed(c.records);
    ExpectDeviceSamples(c, {"DHZ"}, 400, dir);
    std::set<std::string> files;
    for (const ReadRecord& r : c.records) {
      if (r.source == Source("DHZ")) files.insert(r.file);
    }
    EXPECT_EQ(files, (std::set<std::string>{row.firstFile, row.secondFile}));
    // The first record of the new day starts exactly at midnight.
    const Micros midnight = NextDayStart(UtcOf(row.start));
    EXPECT_EQ(RecordsIn(c.records, Source("DHZ"), midnight, midnight + 1).size(), 1u);
  }
}

TEST(MseedConversion, OneChannelAt800SpsStepsBy1250Microseconds) {
  ScratchDir dir;
  const Converted c = Convert(Device(800, 1, {2026, 3, 7, 12, 0, 0}, 5), 2, dir);
  ExpectWellFormed(c.records);
  ExpectDeviceSamples(c, {"DHZ"}, 800, dir);
  EXPECT_EQ(SamplesOf(c.records, Source("DHZ"))[3].time, UtcOf({2026, 3, 7, 12, 0, 0}) + 3750);
}

TEST(MseedConversion, ALateFixDatesTheFirstSamplesBackWithOrWithoutTheStartRecord) {
  struct Row {
    int withhold;
    int screenSeconds;
    bool startRecord;  // the first screen ended before the fix
  };
  for (const Row& row : {Row{5, 2, true}, Row{2, 4, false}}) {
    ScratchDir dir;
    sim::SimOptions device = Device(100, 1, {2026, 11, 2, 8, 15, 30}, 10);
    device.withholdGpsSeconds = row.withhold;
    const Converted c = Convert(device, row.screenSeconds, dir);
    ExpectWellFormed(c.records);
    ExpectDeviceSamples(c, {"EHZ"}, 100, dir);
    EXPECT_EQ(c.result.archive.dating.startRecordTime.has_value(), row.startRecord) << row.withhold;
    if (row.startRecord) {
      EXPECT_EQ(*c.result.archive.dating.startRecordTime, UtcOf(device.start));
    }
    EXPECT_EQ(c.result.archive.dating.backDatedBlocks, row.withhold * 100);
    // Dated back: neither locked nor questionable; from the fix on, locked.
    const Micros fix = UtcOf(device.start) + row.withhold * kMicrosPerSecond;
    for (const ReadRecord* r : RecordsIn(c.records, Source("EHZ"), 0, fix)) {
      EXPECT_EQ(r->ioFlags, 0);
      EXPECT_EQ(r->dqFlags, 0);
      EXPECT_EQ(r->timingQuality, 80);
    }
    for (const ReadRecord* r : RecordsIn(c.records, Source("EHZ"), fix, INT64_MAX)) {
      EXPECT_EQ(r->ioFlags, kLockedFlag);
      EXPECT_EQ(r->timingQuality, 100);
    }
  }
}

TEST(MseedConversion, InvalidBlocksLeaveOneSampleGapsAndFaultsGapsOrOverlapsAtTheirTime) {
  ScratchDir dir;
  sim::SimOptions device = Device(100, 3, {2026, 3, 7, 23, 59, 50}, 14);
  using sim::FaultKind;
  device.faults = {{FaultKind::kDropByte, 1, 3, 0},   {FaultKind::kExtraByte, 2, 7, 0},
                   {FaultKind::kBrokenGps, 4, 0, 0},  {FaultKind::kBlockCount, 6, 0, 150},
                   {FaultKind::kMissingMark, 8, 0, 0}, {FaultKind::kGpsJump, 10, 0, 2},
                   {FaultKind::kUnlistedRecord, 11, 4, 0}};
  const Converted c = Convert(device, 4, dir);
  ExpectWellFormed(c.records);
  ExpectDeviceSamples(c, {"EHZ", "EHN", "EHE"}, 100, dir);
  EXPECT_EQ(c.device.invalidBlocks, 2);
  EXPECT_EQ(c.result.archive.dating.invalidBlocks, 2);

  const ChannelReport& z = c.result.archive.channels.front();
  ASSERT_EQ(z.name.channel, "EHZ");
  // Two one-sample gaps, the overlap after the 150-block second, the GPS jump.
  ASSERT_EQ(z.stats.gaps, 3);
  ASSERT_EQ(z.stats.overlaps, 1);
  EXPECT_EQ(z.stats.discontinuities[0].size, 10000);
  EXPECT_EQ(z.stats.discontinuities[2].size, -500000);
  EXPECT_EQ(z.stats.discontinuities[3].size, 2 * kMicrosPerSecond);

  // The second whose GPS record broke is dated forward: questionable.
  const Micros t0 = UtcOf(device.start);
  const auto broken = RecordsIn(c.records, Source("EHZ"), t0 + 4 * kMicrosPerSecond, t0 + 5 * kMicrosPerSecond);
  ASSERT_FALSE(broken.empty());
  for (const ReadRecord* r : broken) {
    EXPECT_EQ(r->dqFlags, kQuestionableFlag);
    EXPECT_EQ(r->ioFlags, 0);
    EXPECT_EQ(r->timingQuality, 80);
  }
  for (const ReadRecord* r : RecordsIn(c.records, Source("EHZ"), t0, t0 + 4 * kMicrosPerSecond)) {
    EXPECT_EQ(r->dqFlags, 0);
    EXPECT_EQ(r->ioFlags, kLockedFlag);
  }
}

TEST(MseedConversion, WithoutGpsTheHeadersStartTimeDatesEverythingFlagged) {
  ScratchDir dir;
  sim::SimOptions device = Device(50, 3, {2026, 3, 7, 12, 0, 0}, 6);
  device.withholdGpsSeconds = 6;
  const Converted c = Convert(device, 2, dir);
  ExpectWellFormed(c.records);
  // The device's header states the start; so does the monitor's own at START.
  ExpectDeviceSamples(c, {"SHZ", "SHN", "SHE"}, 50, dir);
  for (const ReadRecord& r : c.records) {
    if (r.rate != 50) continue;
    EXPECT_EQ(r.dqFlags, kQuestionableFlag);
    EXPECT_EQ(r.ioFlags, 0);
    EXPECT_EQ(r.timingQuality, 0);
  }
  EXPECT_EQ(c.result.archive.dating.clockBlocks, 300);
  ASSERT_FALSE(c.result.notes.empty());
}

TEST(MseedConversion, TemperatureAndCodesAsConfigured) {
  ScratchDir dir;
  sim::SimOptions device = Device(200, 3, {2026, 3, 7, 12, 0, 0}, 4);
  device.temperature = true;
  device.temperatureText = "-03.5";
  CodeChoices codes;
  codes.network = "GR";
  codes.station = "BFO";
  codes.location = "00";
  codes.channels = {"HHZ", "HH1", "HH2"};
  const Converted c = Convert(device, 2, dir, codes);
  for (const char* file : {"2026/GR/BFO/HHZ.D/GR.BFO.00.HHZ.D.2026.066",
                                  "2026/GR/BFO/HH2.D/GR.BFO.00.HH2.D.2026.066",
                                  "2026/GR/BFO/LKI.D/GR.BFO.00.LKI.D.2026.066"}) {
    EXPECT_TRUE(fs::exists(fs::path(dir.File("archive")) / file)) << file;
  }
  const std::vector<TimedValue> temperature = SamplesOf(c.records, "GR_BFO_00_LKI");
  ASSERT_EQ(temperature.size(), 4u);
  EXPECT_EQ(temperature[2].value, -35);
  const std::vector<TimedValue> z = SamplesOf(c.records, "GR_BFO_00_HHZ");
  EXPECT_TRUE(SameSamples(z, c.device.channels[0]));
}

// Every file under root, relative to it, with its bytes.
std::map<std::string, std::vector<uint8_t>> ArchiveBytes(const std::string& root) {
  std::map<std::string, std::vector<uint8_t>> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), root).string()] = ReadFileBytes(entry.path().string());
  }
  return files;
}

// Records of one channel follow each other: none starts before the one
// before it ended.
void ExpectNoOverlap(const std::vector<ReadRecord>& records) {
  std::map<std::string, Micros> ends;
  for (const ReadRecord& r : records) {
    const auto end = ends.find(r.source);
    if (end != ends.end()) {
      EXPECT_GE(r.start, end->second) << r.source << " in " << r.file;
    }
    ends[r.source] = r.End();
  }
}

// The same data archived again is held once: a conversion, a replay into
// the archive it was archived in, and a station restarted after it was
// killed on a stream whose start its day files already hold.
TEST(MseedArchive, RecordsTheArchiveAlreadyHoldsAreNotWrittenAgain) {
  const sim::SimOptions device = Device(100, 3, {2026, 3, 7, 23, 59, 50}, 16);  // across UTC midnight
  {
    SCOPED_TRACE("converted twice");
    ScratchDir dir;
    const Converted first = Convert(device, 2, dir);
    EXPECT_EQ(first.result.archive.recordsHeld, 0);
    const auto before = ArchiveBytes(dir.File("archive"));
    MseedSettings settings;
    settings.directory = dir.File("archive");
    RecordingConverter again(settings);
    const ConversionResult second = again.Convert(first.recording);
    ASSERT_TRUE(second.usable);
    EXPECT_EQ(ArchiveBytes(dir.File("archive")), before);
    EXPECT_EQ(second.archive.recordsHeld, static_cast<int64_t>(first.records.size()));
    EXPECT_EQ(second.archive.recordsOverlapping, 0);
  }
  const DeviceStream stream = Generate(device);
  {
    SCOPED_TRACE("replayed twice");
    ScratchDir dir;
    const std::string recording = Record(stream.bytes, device, 2, dir);
    const std::vector<uint8_t> replayed = ReadFileBytes(recording);
    LiveArchive live;
    live.directory = dir.File("archive");
    live.utcStart = UtcOf(device.start);
    live.replay = true;
    Record(replayed, device, 2, dir, &live);
    const auto before = ArchiveBytes(live.directory);
    const size_t records = ReadArchive(live.directory).size();
    ASSERT_GT(records, 0u);
    EXPECT_EQ(live.report.recordsHeld, 0);
    Record(replayed, device, 2, dir, &live);
    EXPECT_EQ(ArchiveBytes(live.directory), before);
    EXPECT_EQ(live.report.recordsHeld, static_cast<int64_t>(records));
    const std::string said = "miniSEED: " + std::to_string(records) + " records the archive already held, not written again";
    EXPECT_EQ(std::count(live.bootLines.begin(), live.bootLines.end(), said), 1);
  }
  // Records are written as they fill (some 7 s of samples at 100 sps), so
  // the killed run leaves a few of them behind.
  const sim::SimOptions longer = Device(100, 3, {2026, 3, 7, 23, 59, 50}, 40);
  const DeviceStream longStream = Generate(longer);
  for (const size_t killedAfter : {longStream.bytes.size() / 2, longStream.bytes.size() * 3 / 4 + 11}) {
    SCOPED_TRACE("killed after " + std::to_string(killedAfter) + " bytes, then the whole stream");
    ScratchDir dir;
    LiveArchive whole;
    whole.directory = dir.File("whole");
    whole.utcStart = UtcOf(longer.start);
    Record(longStream.bytes, longer, 2, dir, &whole);

    LiveArchive killed = whole;
    killed.directory = dir.File("archive");
    killed.stopAfter = killedAfter;
    killed.killed = true;
    Record(longStream.bytes, longer, 2, dir, &killed);
    const size_t left = ReadArchive(killed.directory).size();
    ASSERT_GT(left, 0u) << ArchiveBytes(killed.directory).size() << " files";
    LiveArchive restarted = whole;
    restarted.directory = killed.directory;
    Record(longStream.bytes, longer, 2, dir, &restarted);

    EXPECT_EQ(restarted.report.recordsHeld, static_cast<int64_t>(left));
    EXPECT_EQ(restarted.report.recordsOverlapping, 0);
    // What a run that was never killed writes, byte for byte, and both
    // readers take it whole, every sample once.
    EXPECT_EQ(ArchiveBytes(restarted.directory), ArchiveBytes(whole.directory));
    const std::vector<ReadRecord> records = ReadArchive(restarted.directory);
    ExpectNoOverlap(records);
    const std::vector<TimedValue> z = SamplesOf(records, Source("EHZ"));
    EXPECT_TRUE(SameSamples(Sorted(z), Sorted(longStream.channels[0])));
    EXPECT_TRUE(SameSamples(SacSamples(Mseed2Sac(restarted.directory, "EHZ", dir), 100), Sorted(z)));
  }
}

// What a day file holds is learnt the same whatever pieces it is read in
// (a record cut between two pieces included). Bytes that are no record are
// passed over, and the record before them is not taken as held: it may be
// one the system cut short, whose header claims samples the file lacks.
TEST(MseedArchive, HeldRecordsAreTheSameInAnyPieces) {
  ScratchDir dir;
  const Converted early = Convert(Device(100, 1, {2026, 3, 7, 12, 0, 0}, 20), 2, dir);
  ScratchDir laterDir;
  const Converted later = Convert(Device(100, 1, {2026, 3, 7, 13, 0, 0}, 20), 2, laterDir);
  const std::string file = "2026/XX/V015/EHZ.D/XX.V015..EHZ.D.2026.066";
  std::vector<uint8_t> bytes = ReadFileBytes(dir.File("archive/" + file));
  const std::vector<uint8_t> laterBytes = ReadFileBytes(laterDir.File("archive/" + file));
  ASSERT_GE(bytes.size(), 2u * kRecordLength);
  ASSERT_GE(laterBytes.size(), kRecordLength);
  bytes.insert(bytes.begin() + kRecordLength, 300, 0x41);  // not a record
  bytes.insert(bytes.end(), 100, 0);                       // the start of one the system cut short
  for (const size_t piece : {size_t{1}, size_t{47}, size_t{511}, size_t{513}, size_t{4096}, bytes.size()}) {
    SCOPED_TRACE(piece);
    HeldRecords held;
    for (size_t at = 0; at < bytes.size(); at += piece) held.Take(bytes.data() + at, std::min(piece, bytes.size() - at));
    held.Finish();
    EXPECT_EQ(held.Spans(), 1u);
    for (size_t at = 0; at + kRecordLength <= bytes.size(); at += kRecordLength) {
      if (at == kRecordLength) at += 300;
      EXPECT_EQ(held.Judge(bytes.data() + at, kRecordLength),
                at == 0 ? HeldRecords::Verdict::New : HeldRecords::Verdict::Held)
          << at;
    }
    EXPECT_EQ(held.Judge(laterBytes.data(), kRecordLength), HeldRecords::Verdict::New);
  }
}

// A record the file holds only part of is written whole: its new samples
// are kept, and the overlap is counted.
TEST(MseedArchive, ARecordTheFileHoldsPartOfIsWrittenWhole) {
  ScratchDir dir;
  const sim::SimOptions device = Device(100, 1, {2026, 3, 7, 12, 0, 0}, 20);
  const DeviceStream stream = Generate(device);
  LiveArchive stopped;
  stopped.directory = dir.File("archive");
  stopped.utcStart = UtcOf(device.start);
  stopped.stopAfter = stream.bytes.size() / 2;  // STOP writes each channel's last, shorter record
  Record(stream.bytes, device, 2, dir, &stopped);
  LiveArchive again = stopped;
  again.stopAfter = SIZE_MAX;
  Record(stream.bytes, device, 2, dir, &again);
  EXPECT_GT(again.report.recordsHeld, 0);
  EXPECT_GT(again.report.recordsOverlapping, 0);
  EXPECT_NE(HeldRecordsText(again.report).find("partly held, written whole"), std::string::npos);
  // Nothing the device sent is missing.
  std::vector<TimedValue> z = Sorted(SamplesOf(ReadArchive(again.directory), Source("EHZ")));
  z.erase(std::unique(z.begin(), z.end(), [](const TimedValue& a, const TimedValue& b) { return a.time == b.time; }),
          z.end());
  EXPECT_TRUE(SameSamples(z, Sorted(stream.channels[0])));
}

// The live archive the run pipeline writes during a run against the archive
// converted from that run's recording: the same samples at the same times
// in every channel, data and state of health. The computer's clock at START
// agrees with the device's stated start, so a run without GPS is dated
// alike by both.
TEST(MseedLive, TheLiveArchiveHoldsTheSameSamplesAtTheSameTimesAsTheConvertedOne) {
  struct Row {
    const char* name;
    sim::SimOptions device;
    int screenSeconds;
  };
  sim::SimOptions lateFix = Device(200, 3, {2026, 3, 7, 23, 59, 55}, 9);
  lateFix.withholdGpsSeconds = 4;  // after the first screen: the recording's start record is rewritten
  sim::SimOptions noGps = Device(50, 3, {2026, 3, 7, 12, 0, 0}, 6);
  noGps.withholdGpsSeconds = 6;  // the start record stays a placeholder
  sim::SimOptions faults = Device(100, 3, {2026, 3, 7, 12, 0, 0}, 12);
  faults.temperature = true;
  using sim::FaultKind;
  faults.faults = {{FaultKind::kDropByte, 1, 3, 0},   {FaultKind::kExtraByte, 2, 7, 0},
                   {FaultKind::kBrokenGps, 3, 0, 0},  {FaultKind::kBlockCount, 5, 0, 120},
                   {FaultKind::kMissingMark, 7, 0, 0}, {FaultKind::kGpsJump, 9, 0, 2},
                   {FaultKind::kUnlistedRecord, 10, 4, 0}};
  const Row rows[] = {{"late fix", lateFix, 2},
                      {"no GPS", noGps, 2},
                      {"invalid blocks and faults", faults, 4},
                      {"1 channel at 800 sps", Device(800, 1, {2026, 3, 7, 12, 0, 0}, 5), 2}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScratchDir dir;
    const DeviceStream device = Generate(row.device);
    LiveArchive live;
    live.directory = dir.File("live");
    live.startClock = {row.device.start.year, row.device.start.month, row.device.start.day,
                       row.device.start.hour, row.device.start.minute, row.device.start.second};
    live.utcStart = UtcOf(row.device.start);
    const std::string recording = Record(device.bytes, row.device, row.screenSeconds, dir, &live);
    MseedSettings settings;
    settings.directory = dir.File("converted");
    RecordingConverter converter(settings);
    const ConversionResult converted = converter.Convert(recording);
    ASSERT_TRUE(converted.usable) << converted.problem;

    const std::vector<ReadRecord> liveRecords = ReadArchive(live.directory);
    const std::vector<ReadRecord> convertedRecords = ReadArchive(settings.directory);
    std::set<std::string> sources;
    for (const ReadRecord& r : convertedRecords) sources.insert(r.source);
    for (const ReadRecord& r : liveRecords) sources.insert(r.source);
    EXPECT_GE(sources.size(), static_cast<size_t>(row.device.channels + 2));
    for (const std::string& source : sources) {
      EXPECT_TRUE(SameSamples(SamplesOf(liveRecords, source), SamplesOf(convertedRecords, source))) << source;
      // Record by record: the same start times.
      std::vector<Micros> liveStarts;
      std::vector<Micros> convertedStarts;
      for (const ReadRecord& r : liveRecords) {
        if (r.source == source) liveStarts.push_back(r.start);
      }
      for (const ReadRecord& r : convertedRecords) {
        if (r.source == source) convertedStarts.push_back(r.start);
      }
      EXPECT_EQ(liveStarts, convertedStarts) << source;
    }
    // And both hold what the device sent.
    const std::string z = row.device.channels == 1 ? "DHZ" : std::string(1, BandCode(row.device.rate)) + "HZ";
    EXPECT_TRUE(SameSamples(Sorted(SamplesOf(liveRecords, Source(z))), Sorted(device.channels[0]))) << z;
  }
}

// STOP after any number of bytes leaves an archive both readers take whole:
// every record in it is complete, and it holds exactly the samples the
// device sent up to there that could be dated.
TEST(MseedLive, StopAtAnyMomentLeavesAnArchiveLibmseedAndMseed2sacRead) {
  const sim::SimOptions options = Device(100, 3, {2026, 3, 7, 12, 0, 0}, 6);
  const DeviceStream device = Generate(options);
  for (const size_t stopAfter : {size_t{700}, device.bytes.size() / 3, device.bytes.size() / 2 + 17,
                                 device.bytes.size() - 5}) {
    SCOPED_TRACE(stopAfter);
    ScratchDir dir;
    LiveArchive live;
    live.directory = dir.File("archive");
    live.utcStart = UtcOf(options.start);
    live.stopAfter = stopAfter;
    Record(device.bytes, options, 2, dir, &live);
    const std::vector<ReadRecord> records = ReadArchive(live.directory);
    ASSERT_FALSE(records.empty());
    const std::vector<TimedValue> z = SamplesOf(records, Source("EHZ"));
    ASSERT_FALSE(z.empty());
    ASSERT_LE(z.size(), device.channels[0].size());
    // A prefix of what the device sent, at the device's times.
    EXPECT_TRUE(SameSamples(z, std::vector<TimedValue>(device.channels[0].begin(),
                                                       device.channels[0].begin() + static_cast<long>(z.size()))));
    EXPECT_TRUE(SameSamples(SacSamples(Mseed2Sac(live.directory, "EHZ", dir), 100), Sorted(z)));
  }
}

}  // namespace
}  // namespace voxa::test
