// The channel packer: one channel's dated samples into miniSEED 2.4 records
// of 512 bytes, packed by libmseed. Steim-2 compression, and for a record
// whose differences Steim-2 cannot hold, Steim-1 or else plain 32-bit
// integers. Big-endian, data quality "D".
//
// A record is packed as soon as enough samples wait to fill it, and holds
// only samples that follow one another at the sample interval with one
// timing quality: a gap, an overlap or a change of quality closes the record
// in progress (a shorter record). No record reaches past UTC midnight, so
// each lands whole in its day's file.
//
// Each record of a timed channel carries blockette 1001 with the timing
// quality and the microseconds of its start time, the "clock locked" I/O flag
// and the "time tag questionable" data quality flag as its samples were
// dated. State-of-health channels carry neither.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "mseed/dater.h"
#include "mseed/utc_time.h"

struct MSRecord_s;

namespace voxa {

inline constexpr int32_t kRecordLength = 512;

struct ChannelName {
  std::string network, station, location, channel;
  // "XX.V015..EHZ"
  std::string Text() const { return network + "." + station + "." + location + "." + channel; }
};

// Where a packer's finished records go.
class PackedRecordSink {
 public:
  virtual ~PackedRecordSink() = default;
  // A record of channel `channel`, all of whose samples lie in the UTC day
  // that begins at dayStart.
  virtual void OnPackedRecord(int32_t channel, Micros dayStart, const uint8_t* record, size_t length) = 0;
};

// A place where a channel's samples do not follow on.
struct Discontinuity {
  Micros at = 0;    // where the next sample was expected
  Micros size = 0;  // to the next sample: > 0 a gap, < 0 an overlap
};

struct ChannelStats {
  int64_t samples = 0;
  int64_t records = 0;
  std::optional<Micros> first;  // first sample
  Micros end = 0;               // one interval after the last sample
  int64_t gaps = 0;
  int64_t overlaps = 0;
  std::vector<Discontinuity> discontinuities;  // the first kListedDiscontinuities
  static constexpr size_t kListedDiscontinuities = 20;
};

class ChannelPacker {
 public:
  ChannelPacker();
  ~ChannelPacker();
  ChannelPacker(const ChannelPacker&) = delete;
  ChannelPacker& operator=(const ChannelPacker&) = delete;

  // A channel at rate samples per second; timed channels carry timing
  // quality and flags. Records go to sink as channel `index`.
  void Open(const ChannelName& name, int32_t rate, bool timed, PackedRecordSink& sink, int32_t index);
  bool IsOpen() const { return msr_ != nullptr; }
  // A live network feed cannot wait for a record to fill (at 50 sps that
  // takes many seconds): with this set, what waits is packed into a shorter
  // record each time the samples cross a whole UTC second, so at most once a
  // second. The archive leaves it off and keeps its full records.
  void SetFlushEachSecond(bool on) { flushEachSecond_ = on; }

  // count samples, the first at start, taken every stride values from
  // samples (the frames of several channels lie interleaved).
  void Append(Micros start, const int32_t* samples, int32_t count, int32_t stride, const TimeQuality& quality);

  // Everything waiting goes into records now (the last one shorter).
  void Flush();
  // Flushes and lets the channel go.
  void Close();

  const ChannelName& Name() const { return name_; }
  const ChannelStats& Stats() const { return stats_; }
  // Records packed with each encoding: Steim-2, Steim-1, 32-bit integers.
  const std::array<int64_t, 3>& Encodings() const { return encodings_; }

 private:
  static void Handler(char* record, int length, void* self);
  void Pack(bool flush);
  void ApplyQuality();

  MSRecord_s* msr_ = nullptr;
  void* blockette1001_ = nullptr;  // the template's blockette 1001
  ChannelName name_;
  PackedRecordSink* sink_ = nullptr;
  int32_t index_ = 0;
  bool timed_ = false;
  bool flushEachSecond_ = false;
  Micros interval_ = 0;
  std::vector<int32_t> buffer_;
  size_t count_ = 0;
  Micros bufferStart_ = 0;
  Micros dayEnd_ = 0;
  TimeQuality quality_;
  int encodingIndex_ = 0;
  ChannelStats stats_;
  std::array<int64_t, 3> encodings_{};
  std::exception_ptr failure_;  // what the record sink threw inside libmseed's callback
};

}  // namespace voxa
