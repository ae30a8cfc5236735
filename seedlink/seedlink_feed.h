// The network feed: the stream dated and packed as the archive is (the same
// dater, codes, Steim-2 records with blockettes 1000 and 1001, data and
// state-of-health channels), but with each channel's partial record packed
// at most once a second, so a client sees a sample about a second after its
// block arrived instead of when a 512-byte record has filled. The records go
// into the packet ring, not to files.
//
// A run drives it exactly as it drives the archive's MseedStream; it owns a
// stream of its own so it runs whether or not the archive is written.
#pragma once

#include "device/device_settings.h"
#include "format/records.h"
#include "mseed/codes.h"
#include "mseed/mseed_stream.h"
#include "seedlink/packet_ring.h"
#include "timing/gps_clock.h"
#include "timing/time_shift.h"

namespace voxa {

class SeedLinkFeed {
 public:
  explicit SeedLinkFeed(PacketRing& ring) : ring_(ring) {}

  void StartRun(const DeviceSettings& device, const CodeChoices& codes, bool readingRecording, Micros computerClock);
  bool Running() const { return stream_.Running(); }
  void OnHeader(const DeviceSettings& device) { stream_.OnHeader(device); }
  void OnSampleBlock(const SampleBlock& block) { stream_.OnSampleBlock(block); }
  void OnCutRecord(const CutRecord& record) { stream_.OnCutRecord(record); }
  void OnGpsRecord(const GpsRecord& record, bool sound, const GpsClock& clock) {
    stream_.OnGpsRecord(record, sound, clock);
  }
  void OnShiftRecord(const TimeShift& shift) { stream_.OnShiftRecord(shift); }
  // The run's end: what waits is dated and packed into the ring.
  void Finish();

  PacketRing& Ring() { return ring_; }

 private:
  PacketRing& ring_;
  MseedStream stream_;
};

}  // namespace voxa
