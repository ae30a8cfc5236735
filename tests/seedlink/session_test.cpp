// The client session, driven as each real client drives it, byte for byte:
// the replies, packets and their order, resuming, time windows from the
// archive, a slow client, the limits and bad input.
#include <gtest/gtest.h>

#include "seedlink/session.h"
#include "seedlink_test_support.h"

namespace voxa::test {
namespace {

constexpr const char* kHello =
    "SeedLink v3.1 (VOXA Monitor 1.0) :: SLPROTO:3.1 CAP EXTREPLY NSWILDCARD BATCH WS:13\r\nVOXA Monitor\r\n";

// A station of 20 s at 100 sps in a ring, its archive beside it.
struct Station {
  explicit Station(size_t capacity = 4096, bool archive = false) : ring(capacity, 0x10) {
    RunInto(ring, Device(100, 20), archive ? dir.File("sds") : "", dir);
    context.ring = &ring;
    context.identity.network = "XX";
    context.identity.station = "V015";
    context.identity.started = UtcOf(Device(100, 20).start);
    context.archiveRoot = archive ? dir.File("sds") : "";
    context.log = [this](const std::string& line) { log.push_back(line); };
  }
  ScratchDir dir;
  PacketRing ring;
  SessionContext context;
  std::vector<std::string> log;
};

struct Client {
  Client(const SessionContext& context, Micros now = 0) : session(context, output, "127.0.0.1:40000", now) {}
  // Sends text; what came back.
  std::vector<std::string> Say(const std::string& text, Micros now = 0) {
    session.OnBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size(), now);
    return output.Take();
  }
  std::vector<std::string> Drain(Micros now = 0) {
    session.Pump(SIZE_MAX / 2, now);
    return output.Take();
  }
  CapturedOutput output;
  ClientSession session;
};

using Lines = std::vector<std::string>;

Micros At(int second) { return UtcOf(Device(100, 20).start) + second * kMicrosPerSecond; }

TEST(SeedLinkClients, EachClientsCommandSequenceByteForByte) {
  Station station;
  // SeisComP's slink:// record stream: no HELLO, BATCH first, then silence
  // until the data.
  {
    Client c(station.context);
    EXPECT_EQ(c.Say("BATCH\r\n"), Lines{"OK\r\n"});
    EXPECT_EQ(c.Say("STATION V015 XX\r\nSELECT EHZ.D\r\nSELECT LCQ.D\r\nDATA 000020\r\nEND\r\n"), Lines{});
    const Lines packets = c.Drain();
    ASSERT_FALSE(packets.empty());
    EXPECT_GE(SequenceOf(packets.front()), 0x20u);  // the first of EHZ or LCQ from there
    EXPECT_LT(SequenceOf(packets.front()), 0x20u + 7);
    for (const std::string& p : packets) {
      ASSERT_TRUE(IsDataPacket(p));
      const std::string channel = p.substr(8 + 15, 3);
      EXPECT_TRUE(channel == "EHZ" || channel == "LCQ") << channel;
    }
  }
  // ObsPy: each command's reply read with one recv, exactly "OK\r\n".
  {
    Client c(station.context);
    EXPECT_EQ(c.Say("HELLO\r\n"), Lines{kHello});
    EXPECT_EQ(c.Say("STATION V015 XX\r\n"), Lines{"OK\r\n"});
    EXPECT_EQ(c.Say("SELECT --EHN.D\r\n"), Lines{"OK\r\n"});
    EXPECT_EQ(c.Say("TIME 2026,12,07,09,30,25 2026,12,07,09,30,30\r\n"), Lines{"OK\r\n"});
    EXPECT_EQ(c.Say("END\r\n"), Lines{});
    Lines packets = c.Drain();
    ASSERT_GE(packets.size(), 2u);
    EXPECT_EQ(packets.back(), "END");
    packets.pop_back();
    const auto samples = Samples(RecordsOf(packets));
    ASSERT_EQ(samples.size(), 1u);
    const auto& ehn = samples.at("XX_V015__EHN");
    EXPECT_LE(ehn.front().time, At(5));
    EXPECT_GE(ehn.back().time, At(10) - 10000);
    EXPECT_TRUE(c.session.Finished());
  }
  // libslink: HELLO, the capabilities it has seen offered, a resume, and
  // INFO ID as a keepalive while streaming.
  {
    Client c(station.context);
    EXPECT_EQ(c.Say("HELLO\r\n"), Lines{kHello});
    EXPECT_EQ(c.Say("CAPABILITIES EXTREPLY\r\n"), Lines{"OK\r\n"});
    EXPECT_EQ(c.Say("STATION V015 XX\r\n"), Lines{"OK\r\n"});
    EXPECT_EQ(c.Say("SELECT ???.D\r\n"), Lines{"OK\r\n"});
    EXPECT_EQ(c.Say("DATA 00001A\r\n"), Lines{"OK\r\n"});
    EXPECT_EQ(c.Say("END\r\n"), Lines{});
    const Lines packets = c.Drain();
    EXPECT_EQ(SequenceOf(packets.front()), 0x1Au);
    EXPECT_EQ(packets.size(), station.ring.Next() - 0x1A);
    const Lines info = c.Say("INFO ID\r\n");
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0].substr(0, 8), "SLINFO  ");
    EXPECT_NE(InfoText(info).find("<seedlink software=\"SeedLink v3.1 (VOXA Monitor 1.0)\""), std::string::npos);
  }
  // Swarm: the streams from INFO STREAMS, each of type "D".
  {
    Client c(station.context);
    EXPECT_EQ(c.Say("HELLO\r\n"), Lines{kHello});
    const Lines info = c.Say("INFO STREAMS\r\n");
    ASSERT_FALSE(info.empty());
    for (size_t i = 0; i + 1 < info.size(); ++i) EXPECT_EQ(info[i].substr(0, 8), "SLINFO *");
    EXPECT_EQ(info.back().substr(0, 8), "SLINFO  ");
    const std::string xml = InfoText(info);
    for (const char* channel : {"EHZ", "EHN", "EHE", "LCQ", "LCE", "LKI", "GNS"}) {
      EXPECT_NE(xml.find(std::string("seedname=\"") + channel + "\" type=\"D\""), std::string::npos) << channel;
    }
    EXPECT_NE(xml.find("<station name=\"V015\" network=\"XX\""), std::string::npos);
    EXPECT_EQ(c.Say("BYE\r\n"), Lines{});
    EXPECT_TRUE(c.session.Finished());
  }
  // Uni-station mode: DATA streams at once, FETCH ends with END.
  {
    Client c(station.context);
    EXPECT_EQ(c.Say("SELECT EHZ\r\n"), Lines{"OK\r\n"});
    EXPECT_EQ(c.Say("FETCH 0x10\r\n"), Lines{});
    const Lines packets = c.Drain();
    EXPECT_EQ(packets.back(), "END");
    EXPECT_GT(packets.size(), 3u);
    EXPECT_EQ(c.Say("CAT\r\n"), Lines{});  // over: nothing more is answered
  }
  {
    Client c(station.context);
    EXPECT_EQ(c.Say("CAT\r\n"), Lines{"XX V015  VOXA station\r\nEND"});
    EXPECT_EQ(c.Say("DATA\r\n"), Lines{});
    EXPECT_EQ(c.Drain(), Lines{});  // only what comes from now on
  }
}

