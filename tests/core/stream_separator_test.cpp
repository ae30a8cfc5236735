// The stream separator, record kind by record kind, through a sink that logs
// every record it is handed. Every row is fed whole, byte by byte, and split
// in two at every position: the records must not depend on how the bytes
// arrive. Every row also checks that each byte fed comes out exactly once, in
// order, in some record's bytes, and that the recorded kinds carry no byte of
// a header or boot-message record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "core_test_support.h"
#include "stream/separator.h"

namespace voxa::test {
namespace {

std::string Escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      out.push_back(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    }
  }
  return out;
}

class LogSink : public RecordSink {
 public:
  void OnSampleBlock(const SampleBlock& block) override {
    EXPECT_EQ(block.bytes[0], block.marker);
    EXPECT_TRUE(std::ranges::equal(block.payload, block.bytes.subspan(1)));
    Add("block " + HexByte(block.marker) + (block.valid ? " valid " : " invalid ") + std::to_string(block.payload.size()),
        block.bytes, true);
  }
  void OnGpsRecord(const GpsRecord& record) override {
    // The text is the payload, followed by the marker that cut it short.
    const Bytes payload = record.bytes.subspan(1);
    EXPECT_TRUE(std::ranges::equal(record.text.substr(0, payload.size()), payload,
                                   [](char c, uint8_t b) { return static_cast<uint8_t>(c) == b; }));
    Add(std::string("gps ") + (record.cut ? "cut " : "whole ") + Escaped(record.text), record.bytes, true);
  }
  void OnShiftRecord(const ShiftRecord& record) override {
    if (!record.valid) return Add("broken shift " + std::to_string(record.bytes.size()), record.bytes, true);
    EXPECT_EQ(record.bytes.size(), 3u);
    Add("shift " + HexByte(record.first) + " " + HexByte(record.second), record.bytes, true);
  }
  void OnHeaderRecord(const HeaderRecord& record) override {
    EXPECT_TRUE(std::ranges::equal(record.text, record.bytes.subspan(1)));
    Add("header " + std::string(record.text.begin(), record.text.end()), record.bytes, false);
  }
  void OnBootBegin() override { log.push_back("boot{"); }
  void OnBootLine(const BootLine& line) override {
    log.push_back("boot line " + Escaped(line.text));
    bootLineBytes.insert(bootLineBytes.end(), line.bytes.begin(), line.bytes.end());
  }
  void OnBootEnd() override { log.push_back("boot}"); }
  void OnStrayBytes(const StrayBytes& stray) override {
    if (stray.unlistedMarker) return Add("unlisted " + HexByte(stray.bytes[0]), stray.bytes, true);
    // A run of stray bytes may come in as many pieces as it was fed in.
    size_t count = stray.bytes.size();
    if (!log.empty() && log.back().starts_with("stray ")) {
      count += std::stoul(log.back().substr(6));
      log.pop_back();
    }
    Add("stray " + std::to_string(count), stray.bytes, true);
  }
  void OnCutRecord(const CutRecord& record) override {
    static const char* const kKinds[] = {"block", "gps", "shift", "header", "boot"};
    const bool recorded = record.kind != RecordKind::Header && record.kind != RecordKind::Boot;
    if (record.kind == RecordKind::Boot) {
      log.push_back("cut boot " + std::to_string(record.bytes.size()));
      bootLineBytes.insert(bootLineBytes.end(), record.bytes.begin(), record.bytes.end());
      return;
    }
    Add(std::string("cut ") + kKinds[static_cast<int>(record.kind)] + " " + std::to_string(record.bytes.size()),
        record.bytes, recorded);
  }

  std::vector<std::string> log;
  ByteVec all;            // every record's bytes but the boot lines', in the order handed on
  ByteVec recorded;       // the bytes of the kinds a recording keeps
  ByteVec bootLineBytes;  // the boot lines' bytes, and a boot record's that STOP cut

 private:
  void Add(std::string line, Bytes bytes, bool recordedKind) {
    log.push_back(std::move(line));
    all.insert(all.end(), bytes.begin(), bytes.end());
    if (recordedKind) recorded.insert(recorded.end(), bytes.begin(), bytes.end());
  }
};

struct Outcome {
  std::vector<std::string> log;
  ByteVec all, recorded, bootLineBytes;
  int stops = 0;  // Feed calls that stopped after a header record
};

struct Row {
  std::string legend;
  ByteVec input;  // input[0] is the first marker
  std::vector<std::string> log;
  GpsFraming framing = GpsFraming::Whole;
  int32_t blockPayload = 4;
  std::optional<ByteVec> recorded = std::nullopt;  // the recorded kinds' bytes; none: every byte fed
  bool lastMarkerPending = false;   // the input's last byte is a marker nothing followed
};

