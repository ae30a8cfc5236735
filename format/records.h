// The records the stream separator hands on, and the interface of whoever
// receives them. A record is a value that points into the separator's own
// buffer (or into the bytes just fed): it is valid only during the call that
// hands it over, so a consumer copies what it keeps.
//
// Every byte the separator takes is handed on exactly once, in order, as part
// of one record's `bytes`: the recording keeps a stream by appending the bytes
// of every record it records. The one exception is a marker that ended the
// last record when the stream stops: it began no record, so it is in none.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "format/markers.h"

namespace voxa {

using Bytes = std::span<const uint8_t>;

// A sample block: one frame of samples, 4 payload bytes per channel.
struct SampleBlock {
  uint8_t marker = kMarkerBlock;  // 0x80, 0x90 (second mark) or 0x9F
  Bytes payload;                  // as received; up to one byte more than a valid block has
  bool valid = false;             // exactly 4 bytes per channel before the next marker
  Bytes bytes;                    // marker and payload

  bool SecondMark() const { return marker == kMarkerSecondBlock; }
};

// A GPS record: 76 characters when whole.
struct GpsRecord {
  // The record's text. When a marker cut the record short, that marker stands
  // as its last character, which is how the decoder sees the record is broken.
  // Without a recording the record is read as exactly 70 bytes, whatever they are.
  std::string_view text;
  bool cut = false;  // the text holds a marker: the record is not whole
  Bytes bytes;       // marker and payload (a marker that cut it begins the next record)
};

// A shift record: two payload bytes, a 14-bit count. A marker before the
// second byte ends the record early: it is then not valid (shift bytes were
// lost), and that marker begins the next record.
struct ShiftRecord {
  uint8_t first = 0;
  uint8_t second = 0;
  bool valid = false;  // both bytes arrived
  Bytes bytes;         // marker and the bytes that arrived
};

// A header record: KEY=value items, each followed by ";". Never recorded.
struct HeaderRecord {
  Bytes text;   // up to 512 bytes, without the marker
  Bytes bytes;  // marker and text
};

// One line of the device's start-up report, cut from a boot-message record.
// Boot-message records are never recorded.
struct BootLine {
  std::string_view text;
  Bytes bytes;  // its marker (a line past a record's limit has none) and what follows it
};

// Bytes outside any record: payload bytes where no record is open, and the
// marker of an unlisted record kind, whose payload then follows as stray bytes.
struct StrayBytes {
  Bytes bytes;
  bool unlistedMarker = false;  // bytes is that one marker
};

// The kinds of record the stream carries, for a record STOP cut short.
enum class RecordKind : uint8_t { SampleBlock, Gps, Shift, Header, Boot };

// A record that STOP cut short: it is not interpreted, but what arrived of it
// belongs to the stream as received.
struct CutRecord {
  RecordKind kind = RecordKind::SampleBlock;
  Bytes bytes;
};

class RecordSink {
 public:
  virtual ~RecordSink() = default;
  virtual void OnSampleBlock(const SampleBlock& block) = 0;
  virtual void OnGpsRecord(const GpsRecord& record) = 0;
  virtual void OnShiftRecord(const ShiftRecord& record) = 0;
  virtual void OnHeaderRecord(const HeaderRecord& record) = 0;
  // A run of boot-message records: begins at its first marker, one call per
  // line, and ends at the first marker of another kind (or at STOP).
  virtual void OnBootBegin() = 0;
  virtual void OnBootLine(const BootLine& line) = 0;
  virtual void OnBootEnd() = 0;
  virtual void OnStrayBytes(const StrayBytes& stray) = 0;
  virtual void OnCutRecord(const CutRecord& record) = 0;
};

}  // namespace voxa
