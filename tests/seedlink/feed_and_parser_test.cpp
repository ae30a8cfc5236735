// The network feed against the archive the same run writes, and the parsers
// of what a client or an operator types.
#include <gtest/gtest.h>

#include "seedlink/commands.h"
#include "seedlink/seedlink_options.h"
#include "seedlink/sequence_file.h"
#include "seedlink_test_support.h"

namespace voxa::test {
namespace {

std::vector<std::string> RingRecords(const PacketRing& ring) {
  std::vector<std::string> records;
  for (uint64_t s = ring.First(); s < ring.Next(); ++s) {
    const Packet* p = ring.At(s);
    records.emplace_back(reinterpret_cast<const char*>(p->record.data()), p->record.size());
  }
  return records;
}

TEST(SeedLinkFeed, CarriesTheArchivesSamplesInRecordsFlushedEachSecond) {
  for (const int rate : {50, 800}) {
    SCOPED_TRACE(rate);
    ScratchDir dir;
    PacketRing ring(4096, 0);
    const sim::SimOptions device = Device(rate, 12);
    // After each second has been fed, its samples are in the ring: the
    // network does not wait for a record to fill.
    std::vector<Micros> newestAfter;
    RunInto(ring, device, dir.File("sds"), dir, [&](int64_t) {
      Micros newest = 0;
      for (const RingStream& s : ring.Streams()) {
        if (s.codes.Channel()[0] != 'L' && s.codes.Channel() != "GNS") newest = std::max(newest, s.newestEnd);
      }
      newestAfter.push_back(newest);
    });
    const Micros start = UtcOf(device.start);
    for (size_t second = 1; second + 1 < newestAfter.size(); ++second) {
      EXPECT_GE(newestAfter[second], start + Micros(second) * kMicrosPerSecond) << "second " << second;
    }

    const auto fromRing = Samples(RingRecords(ring));
    std::map<std::string, std::vector<TimedValue>> fromArchive;
    for (const ReadRecord& r : ReadArchive(dir.File("sds"))) {
      const Micros interval = SampleInterval(static_cast<int32_t>(r.rate));
      for (size_t i = 0; i < r.samples.size(); ++i) fromArchive[r.source].push_back({r.start + Micros(i) * interval, r.samples[i]});
    }
    ASSERT_EQ(fromRing.size(), 7u);  // three data channels and four of state of health
    EXPECT_EQ(fromRing, fromArchive);
    // Every packet a 512-byte Steim-2 record with blockettes 1000 and 1001 on
    // the data channels, each channel's packets in time order.
    std::map<std::string, Micros> lastEnd;
    for (uint64_t s = ring.First(); s < ring.Next(); ++s) {
      std::string copy(reinterpret_cast<const char*>(ring.At(s)->record.data()), kRecordLength);
      MSRecord* msr = nullptr;
      ASSERT_EQ(msr_parse(copy.data(), kRecordLength, &msr, 512, 0, 0), MS_NOERROR);
      char source[64];
      msr_srcname(msr, source, 0);
      EXPECT_NE(msr->Blkt1000, nullptr);
      if (msr->samprate > 1) {
        EXPECT_EQ(msr->encoding, DE_STEIM2);
        EXPECT_NE(msr->Blkt1001, nullptr);
      }
      EXPECT_GE(msr->starttime, lastEnd[source]) << source;
      lastEnd[source] = ring.At(s)->header.end;
      msr_free(&msr);
    }
  }
}

TEST(SeedLinkParse, SequencesTimesSelectorsAndPatterns) {
  const struct {
    const char* text;
    std::optional<uint32_t> value;
  } sequences[] = {{"00001A", 0x1A}, {"0x00001a", 0x1A}, {"FFFFFF", 0xFFFFFF}, {"1000001", 1},
                   {"0x", std::nullopt}, {"12G", std::nullopt}, {"", std::nullopt}, {"-1", std::nullopt}};
  for (const auto& row : sequences) EXPECT_EQ(ParseSequence(row.text), row.value) << row.text;

  const Micros base = *UtcInstant(2026, 12, 7, 9, 5, 3);
  const struct {
    const char* text;
    std::optional<Micros> value;
  } times[] = {{"2026,12,07,09,05,03", base},
               {"2026,12,7,9,5,3", base},
               {"2026,12,7,9,5,3.25", base + 250000},
               {"2026,12,7", *UtcInstant(2026, 12, 7, 0, 0, 0)},
               {"2026,13,7,9,5,3", std::nullopt},
               {"2026,12,7,9,5,3,1", std::nullopt},
               {"2026,12", std::nullopt},
               {"2026-12-07", std::nullopt},
               {"", std::nullopt}};
  for (const auto& row : times) EXPECT_EQ(ParseSeedLinkTime(row.text), row.value) << row.text;

  RecordHeader ehz;
  std::snprintf(ehz.channel, sizeof ehz.channel, "EHZ");
  RecordHeader located = ehz;
  std::snprintf(located.location, sizeof located.location, "00");
  const struct {
    const char* text;
    bool valid, blank, withLocation;
  } selectors[] = {
      {"EHZ", true, true, true},     {"EH?.D", true, true, true},   {"--EHZ", true, true, false},
      {"00EHZ.D", true, false, true}, {"??EHZ", true, true, true},  {"!EHZ", true, false, false},
      {"EHZ.T", true, false, false}, {".D", true, true, true},      {"EH", false, false, false},
      {"EHZ.X", false, false, false}, {"EHZ.DD", false, false, false}, {"E#Z", false, false, false},
  };
  for (const auto& row : selectors) {
    const std::optional<Selector> s = ParseSelector(row.text);
    ASSERT_EQ(s.has_value(), row.valid) << row.text;
    if (!s) continue;
    // A negation matches what it names; the session excludes it.
    EXPECT_EQ(s->Matches(ehz, 'D') != s->negated, row.blank) << row.text;
    EXPECT_EQ(s->Matches(located, 'D') != s->negated, row.withLocation) << row.text;
  }

  EXPECT_TRUE(GlobMatches("V0??", "V015"));
  EXPECT_TRUE(GlobMatches("*", "V015"));
  EXPECT_TRUE(GlobMatches("v*5", "V015"));
  EXPECT_FALSE(GlobMatches("V0?", "V015"));
  EXPECT_FALSE(GlobMatches(std::string(200, '*') + "X", std::string(200, 'V')));

  const Command command = ParseCommand("  data   0x1A 2026,12,7,9,5,3 ");
  EXPECT_EQ(command.verb, Verb::Data);
  ASSERT_EQ(command.count, 2u);
  EXPECT_EQ(command.Argument(1), "2026,12,7,9,5,3");
}

TEST(SeedLinkParse, ListenAddressesAndLimits) {
  const struct {
    const char* text;
    bool ok;
    const char* address;
    uint16_t port;
  } rows[] = {{"18000", true, "127.0.0.1", 18000},   {"0.0.0.0:18001", true, "0.0.0.0", 18001},
              {"[::1]:18002", true, "::1", 18002},    {"localhost:x", false, "", 0},
              {"70000", false, "", 0},                 {":18000", false, "", 0},
              {"::1:18000", false, "", 0},             {"", false, "", 0}};
  for (const auto& row : rows) {
    SeedLinkOptions options;
    std::string message;
    EXPECT_EQ(ParseListen(row.text, options, message), row.ok) << row.text;
    if (row.ok) {
      EXPECT_EQ(options.address, row.address);
      EXPECT_EQ(options.port, row.port);
    } else {
      EXPECT_FALSE(message.empty());
    }
  }
  SeedLinkOptions options;
  std::string message;
  EXPECT_TRUE(CheckSeedLinkLimits(options, message));
  options.maxPerAddress = 40;
  EXPECT_FALSE(CheckSeedLinkLimits(options, message));
  EXPECT_NE(message.find("max_per_address"), std::string::npos);
}

TEST(SeedLinkRing, NumbersNeverRepeatAcrossRestartsAndWrapIn24Bits) {
  ScratchDir dir;
  std::vector<std::string> log;
  const auto note = [&](const std::string& line) { log.push_back(line); };
  uint64_t lastOfFirstRun = 0;
  {
    auto ring = OpenPacketRing(1, dir.Path(), note);
    EXPECT_EQ(ring->Next(), 0u);
    RunInto(*ring, Device(100, 3), "", dir);
    ASSERT_FALSE(ring->Empty());
    lastOfFirstRun = ring->Next() - 1;
  }
  auto again = OpenPacketRing(1, dir.Path(), note);
  EXPECT_GT(again->Next(), lastOfFirstRun);
  EXPECT_EQ(again->Next() % PacketRing::kReserveBlock, 0u);
  EXPECT_TRUE(log.empty());

  std::FILE* garbage = std::fopen(dir.File(kSequenceFileName).c_str(), "w");
  std::fputs("twelve\n", garbage);
  std::fclose(garbage);
  EXPECT_EQ(OpenPacketRing(1, dir.Path(), note)->Next(), 0u);
  ASSERT_EQ(log.size(), 1u);

  PacketRing wrapped(16, (uint64_t{1} << 24) + 5);
  EXPECT_EQ(wrapped.Resolve24(5), (uint64_t{1} << 24) + 5);
  EXPECT_EQ(wrapped.Resolve24(0xFFFFFE), 0xFFFFFEu);
}

}  // namespace
}  // namespace voxa::test