// The first marker through Begin, the rest in pieces ending at cuts, then STOP.
Outcome Separate(const Row& row, const std::vector<size_t>& cuts) {
  LogSink sink;
  StreamSeparator separator(sink);
  separator.SetBlockPayload(row.blockPayload);
  separator.SetGpsFraming(row.framing);
  separator.Begin(row.input.at(0));
  Outcome out;
  size_t from = 1;
  std::vector<size_t> ends = cuts;
  ends.push_back(row.input.size());
  for (const size_t end : ends) {
    while (from < end) {
      const size_t taken = separator.Feed(row.input.data() + from, end - from);
      if (taken < end - from) {
        EXPECT_TRUE(separator.StoppedAfterHeader());
      }
      if (separator.StoppedAfterHeader()) ++out.stops;
      from += taken;
    }
  }
  separator.Finish();
  out.log = sink.log;
  out.all = sink.all;
  out.recorded = sink.recorded;
  out.bootLineBytes = sink.bootLineBytes;
  return out;
}

std::vector<Row> Rows() {
  const std::string gps(kPlaceholderGpsText);
  const std::string header = "ZELK_V=V2.07;DEV_NO=015;P_AMPL=8;CH_NUM=1;S_RATE=50;TAIL=1";
  std::vector<Row> rows = {
      {"a block cut by a marker after 3 bytes is invalid",
       Raw({0x90, 1, 2, 3, 0x80, 0, 0, 0, 5, 0x80, 0x00}),
       {"block 90 invalid 3", "block 80 valid 4", "cut block 2"}},
      {"five payload bytes: invalid, ends after the fifth, then stray bytes",
       Raw({0x80, 0, 0, 0, 1, 9, 7, 7, 0x80, 0, 0, 0, 2, 0x80, 0}),
       {"block 80 invalid 5", "stray 2", "block 80 valid 4", "cut block 2"}},
      {"unlisted records: the marker, then their payload as stray bytes",
       Raw({0x80, 0, 0, 0, 1, 0xC0, 5, 6, 0xE0, 7, 0x80, 0, 0, 0, 2, 0x80, 0}),
       {"block 80 valid 4", "unlisted C0", "stray 2", "unlisted E0", "stray 1", "block 80 valid 4", "cut block 2"}},
      {"three channels: twelve payload bytes", Raw({0x9F, 0x40, 0, 0, 0, 0x3F, 0x7F, 0x7F, 0x07, 0, 0, 0, 0x7F, 0x80}),
       {"block 9F valid 12"}, GpsFraming::Whole, 12, {}, true},
      {"a block still open at STOP is handed on cut", Raw({0x80, 0, 0, 0, 1, 0x80, 0, 0}),
       {"block 80 valid 4", "cut block 3"}},
      {"a marker with nothing after it is dropped at STOP", Raw({0x80, 0, 0, 0, 1, 0x90}), {"block 80 valid 4"},
       GpsFraming::Whole, 4, {}, true},
      {"two boot records: a line each, the run ends at the next kind",
       Concat({Raw({0xF8, '\n'}), Text("VOXA boot"), Raw({'\r', 0xF8, '\n'}), Text("GPS on"),
               Raw({'\r', 0x80, 0, 0, 0, 1, 0x80, 0})}),
       {"boot{", "boot line VOXA boot", "boot line GPS on", "boot}", "block 80 valid 4", "cut block 2"},
       GpsFraming::Whole, 4, Raw({0x80, 0, 0, 0, 1, 0x80, 0})},
      {"boot records too short for a line give empty lines",
       Raw({0xF8, '\n', '\r', 0xF8, '\n', 'x', 0x80, 0, 0, 0, 1, 0x80, 0}),
       {"boot{", "boot line ", "boot line ", "boot}", "block 80 valid 4", "cut block 2"}, GpsFraming::Whole, 4,
       Raw({0x80, 0, 0, 0, 1, 0x80, 0})},
      {"a header record ends at the next marker and the feed stops after it",
       Concat({Raw({0x80, 0, 0, 0, 1, 0xF0}), Text(header), Raw({0x80, 0, 0, 0, 2, 0x80, 0})}),
       {"block 80 valid 4", "header " + header, "block 80 valid 4", "cut block 2"}, GpsFraming::Whole, 4,
       Raw({0x80, 0, 0, 0, 1, 0x80, 0, 0, 0, 2, 0x80, 0})},
      {"a GPS record read blind is 70 bytes; the rest is stray",
       Concat({Raw({0x80, 0, 0, 0, 1, 0xA0}), Text(gps), Raw({0x80, 0, 0, 0, 2, 0x80, 0})}),
       {"block 80 valid 4", "gps whole " + gps.substr(0, 70), "stray 6", "block 80 valid 4", "cut block 2"},
       GpsFraming::Blind70},
      {"a whole GPS record is 76 bytes", Concat({Raw({0xA0}), Text(gps), Raw({0x80, 0, 0, 0, 2, 0x80, 0})}),
       {"gps whole " + gps, "block 80 valid 4", "cut block 2"}},
      {"a GPS record cut by a marker keeps the marker as last character",
       Concat({Raw({0xA0}), Text(gps.substr(0, 40)), Raw({0x80, 0, 0, 0, 3, 0x80, 0})}),
       {"gps cut " + gps.substr(0, 40) + "\\x80", "block 80 valid 4", "cut block 2"}},
      {"a shift record takes two 7-bit bytes", Raw({0xB0, 0x05, 0x7F, 0x80, 0, 0, 0, 1, 0x80, 0}),
       {"shift 05 7F", "block 80 valid 4", "cut block 2"}},
      {"a marker after one shift byte ends the record broken and begins the next",
       Raw({0xB0, 0x12, 0x90, 0, 0, 0, 1, 0x80, 0}), {"broken shift 2", "block 90 valid 4", "cut block 2"}},
      {"a marker right after 0xB0: a broken shift record of its marker alone",
       Raw({0xB0, 0xB0, 0x01, 0x02, 0x80, 0}), {"broken shift 1", "shift 01 02", "cut block 2"}},
      {"STOP inside a header record: cut, never recorded", Raw({0x80, 0, 0, 0, 1, 0xF0, 'C', 'H', '_'}),
       {"block 80 valid 4", "cut header 4"}, GpsFraming::Whole, 4, Raw({0x80, 0, 0, 0, 1})},
      {"a boot line longer than a record goes on without a marker of its own",
       Concat({Raw({0xF8, '\n'}), Text(std::string(254, 'a')), Text("bcd"), Raw({'\r', 0x80, 0, 0, 0, 1, 0x80, 0})}),
       {"boot{", "boot line " + std::string(252, 'a'), "boot line cd", "boot}", "block 80 valid 4", "cut block 2"},
       GpsFraming::Whole, 4, Raw({0x80, 0, 0, 0, 1, 0x80, 0})},
      {"STOP inside boot records: cut, and the boot run ends", Raw({0xF8, '\n', 'h', 'a'}),
       {"boot{", "cut boot 4", "boot}"}, GpsFraming::Whole, 4, Raw({})},
      {"STOP inside a shift record", Raw({0xB0, 0x01}), {"cut shift 2"}},
      {"STOP inside a GPS record read blind", Concat({Raw({0xA0}), Text(gps.substr(0, 70))}), {"cut gps 71"},
       GpsFraming::Blind70},
  };
  {
    // Read blind, a 40-byte record takes the next 30 bytes with it; reading
    // resumes at the next marker after them.
    Row row{"a short GPS record read blind swallows what follows up to 70 bytes",
            Concat({Raw({0x80, 0, 0, 0, 1, 0xA0}), Text(gps.substr(0, 40))}),
            {},
            GpsFraming::Blind70};
    for (int i = 0; i < 6; ++i) AppendBlock(row.input, 0x80, {i});
    std::string text = gps.substr(0, 40);
    for (int i = 0; i < 6; ++i) text += "\\x80" + Escaped(std::string("\0\0\0", 3)) + Escaped(std::string(1, char(i)));
    AppendBlock(row.input, 0x80, {7});
    row.input.insert(row.input.end(), {0x80, 0});
    row.log = {"block 80 valid 4", "gps cut " + text, "block 80 valid 4", "cut block 2"};
    rows.push_back(row);
  }
  {
    // Without a marker a header record ends at its capacity, 512 bytes.
    Row row{"a header record without a marker ends after 512 bytes", Raw({0xF0}), {}};
    const std::string text = "ZELK_V=V9;DEV_NO=777;CH_NUM=1;" + std::string(482, 'x');
    AppendText(row.input, text);
    row.input.push_back(0x05);
    AppendBlock(row.input, 0x80, {1});
    row.input.insert(row.input.end(), {0x80, 0});
    row.log = {"header " + text, "stray 1", "block 80 valid 4", "cut block 2"};
    row.recorded = Raw({0x05, 0x80, 0, 0, 0, 1, 0x80, 0});
    rows.push_back(row);
  }
  return rows;
}

