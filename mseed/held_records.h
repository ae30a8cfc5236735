// What a day file held when a run first opened it: the time spans of its
// records, per channel, so that a record the file already holds is not
// written again (a recording converted twice, a replay into the archive it
// was archived in, a station restarted on the data it had written).
//
// Only the records' fixed headers are read (libmseed, no decompression),
// and adjoining records are merged into one span as they are taken, so a
// full day of 800 sps (some 130,000 records) leaves a handful of spans.
// A record followed by bytes that are no record (one cut short, with others
// appended after it) is not counted as held: its header may claim samples
// the file lacks. What this run writes is never added: the run's own records are judged
// against the file as it was, so a clock that steps back within a run never
// makes it drop its own new samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mseed/utc_time.h"

namespace voxa {

class HeldRecords {
 public:
  enum class Verdict {
    New,       // nothing held on its channel overlaps it
    Held,      // its channel and whole time span are held: skip it
    Overlaps,  // part of its span is held, part is not
  };

  // The file's bytes, from its start, in pieces of any size. A trailing
  // piece of a record (a write the system cut short) and bytes that are no
  // record are passed over.
  void Take(const uint8_t* data, size_t count);
  // Every byte has been taken.
  void Finish();

  Verdict Judge(const uint8_t* record, size_t length) const;
  bool Empty() const { return spans_.empty(); }
  size_t Spans() const { return spans_.size(); }

 private:
  struct Span {
    std::string channel;  // NET_STA_LOC_CHA_QUALITY
    Micros first = 0;     // the first sample's time
    Micros last = 0;      // the last sample's time
    Micros period = 0;    // between samples; 0 for a record of one sample at no rate
  };
  // The span of one record; false when it is no miniSEED record.
  static bool Parse(const uint8_t* record, size_t length, Span& span);
  void Add(Span span);

  std::vector<Span> spans_;
  std::optional<Span> pending_;  // the last record read, added once the next one is found in its place
  bool pendingCut_ = false;      // bytes that are no record followed it
  std::vector<uint8_t> carry_;  // the start of a record the last piece cut
};

}  // namespace voxa
