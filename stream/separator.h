// The receive loop's stream separator: takes the device's bytes one at a time
// and hands each record to the code that interprets it.
//
// Resynchronisation: every record starts with a byte of 0x80 or above, and
// every record but the shift record ends at the next such byte, so after any
// damage reading simply resumes at the next marker. Bytes below 0x80 outside a
// record are stray: skipped (and recorded, because the recording keeps them).
//
// The separator is pushed bytes in arrival order (Feed). Where the receive
// loop has to wait for more bytes before it may act (a marker that ended a
// record is dispatched only once a further byte has arrived; a GPS record read
// while not recording is taken only when more than 70 bytes are there), the
// wait is a state of the machine, so the outcome never depends on how the
// bytes were split into chunks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "analysis/surface.h"
#include "stream/acquisition.h"
#include "stream/host.h"

namespace voxa {

class StreamSeparator {
 public:
  // How long the stream rests after a header record, so the operator sees it arrive.
  static constexpr int kHeaderPauseMs = 1000;

  StreamSeparator(Acquisition& a, Host& host, Surface& surface);

  // The first byte of 0x80 or above, read while waiting for the device. It is
  // dispatched once a further byte has arrived.
  void Begin(uint8_t firstMarker);

  // Hands received bytes over, in order. Returns how many were taken: fewer
  // than count only when a record asks the stream to rest (a header record);
  // the caller keeps the rest and feeds it after PauseMilliseconds().
  size_t Feed(const uint8_t* data, size_t count);

  // How long the stream rests after Feed returned early; 0 otherwise.
  int PauseMilliseconds() const { return pauseMs_; }

  // STOP: the partial record is dropped; the recording is finished (flush,
  // end-time record, end byte, start fixes, header) and given its final name.
  // Returns the file name the recording got ("" when nothing was recorded).
  std::string Finish();

  // The run ends by an error: what is still buffered is written if possible,
  // and the recording is closed as it stands, under its working name.
  void Abandon();

 private:
  enum class State : uint8_t {
    BetweenRecords,    // the next byte is a marker or a stray byte
    MarkerPending,     // MarkerByte ended a record; dispatched when another byte arrives
    SampleBlock,
    GpsRecorded,       // recording on: up to 76 bytes, ends early at a marker
    GpsBlind,          // recording off: exactly 70 bytes, whatever they are
    GpsBlindComplete,  // 70 bytes read; taken once a further byte is waiting
    Shift,             // exactly 2 bytes, whatever they are
    Header,
    Boot,
  };

  void Dispatch();  // MarkerByte has been read (and recorded): enter its record
  void EndSampleBlock();
  void EndGpsRecord();
  void EndShiftRecord();
  void EndHeaderRecord();
  void EndBootLine();
  void EndBootRecords();
  void ShowCount(Label label, int32_t value, int32_t& shown);

  Acquisition& a_;
  Host& host_;
  Surface& surface_;
  State state_ = State::BetweenRecords;
  int pauseMs_ = 0;
  int32_t counter_ = 0;
  // A header record is read aside and replaces the header in force only when
  // complete, so a STOP in the middle never leaves a half-overwritten header.
  std::array<uint8_t, kHeaderCapacity> headerBytes_{};
  std::string bootText_;
  // Last values shown in the error labels, so a label is only touched on change.
  int32_t shownBlockErrors_ = -1;
  int32_t shownSecErrors_ = -1;
  int32_t shownSpsErrors_ = -1;
};

}  // namespace voxa