// A stream that opens with boot records: the length of that run, which ends
// at the first marker of another kind.
size_t BootRunLength(const ByteVec& input) {
  if (input.empty() || input[0] != kMarkerBoot) return 0;
  size_t end = 1;
  while (end < input.size() && (!IsMarker(input[end]) || input[end] == kMarkerBoot)) ++end;
  return end;
}

void ExpectBytesHandedOnOnce(const Row& row, const Outcome& out) {
  ByteVec fed(row.input.begin() + static_cast<std::ptrdiff_t>(BootRunLength(row.input)), row.input.end());
  if (row.lastMarkerPending) fed.pop_back();
  EXPECT_EQ(out.all, fed) << "every byte fed outside boot lines, once, in order";
  EXPECT_EQ(out.recorded, row.recorded.value_or(fed)) << "the recorded kinds";
}

TEST(StreamSeparator, RecordKindsWholeAndSplitEverywhere) {
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.legend);
    const Outcome whole = Separate(row, {});
    EXPECT_EQ(whole.log, row.log);
    ExpectBytesHandedOnOnce(row, whole);
    int headers = 0;
    for (const std::string& line : whole.log) headers += line.starts_with("header") ? 1 : 0;
    EXPECT_EQ(whole.stops, headers);

    std::vector<size_t> everyByte;
    for (size_t i = 2; i < row.input.size(); ++i) everyByte.push_back(i);
    const Outcome single = Separate(row, everyByte);
    for (size_t cut = 1; cut <= row.input.size(); ++cut) {
      SCOPED_TRACE("split at " + std::to_string(cut));
      const Outcome split = cut == 1 ? single : Separate(row, {cut});
      EXPECT_EQ(split.log, whole.log);
      EXPECT_EQ(split.all, whole.all);
      EXPECT_EQ(split.recorded, whole.recorded);
      EXPECT_EQ(split.stops, whole.stops);
    }
  }
}

