#include "seedlink/info.h"

#include "format/xml_text.h"

#include <libmseed.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "mseed/packer.h"

namespace voxa {
namespace {

std::string TimeText(Micros instant) {
  const UtcFields f = FieldsOf(instant);
  char text[40];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d.%04d", f.year, f.month, f.day, f.hour, f.minute,
                f.second, f.micros / 100);
  return text;
}

std::string Hex6(uint64_t sequence) {
  char text[8];
  std::snprintf(text, sizeof text, "%06llX", static_cast<unsigned long long>(sequence & 0xFFFFFF));
  return text;
}

// XML attribute text: the codes and descriptions here are ours, but an
// operator's description may hold anything.
std::string Escaped(std::string_view text) { return XmlEscaped(text); }

std::string RootOpen(const StationIdentity& identity) {
  return "<?xml version=\"1.0\"?>\n<seedlink software=\"" + std::string(kServerVersion) + " (" +
         std::string(kSoftware) + ")\" organization=\"" + Escaped(identity.organization) + "\" started=\"" +
         TimeText(identity.started) + "\"";
}

std::string StationOpen(const StationIdentity& identity, const PacketRing& ring) {
  const uint64_t last = ring.Empty() ? ring.Next() : ring.Next() - 1;
  return "<station name=\"" + Escaped(identity.station) + "\" network=\"" + Escaped(identity.network) +
         "\" description=\"" + Escaped(identity.description) + "\" begin_seq=\"" + Hex6(ring.First()) +
         "\" end_seq=\"" + Hex6(last) + "\" stream_check=\"enabled\"";
}

}  // namespace

InfoLevel ParseInfoLevel(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
  if (upper == "ID") return InfoLevel::Id;
  if (upper == "CAPABILITIES") return InfoLevel::Capabilities;
  if (upper == "STATIONS") return InfoLevel::Stations;
  if (upper == "STREAMS") return InfoLevel::Streams;
  return InfoLevel::Unknown;
}

std::string InfoXml(InfoLevel level, const StationIdentity& identity, const PacketRing& ring) {
  std::string xml = RootOpen(identity);
  switch (level) {
    case InfoLevel::Id:
    case InfoLevel::Unknown:
      return xml + "/>\n";
    case InfoLevel::Capabilities: {
      xml += ">\n";
      for (const char* name : {"dialup", "multistation", "window-extraction", "info:id", "info:capabilities",
                               "info:stations", "info:streams"}) {
        xml += "<capability name=\"" + std::string(name) + "\"/>\n";
      }
      return xml + "</seedlink>\n";
    }
    case InfoLevel::Stations:
      return xml + ">\n" + StationOpen(identity, ring) + "/>\n</seedlink>\n";
    case InfoLevel::Streams: {
      xml += ">\n" + StationOpen(identity, ring) + ">\n";
      // Each stream's oldest packet still held, found from the oldest end.
      std::vector<Micros> begins(ring.Streams().size(), 0);
      std::vector<bool> found(ring.Streams().size(), false);
      size_t missing = begins.size();
      for (uint64_t s = ring.First(); s < ring.Next() && missing > 0; ++s) {
        const Packet* packet = ring.At(s);
        for (size_t i = 0; i < begins.size(); ++i) {
          if (!found[i] && ring.Streams()[i].codes.SameStream(packet->header)) {
            found[i] = true;
            begins[i] = packet->header.start;
            --missing;
          }
        }
      }
      for (size_t i = 0; i < begins.size(); ++i) {
        if (!found[i]) continue;
        const RingStream& stream = ring.Streams()[i];
        xml += "<stream location=\"" + Escaped(stream.codes.Location()) + "\" seedname=\"" +
               Escaped(stream.codes.Channel()) + "\" type=\"D\" begin_time=\"" + TimeText(begins[i]) +
               "\" end_time=\"" + TimeText(stream.newestEnd) +
               "\" begin_recno=\"0\" end_recno=\"0\" gap_check=\"disabled\" gap_treshold=\"0\"/>\n";
      }
      return xml + "</station>\n</seedlink>\n";
    }
  }
  return xml;
}

std::vector<std::string> InfoPackets(std::string_view xml, bool error, const StationIdentity& identity, Micros now) {
  MSRecord* msr = msr_init(nullptr);
  const auto code = [](char* target, size_t size, std::string_view text) {
    std::memset(target, 0, size);
    std::memcpy(target, text.data(), std::min(text.size(), size - 1));
  };
  code(msr->network, sizeof msr->network, identity.network);
  code(msr->station, sizeof msr->station, identity.station);
  code(msr->channel, sizeof msr->channel, error ? "ERR" : "INF");
  msr->reclen = kRecordLength;
  msr->byteorder = 1;
  msr->dataquality = 'D';
  msr->encoding = DE_ASCII;
  msr->sampletype = 'a';
  msr->samprate = 0;
  msr->starttime = MS_EPOCH2HPTIME(now / kMicrosPerSecond) + (now % kMicrosPerSecond);
  std::string text(error ? std::string_view("INFO level is not supported") : xml);
  msr->datasamples = text.data();
  msr->numsamples = static_cast<int64_t>(text.size());
  std::vector<std::string> records;
  int64_t packed = 0;
  msr_pack(
      msr,
      [](char* record, int length, void* self) {
        static_cast<std::vector<std::string>*>(self)->emplace_back(record, static_cast<size_t>(length));
      },
      &records, &packed, 1, 0);
  msr->datasamples = nullptr;
  msr_free(&msr);
  std::vector<std::string> packets;
  for (size_t i = 0; i < records.size(); ++i) {
    packets.push_back((i + 1 < records.size() ? "SLINFO *" : "SLINFO  ") + records[i]);
  }
  return packets;
}

}  // namespace voxa
