// The channel packer and the day files, read back by libmseed: encodings,
// records closed at a change of quality, records as they fill, and a
// converter's answers to files that are not (whole) recordings.
#include <gtest/gtest.h>

#include <numeric>

#include "mseed/archive.h"
#include "mseed/packer.h"
#include "mseed/recording_converter.h"
#include "mseed_test_support.h"

namespace voxa::test {
namespace {

const Micros kT0 = *UtcInstant(2026, 3, 7, 12, 0, 0);

// Records straight into day files under root, as MseedStream files them.
class FileSink : public PackedRecordSink {
 public:
  FileSink(const std::string& root, const ChannelName& name) : files_(root, true), name_(name) {}
  void OnPackedRecord(int32_t channel, Micros dayStart, const uint8_t* record, size_t length) override {
    ++records;
    files_.Append(static_cast<size_t>(channel), SdsPath(name_, dayStart), record, length);
  }
  void Close() { files_.CloseAll(); }
  int records = 0;

 private:
  DayFiles files_;
  ChannelName name_;
};

const ChannelName kName{"XX", "V015", "", "EHZ"};

TEST(MseedPacker, DifferencesSteim2CannotHoldFallBackToSteim1OrIntegers) {
  struct Row {
    std::vector<int32_t> values;
    int encoding;
  };
  // 24-bit counts always fit Steim-2; a wider difference needs Steim-1 (whose
  // 32-bit differences wrap as the decoder's sums do, so it holds any value).
  const std::vector<Row> rows = {
      {{0, 8388607, -8388608, 8388607}, DE_STEIM2},
      {{0, 1 << 30, 0, 1 << 30}, DE_STEIM1},
      {{0, 1 << 30, INT32_MIN, INT32_MAX, -(1 << 29)}, DE_STEIM1},
  };
  for (const Row& row : rows) {
    ScratchDir dir;
    FileSink sink(dir.Path(), kName);
    ChannelPacker packer;
    packer.Open(kName, 100, true, sink, 0);
    packer.Append(kT0, row.values.data(), static_cast<int32_t>(row.values.size()), 1, {100, true, false});
    packer.Close();
    sink.Close();
    const std::vector<ReadRecord> records = ReadArchive(dir.Path());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].encoding, row.encoding);
    EXPECT_EQ(records[0].samples, row.values);
    EXPECT_EQ(records[0].start, kT0);
  }
}

TEST(MseedPacker, RecordsGoOutAsTheyFillAndCloseAtAChangeOfQualityOrAGap) {
  ScratchDir dir;
  FileSink sink(dir.Path(), kName);
  ChannelPacker packer;
  packer.Open(kName, 100, true, sink, 0);
  std::vector<int32_t> values(3000);
  std::iota(values.begin(), values.end(), 0);
  for (int32_t& v : values) v = (v * 7919) % 100000;

  // Full records leave while samples still come; the rest waits.
  packer.Append(kT0, values.data(), 1000, 1, {100, true, false});
  EXPECT_GE(sink.records, 1);
  const int beforeChange = sink.records;
  // Dated forward from here: the record in progress closes.
  packer.Append(kT0 + 10 * kMicrosPerSecond, values.data() + 1000, 500, 1, {80, false, true});
  EXPECT_GT(sink.records, beforeChange);
  // A gap of one sample closes the next.
  packer.Append(kT0 + 15 * kMicrosPerSecond + 10000, values.data() + 1500, 500, 1, {80, false, true});
  packer.Close();
  sink.Close();

  const std::vector<ReadRecord> records = ReadArchive(dir.Path());
  std::vector<int32_t> read;
  for (const ReadRecord& r : records) {
    read.insert(read.end(), r.samples.begin(), r.samples.end());
    const bool forward = r.start >= kT0 + 10 * kMicrosPerSecond;
    EXPECT_EQ(r.timingQuality, forward ? 80 : 100);
    EXPECT_EQ(r.ioFlags, forward ? 0x00 : 0x20);
    EXPECT_EQ(r.dqFlags, forward ? 0x80 : 0x00);
    EXPECT_LE(r.End(), forward ? INT64_MAX : kT0 + 10 * kMicrosPerSecond) << "no record spans the change";
  }
  EXPECT_EQ(read, std::vector<int32_t>(values.begin(), values.begin() + 2000));
  const ChannelStats& stats = packer.Stats();
  EXPECT_EQ(stats.samples, 2000);
  EXPECT_EQ(stats.gaps, 1) << "the quality change alone is no gap";
  EXPECT_EQ(stats.overlaps, 0);
}