TEST(StreamSeparator, FeedStopsRightAfterTheMarkerThatEndsAHeader) {
  LogSink sink;
  StreamSeparator separator(sink);
  ByteVec in = Text("CH_NUM=1;");
  const size_t headerEnd = in.size() + 1;  // the marker that ends it is taken too
  AppendBlock(in, 0x80, {1});
  in.insert(in.end(), {0x80, 0});
  separator.SetBlockPayload(4);
  separator.Begin(0xF0);
  const size_t taken = separator.Feed(in.data(), in.size());
  EXPECT_EQ(taken, headerEnd);
  EXPECT_TRUE(separator.StoppedAfterHeader());
  EXPECT_EQ(sink.log, (std::vector<std::string>{"header CH_NUM=1;"}));
  EXPECT_EQ(separator.Feed(in.data() + taken, in.size() - taken), in.size() - taken);
  EXPECT_FALSE(separator.StoppedAfterHeader());
  EXPECT_EQ(sink.log.back(), "block 80 valid 4");
}

TEST(StreamSeparator, BlockSizeSetBetweenRecordsJudgesTheNextBlock) {
  // The pipeline sets the block size from inside OnHeaderRecord.
  struct Resizing : LogSink {
    void OnHeaderRecord(const HeaderRecord& record) override {
      LogSink::OnHeaderRecord(record);
      separator->SetBlockPayload(12);
    }
    StreamSeparator* separator = nullptr;
  } sink;
  StreamSeparator separator(sink);
  sink.separator = &separator;
  ByteVec in = Text("CH_NUM=3;");
  AppendBlock(in, 0x80, {1, 2, 3});
  AppendBlock(in, 0x80, {1});
  in.push_back(0x80);
  separator.Begin(0xF0);
  for (size_t at = 0; at < in.size();) at += separator.Feed(in.data() + at, in.size() - at);
  EXPECT_EQ(sink.log, (std::vector<std::string>{"header CH_NUM=3;", "block 80 valid 12", "block 80 invalid 4"}));
}

// A boot line's bytes are its marker (when it has one) and what follows up to
// the marker that ends it, which belongs to the next line or record: the run's
// lines together are the run's bytes, each once.
TEST(StreamSeparator, BootLinesHandOnEachByteOfTheirRunOnce) {
  for (const Row& row : Rows()) {
    const size_t boot = BootRunLength(row.input);
    if (boot == 0) continue;
    SCOPED_TRACE(row.legend);
    EXPECT_EQ(Separate(row, {}).bootLineBytes, ByteVec(row.input.begin(), row.input.begin() + boot));
  }
}

}  // namespace
}  // namespace voxa::test
