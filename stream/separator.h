// The stream separator: takes the device's bytes one at a time and hands
// each complete record to a RecordSink. It owns its framing state and knows
// nothing of what the records mean.
//
// Resynchronisation: every record starts with a byte of 0x80 or above, and
// every record ends at the next such byte (a shift record that a marker cuts
// short is broken), so after any damage reading simply resumes at the next
// marker. Bytes below 0x80 outside a
// record are stray: handed on as such, because the recording keeps them.
//
// The separator is pushed bytes in arrival order (Feed). Where the receive
// loop has to wait for more bytes before it may act (a marker that ended a
// record is dispatched only once a further byte has arrived; a GPS record read
// without a recording is taken only when more than 70 bytes are there), the
// wait is a state of the machine, so the outcome never depends on how the
// bytes were split into chunks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "format/records.h"

namespace voxa {

// How GPS records are framed. The device's own software reads a whole record
// up to 76 characters only while it records the stream; otherwise it takes
// exactly 70 bytes, whatever they are, and the rest of the record falls out
// as stray bytes. Both readings are kept, since they differ on damaged streams.
enum class GpsFraming : uint8_t { Whole, Blind70 };

class StreamSeparator {
 public:
  // Capacity of a header record and of one boot-message record.
  static constexpr int32_t kHeaderCapacity = 512;
  static constexpr int32_t kBootRecordLimit = 255;

  explicit StreamSeparator(RecordSink& sink);

  // Payload bytes of a valid sample block (4 per channel). May change between
  // two records, for example from inside OnHeaderRecord.
  void SetBlockPayload(int32_t bytes) { blockPayload_ = bytes; }
  void SetGpsFraming(GpsFraming framing) { gpsFraming_ = framing; }

  // A new stream: its first byte of 0x80 or above, dispatched once a further
  // byte has arrived.
  void Begin(uint8_t firstMarker);

  // Hands received bytes over, in order. Returns how many were taken: fewer
  // than count only right after a header record, so that the caller can let
  // the stream rest before it feeds the rest.
  size_t Feed(const uint8_t* data, size_t count);

  // True when the last Feed stopped after a header record.
  bool StoppedAfterHeader() const { return stoppedAfterHeader_; }

  // STOP: a record still open is handed on as cut (a boot report is ended);
  // a marker still waiting to be dispatched is dropped.
  void Finish();

 private:
  enum class State : uint8_t {
    BetweenRecords,    // the next byte is a marker or a stray byte
    MarkerPending,     // pendingMarker_ ended a record; dispatched when another byte arrives
    SampleBlock,
    GpsWhole,          // up to 76 bytes, ends early at a marker
    GpsBlind,          // exactly 70 bytes, whatever they are
    GpsBlindComplete,  // 70 bytes read; taken once a further byte is waiting
    Shift,             // 2 bytes, ends early (broken) at a marker
    Header,
    Boot,
  };

  void Dispatch(uint8_t marker);
  void EndSampleBlock(bool endedByMarker);
  void EndGpsRecord(bool cut);
  void EndHeaderRecord();
  // The line read so far ends; its bytes run up to end in the record buffer.
  void EndBootLine(size_t end);
  Bytes Record() const { return Bytes(record_.data(), recordLength_); }

  RecordSink& sink_;
  int32_t blockPayload_ = 12;
  GpsFraming gpsFraming_ = GpsFraming::Whole;
  State state_ = State::BetweenRecords;
  uint8_t pendingMarker_ = 0;
  bool stoppedAfterHeader_ = false;
  // The record being read, marker first. The largest is a header record:
  // its marker and 512 bytes of text. A GPS record that a marker cut short
  // also holds that marker, after its bytes, as the last character of its text.
  std::array<uint8_t, 1 + kHeaderCapacity> record_{};
  size_t recordLength_ = 0;
  // Boot lines: the bytes read for the current line, counted as the device's
  // software counts them (from 1, the marker's place), and where the line's
  // own bytes begin in the record buffer (0 with its marker, 1 for a line that
  // goes on past the record's limit without one).
  int32_t bootCounter_ = 0;
  size_t bootLineFrom_ = 0;
};

}  // namespace voxa