TEST(SeedLinkClients, ResumeWithASequenceTheRingNoLongerHolds) {
  Station station(64);
  ASSERT_GT(station.ring.First(), 0x20u);
  Client c(station.context);
  c.Say("STATION V015 XX\r\nDATA 000011\r\nEND\r\n");
  const Lines packets = c.Drain();
  EXPECT_EQ(SequenceOf(packets.front()), station.ring.First() & 0xFFFFFF);
  ASSERT_EQ(station.log.size(), 1u);
  EXPECT_NE(station.log[0].find("not held"), std::string::npos);
}

TEST(SeedLinkClients, TimeWindowFromTheArchiveBeforeTheRing) {
  Station station(48, true);
  const Micros ringStart = station.ring.At(station.ring.First())->header.start;
  ASSERT_GT(ringStart, At(10));
  Client c(station.context);
  EXPECT_EQ(c.Say("STATION V015 XX\r\nSELECT EHZ.D\r\nTIME 2026,12,7,9,30,22 2026,12,7,9,30,38\r\n"),
            (Lines{"OK\r\n", "OK\r\n", "OK\r\n"}));
  c.Say("END\r\n");
  Lines packets = c.Drain();
  ASSERT_EQ(packets.back(), "END");
  packets.pop_back();
  // Every sample of the window, in time order: the archive's records first,
  // then the ring's; an overlap where they meet, never a gap.
  const std::vector<TimedValue> ehz = Samples(RecordsOf(packets)).at("XX_V015__EHZ");
  EXPECT_LE(ehz.front().time, At(2));
  EXPECT_GE(ehz.back().time, At(18) - 10000);
  std::vector<TimedValue> unique = ehz;
  std::sort(unique.begin(), unique.end());
  unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
  for (size_t i = 1; i < unique.size(); ++i) ASSERT_EQ(unique[i].time - unique[i - 1].time, 10000) << i;
  // Against the archive itself.
  std::vector<TimedValue> archived;
  for (const ReadRecord& r : ReadArchive(station.dir.File("sds"))) {
    if (r.source != "XX_V015__EHZ") continue;
    for (size_t i = 0; i < r.samples.size(); ++i) archived.push_back({r.start + Micros(i) * 10000, r.samples[i]});
  }
  for (const TimedValue& v : unique) EXPECT_TRUE(std::binary_search(archived.begin(), archived.end(), v));
}