TEST(MseedPacker, StateOfHealthRecordsCarryNoTimingBlockette) {
  ScratchDir dir;
  const ChannelName name{"XX", "V015", "", "LCQ"};
  FileSink sink(dir.Path(), name);
  ChannelPacker packer;
  packer.Open(name, 1, false, sink, 0);
  const int32_t values[] = {100, 100, 80};
  packer.Append(kT0, values, 3, 1, {80, false, true});
  packer.Close();
  sink.Close();
  const std::vector<ReadRecord> records = ReadArchive(dir.Path());
  ASSERT_EQ(records.size(), 1u);
  EXPECT_FALSE(records[0].timingQuality.has_value());
  EXPECT_EQ(records[0].dqFlags, 0);
  EXPECT_EQ(records[0].rate, 1.0);
  EXPECT_TRUE(records[0].file.ends_with("2026/XX/V015/LCQ.D/XX.V015..LCQ.D.2026.066"));
}

TEST(MseedPacker, AFileThatCannotBeWrittenIsReportedNotIgnored) {
  ScratchDir dir;
  // A plain file where the year's directory would be.
  { std::ofstream(dir.File("2026")) << "x"; }
  FileSink sink(dir.Path(), kName);
  ChannelPacker packer;
  packer.Open(kName, 100, true, sink, 0);
  const int32_t values[] = {1, 2, 3};
  packer.Append(kT0, values, 3, 1, {100, true, false});
  EXPECT_THROW(packer.Close(), ArchiveError);
  EXPECT_FALSE(packer.IsOpen());
}

std::vector<uint8_t>::const_iterator HeaderEnd(const std::vector<uint8_t>& recording) {
  return std::find_if(recording.begin() + 1, recording.end(), [](uint8_t b) { return b >= 0x80; });
}

// Files the converter must refuse or convert only in part.
TEST(MseedConverter, FilesThatAreNotWholeRecordingsGetAClearAnswer) {
  ScratchDir dir;
  const std::vector<uint8_t> recording =
      ReadFileBytes(std::string(VOXA_TEST_DATA_DIR) + "/corpus/rate-100-3ch/recording.bin");
  ASSERT_GT(recording.size(), 2000u);
  auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(dir.File(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return dir.File(name);
  };
  struct Row {
    std::string name;
    std::vector<uint8_t> bytes;
    bool usable;
    std::string says;  // part of the problem or of a note
  };
  const std::vector<Row> rows = {
      {"empty", {}, false, "empty"},
      {"text", {'h', 'e', 'l', 'l', 'o'}, false, "does not begin with the header record"},
      {"raw-stream", {0x90, 1, 2, 3, 4, 0x80, 1, 2, 3, 4}, false, "does not begin with the header record"},
      {"no-items", {0xF0, 'a', 'b', 0x90, 1, 2, 3, 4}, false, "no KEY=value"},
      {"header-only", std::vector<uint8_t>(recording.begin(), HeaderEnd(recording)), false, "no sample blocks"},
      {"cut-short", std::vector<uint8_t>(recording.begin(), recording.begin() + recording.size() / 2 + 3), true,
       "does not end with the end byte"},
      {"whole", recording, true, ""},
  };
  for (const Row& row : rows) {
    MseedSettings settings;
    settings.directory = dir.File("archive-" + row.name);
    RecordingConverter converter(settings);
    const ConversionResult result = converter.Convert(write(row.name, row.bytes));
    EXPECT_EQ(result.usable, row.usable) << row.name << ": " << result.problem;
    std::string said = result.problem;
    for (const std::string& note : result.notes) said += "\n" + note;
    EXPECT_NE(said.find(row.says), std::string::npos) << row.name << ": " << said;
    if (row.usable) {
      EXPECT_EQ(result.archive.channels.front().stats.samples,
                static_cast<int64_t>(result.archive.dating.blocks - result.archive.dating.invalidBlocks))
          << row.name;
    }
    if (row.name == "whole") {
      EXPECT_TRUE(result.notes.empty()) << said;
    }
  }
}

}  // namespace
}  // namespace voxa::test
