// What the SeedLink tests share: a run of the simulated device through the
// run pipeline feeding a packet ring (and the live archive when asked), a
// session output that keeps each reply or packet as sent, and readers of
// packets back into samples with libmseed.
#pragma once

#include <gtest/gtest.h>
#include <libmseed.h>

#include <map>
#include <string>
#include <vector>

#include "mseed/mseed_test_support.h"
#include "seedlink/packet_ring.h"
#include "seedlink/session.h"

namespace voxa::test {

inline sim::SimOptions Device(int rate, int64_t seconds) {
  sim::SimOptions device;
  device.rate = rate;
  device.channels = 3;
  device.start = {2026, 12, 7, 9, 30, 20};
  device.durationSeconds = seconds;
  device.temperature = true;
  device.noise = 30;
  return device;
}

// A run through the pipeline as the controller drives it, its SeedLink feed
// into ring and, when archiveRoot is given, the live archive there. onSecond
// is called after each second of the device's stream has been fed.
inline void RunInto(PacketRing& ring, const sim::SimOptions& device, const std::string& archiveRoot,
                    const ScratchDir& dir, const std::function<void(int64_t)>& onSecond = {}) {
  NullHost host;
  Raster raster(320, 160);
  RunPipeline pipeline(host, raster);
  pipeline.FeedSeedLink(&ring);
  MonitorOptions options;
  options.parameters = {device.rate, device.channels, device.gain};
  options.run.loadExtHeader = false;
  options.run.saveMseed = !archiveRoot.empty();
  options.mseedDirectory = archiveRoot;
  pipeline.Configure(options);
  pipeline.StartRun(options.run, dir.File("config.txt"));
  pipeline.Arm({2026, 12, 7, 9, 30, 15}, UtcOf(device.start));
  pipeline.OpenOutputs(OutputPaths::In(dir.Path()));
  sim::StreamGenerator generator(device);
  std::vector<uint8_t> bytes;
  generator.Start(bytes);
  const auto first = std::find_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b >= 0x80; });
  bytes.erase(bytes.begin(), first);
  pipeline.StartStream(bytes.at(0));
  bytes.erase(bytes.begin());
  while (!generator.Done()) {
    const int64_t second = generator.SecondsGenerated();
    generator.NextSecond(bytes);
    for (size_t at = 0; at < bytes.size();) at += pipeline.Feed(bytes.data() + at, bytes.size() - at);
    bytes.clear();
    if (onSecond) onSecond(second);
  }
  pipeline.Finish();
  pipeline.CloseOutputs();
}

// Each reply or packet as the session sent it.
struct CapturedOutput final : SessionOutput {
  void Send(const uint8_t* data, size_t size) override { sent.emplace_back(reinterpret_cast<const char*>(data), size); }
  std::vector<std::string> Take() { return std::exchange(sent, {}); }
  std::vector<std::string> sent;
};

inline bool IsDataPacket(const std::string& message) {
  return message.size() == kSeedLinkPacketBytes && message.compare(0, 2, "SL") == 0 &&
         message.compare(0, 6, "SLINFO") != 0;
}

inline uint32_t SequenceOf(const std::string& packet) { return std::stoul(packet.substr(2, 6), nullptr, 16); }

// The samples of a channel's records, by source name ("XX_V015__EHZ").
inline std::map<std::string, std::vector<TimedValue>> Samples(const std::vector<std::string>& records) {
  std::map<std::string, std::vector<TimedValue>> channels;
  for (const std::string& record : records) {
    MSRecord* msr = nullptr;
    std::string copy = record;
    if (msr_parse(copy.data(), static_cast<int>(copy.size()), &msr, 512, 1, 0) != MS_NOERROR) {
      ADD_FAILURE() << "not a record";
      continue;
    }
    char source[64];
    msr_srcname(msr, source, 0);
    const auto* data = static_cast<const int32_t*>(msr->datasamples);
    const Micros interval = static_cast<Micros>(1e6 / msr->samprate + 0.5);
    for (int64_t i = 0; i < msr->numsamples; ++i) channels[source].push_back({msr->starttime + i * interval, data[i]});
    msr_free(&msr);
  }
  return channels;
}

inline std::vector<std::string> RecordsOf(const std::vector<std::string>& packets) {
  std::vector<std::string> records;
  for (const std::string& p : packets) {
    if (IsDataPacket(p)) records.push_back(p.substr(8));
  }
  return records;
}

// The XML an INFO reply carries, its records' text joined.
inline std::string InfoText(const std::vector<std::string>& packets) {
  std::string text;
  for (const std::string& p : packets) {
    if (p.compare(0, 6, "SLINFO") != 0) continue;
    MSRecord* msr = nullptr;
    std::string copy = p.substr(8);
    if (msr_parse(copy.data(), static_cast<int>(copy.size()), &msr, 512, 1, 0) != MS_NOERROR) continue;
    text.append(static_cast<const char*>(msr->datasamples), static_cast<size_t>(msr->numsamples));
    msr_free(&msr);
  }
  return text;
}

}  // namespace voxa::test