TEST(SeedLinkClients, SlowClientIsLappedThenDroppedWhenItStopsDraining) {
  Station station(32);
  PacketRing& ring = station.ring;
  Client c(station.context, At(0));
  c.Say("DATA " + std::string("0x") + "000010\r\n", At(0));
  c.session.Pump(kSeedLinkPacketBytes * 2, At(1));
  EXPECT_EQ(c.output.Take().size(), 2u);
  // The writer laps it: it goes on from the oldest packet, with a log line.
  for (int i = 0; i < 40; ++i) {
    ring.Append(ring.At(ring.Next() - 1)->record.data(), kRecordLength);
  }
  const Lines packets = c.Drain(At(2));
  EXPECT_EQ(packets.size(), ring.Capacity());
  EXPECT_EQ(c.session.Stats().lapped, 1);
  EXPECT_NE(station.log.back().find("behind the ring"), std::string::npos);
  // Blocked for under the drain timeout is fine; past it, dropped.
  c.session.Tick(At(3), true);
  c.session.Tick(At(62), true);
  EXPECT_FALSE(c.session.Finished());
  c.session.Tick(At(63), true);
  EXPECT_TRUE(c.session.Finished());
}

TEST(SeedLinkClients, LimitsAndBadInput) {
  Station station;
  station.context.options.maxSelectors = 3;
  Client c(station.context, At(0));
  EXPECT_EQ(c.Say(std::string(300, 'A') + "\r\nHELLO\r\n"), (Lines{"ERROR\r\n", kHello}));
  EXPECT_EQ(c.Say("FROB\r\n"), Lines{"ERROR\r\n"});
  EXPECT_EQ(c.Say("STATION XYZ XX\r\n"), Lines{"ERROR\r\n"});  // not this station
  EXPECT_EQ(c.Say("SELECT EHZ\r\n"), Lines{"OK\r\n"});      // uni-station
  EXPECT_EQ(c.Say("END\r\n"), Lines{"ERROR\r\n"});          // no STATION to end
  EXPECT_EQ(c.Say("STATION V0?? *\r\n"), Lines{"OK\r\n"});
  EXPECT_EQ(c.Say("SELECT EH?.D BAD!\r\n"), Lines{"ERROR\r\n"});
  EXPECT_EQ(c.Say("SELECT EHZ EHN\r\n"), Lines{"ERROR\r\n"});  // the third and fourth entries
  EXPECT_EQ(c.Say("DATA 12X\r\n"), Lines{"ERROR\r\n"});
  EXPECT_EQ(c.Say("TIME 2026,12,7,9,30,30 2026,12,7,9,30,20\r\n"), Lines{"ERROR\r\n"});
  EXPECT_EQ(c.Say("TIME 2026,99,7\r\n"), Lines{"ERROR\r\n"});
  const Lines error = c.Say("INFO CONNECTIONS\r\n");
  ASSERT_EQ(error.size(), 1u);
  EXPECT_EQ(error[0].substr(0, 8), "SLINFO  ");
  EXPECT_EQ(error[0].substr(8 + 15, 3), "ERR");
  EXPECT_EQ(c.Say(std::string("\0\xff\x01 \r\n", 6)), Lines{"ERROR\r\n"});
  // The handshake has a deadline.
  c.session.Tick(At(59), false);
  EXPECT_FALSE(c.session.Finished());
  c.session.Tick(At(60), false);
  EXPECT_TRUE(c.session.Finished());
}

}  // namespace
}  // namespace voxa::test
