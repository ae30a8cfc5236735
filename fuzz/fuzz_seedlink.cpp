// The SeedLink command parser and client session on arbitrary client bytes:
// whatever a client sends, every reply is one of the protocol's texts or
// whole packets, a streaming session sends only packets the ring holds and
// never more than the room it was given, and nothing hangs or crashes. The
// ring's record reader also takes arbitrary bytes as records.
//
// Input: repeated steps of one control byte and then bytes: the low bits say
// how many bytes go to the session (or, when the top bit is set, to the
// ring as a would-be record), the next byte how many packets of room the
// transport has, and each step moves the clock on a few seconds.
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "mseed/packer.h"
#include "seedlink/packet_ring.h"
#include "seedlink/session.h"

namespace {

using namespace voxa;

// A few real records of the station, packed once.
struct Records final : PackedRecordSink {
  Records() {
    for (int32_t slot = 0; slot < 3; ++slot) {
      ChannelPacker packer;
      packer.Open({"XX", "V015", "", slot == 0 ? "EHZ" : slot == 1 ? "EHN" : "LCQ"}, slot == 2 ? 1 : 100, slot < 2,
                  *this, slot);
      int32_t samples[300];
      for (int32_t i = 0; i < 300; ++i) samples[i] = (i * 37 + slot * 11) % 500 - 250;
      packer.Append(1796635800LL * kMicrosPerSecond, samples, slot == 2 ? 30 : 300, 1, TimeQuality{100, true, false});
      packer.Close();
    }
  }
  void OnPackedRecord(int32_t, Micros, const uint8_t* record, size_t length) override {
    all.emplace_back(reinterpret_cast<const char*>(record), length);
  }
  std::vector<std::string> all;
};

struct Checked final : SessionOutput {
  void Send(const uint8_t* data, size_t size) override {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const bool packet = size == kSeedLinkPacketBytes && text.substr(0, 2) == "SL";
    fuzz::Check(packet || text == "OK\r\n" || text == "ERROR\r\n" || text == "END" ||
                    text.substr(0, 9) == "SeedLink " || text.find("\r\nEND") != std::string_view::npos,
                "a reply is one of the protocol's");
    if (packet && text.substr(0, 6) != "SLINFO") ++packets;
  }
  size_t packets = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Records records;
  fuzz::Input in(data, size);
  PacketRing ring(24, 0xFFFFF0);  // wraps its 24-bit numbers early
  for (const std::string& r : records.all) ring.Append(reinterpret_cast<const uint8_t*>(r.data()), r.size());

  SessionContext context;
  context.ring = &ring;
  context.identity.network = "XX";
  context.identity.station = "V015";
  context.options.maxSelectors = 8;
  Checked output;
  Micros now = 1796635800LL * kMicrosPerSecond;
  ClientSession session(context, output, "127.0.0.1:1", now);
  std::vector<uint8_t> bytes;
  while (!(in.Left() == 0) && !session.Finished()) {
    const uint8_t control = in.Byte();
    const size_t count = control & 0x3F;
    bytes.clear();
    for (size_t i = 0; i < count && !(in.Left() == 0); ++i) bytes.push_back(in.Byte());
    if (control & 0x80) {
      bytes.resize(kRecordLength, 0);
      if (!records.all.empty() && (control & 0x40)) {
        std::memcpy(bytes.data() + count, records.all[0].data() + count, kRecordLength - count);
      }
      ring.Append(bytes.data(), bytes.size());
      continue;
    }
    session.OnBytes(bytes.data(), bytes.size(), now);
    const size_t room = in.Byte() % 8;
    const size_t before = output.packets;
    session.Pump(room * kSeedLinkPacketBytes, now);
    fuzz::Check(output.packets - before <= room, "no more packets than the room");
    now += (control & 0x40) ? 7 * kMicrosPerSecond : 0;
    session.Tick(now, room == 0);
  }
  return 0;
}
