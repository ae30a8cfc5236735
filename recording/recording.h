// The stream recording, streamdat.bin: the bytes of the recorded records
// collected in a buffer and handed to the run's FileWriter, the header and
// placeholder records at its start, and the steps that finish it at STOP:
// end-time record, end byte, the rewrite of the placeholder records after a
// late first fix, the start time in a header the monitor built itself, the
// header rewrite and the final name.
//
// File layout: 0xF0 and the header; the 80 placeholder bytes when the first
// screen ended before any GPS message; the recorded stream (every byte after
// the first marker except header and boot-message records); the end-time
// record when a GPS message was seen; 0xEF.
//
// The layout of the start (the header's length, the placeholder) is decided
// by the first write, at the end of the first screen. So that a crash or a
// power cut before then loses no more than what Sync has not reached yet,
// Sync writes a provisional start earlier (0xF0 and the header in force, the
// stream after it: a file a reader can take as it is); the first write then
// lays the start out as decided, moving the stream written so far where the
// layout puts it. The finished file is the same either way.
//
// The recording also keeps what dating it needs from the run: the start
// fields of the first fix, and after a late first fix its text, the blocks
// before it and the settled shift that go into the rewritten start records.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_settings.h"
#include "format/records.h"
#include "recording/file_writer.h"
#include "timing/computer_clock.h"
#include "timing/gps_clock.h"

namespace voxa {

inline constexpr const char* kWorkingRecordingName = "streamdat.bin";

// What the end of a recording needs of the run.
struct RecordingEnd {
  GpsTime time;            // the GPS clock's fields
  bool gpsSeen = false;    // a GPS message was decoded in this run
  int64_t blocksSinceFix = 0;
  ClockFields startClock;  // the computer's clock at START
};

// A finished recording: the name it is to get ("" when there was none; the
// name it got, with a suffix when that was taken, is in its outcome once the
// writer has closed it), and the GPS time fields as dating the recording left them.
struct FinishedRecording {
  std::string name;
  GpsTime time;
};

class Recording {
 public:
  // Nominal size of the buffer that collects the stream between writes.
  static constexpr int32_t kBufferSize = 400000;
  // Before the recording's first write the buffer may grow up to this size,
  // so that the placeholder decision at the end of the first screen can
  // still be made.
  static constexpr int32_t kBufferGrowthLimit = 8 * 1024 * 1024;

  // The recording writes the device's header in force at its start.
  explicit Recording(const DeviceSettings& device);

  // START: a fresh recording, saved when save is set (and its file can be
  // created). The settled start shift is kept from earlier runs.
  void StartRun(bool save);
  // Creates the file through writer, never replacing one; false (and
  // nothing is saved), with the reason, when it cannot be created.
  bool Create(FileWriter& writer, const std::string& path, std::string& failure);
  // Saving is off for this run (the file must not be created).
  void Refuse() { saving_ = false; }
  bool Saving() const { return saving_; }
  // Created and not closed yet.
  bool IsOpen() const { return open_; }

  // Bytes of the stream as received, in order. Never overflows the buffer.
  void Record(Bytes bytes) {
    if (saving_) Append(bytes);
  }

  // A block of the last second of a screen: the buffer goes to the file (the
  // write never coincides with a screen set-up). At the first write, without
  // a GPS message so far, the placeholder records follow the header.
  void OnLastSecondOfScreen(bool gpsSeen);
  // A sound GPS record: the first fixes the start fields (and, once the
  // device's header is known, the name); the first after the placeholder was
  // written is kept to date the start at STOP.
  void OnSoundGps(const GpsTime& time, std::string_view text, int64_t blocksBeforeFix);
  // A shift record: after a late first fix the 26th is kept for the start.
  void OnShift(uint8_t first, uint8_t second);

  // At least once a second during a run: what is buffered goes to the file
  // (before the first write, behind a provisional start), and the file to the disk.
  void Sync();

  // STOP: the finishing steps; the file is closed and renamed.
  FinishedRecording Finish(const RecordingEnd& end);
  // The program is torn down during a run: writes what is still buffered,
  // then closes the file under its working name.
  void Abandon();
  // Closes the file as it stands, when the run never reached the stream.
  void Close();
  // The file of the last run that created one: its path, the name it got
  // and its failure, as far as the writer has got.
  FileOutcome Outcome() const;

  // The buffer goes to the file now (the first write lays out the start).
  void Flush();

  // Bytes collected and not yet written.
  Bytes Pending() const { return Bytes(buffer_.data(), static_cast<size_t>(count_)); }
  bool HeaderWritten() const { return headerWritten_; }

 private:
  void Append(Bytes bytes);
  void MakeRoom();
  void WriteProvisionalStart();
  void LayOut();
  void AppendToFile(Bytes bytes);
  void AppendToFile(std::string_view text) {
    AppendToFile(Bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  }
  // The finishing steps; they work on time, the GPS fields in force.
  void WriteEndTime(GpsTime& time, int64_t blocksSinceFix);
  void FixStartRecords(GpsTime& time);
  void FillStartTime(GpsTime& time, bool gpsSeen, const ClockFields& startClock, std::string& header);
  void BackdateFirstFix(GpsTime& time, std::string& record) const;
  std::string NameAtEnd(bool gpsSeen, const ClockFields& startClock) const;
  int32_t Rate() const;

  const DeviceSettings& device_;
  FileWriter* writer_ = nullptr;
  FileId file_ = kNoFile;
  bool open_ = false;
  bool saving_ = false;
  std::vector<uint8_t> buffer_;
  int32_t count_ = 0;
  bool startWritten_ = false;         // a start (provisional or laid out) is in the file
  int32_t provisionalHeaderLength_ = 0;
  int64_t provisionalStream_ = 0;     // stream bytes written behind the provisional start
  bool headerWritten_ = false;       // the first write has laid out the header (and placeholder)
  int32_t writtenHeaderLength_ = 0;  // the header's length at that first write
  bool placeholderDue_ = false;      // the first screen ended before any GPS message
  bool placeholderWritten_ = false;
  std::string fileName_;             // the final name, once known

  // Dating.
  bool startTimePending_ = true;     // no sound GPS record yet in this recording
  GpsTime start_;                    // the first sound record's fields
  bool startTimeFix_ = false;        // a fix came after the placeholder was written
  int64_t firstFixBlocks_ = 0;       // blocks before that fix
  std::string firstGpsText_;         // that fix's record
  bool startShiftPending_ = false;
  int32_t shiftRecordCount_ = 0;
  std::array<uint8_t, 2> startShiftPair_{0, 0};  // kept across runs
};

// The header as it is written at the start of the file: header, fitted to
// the length the first write gave it, so it never overlaps the records after
// it. A shorter header is padded with blanks; a longer one keeps the whole
// items that fit and is padded likewise.
std::vector<uint8_t> FittedHeader(Bytes header, int32_t length);

// MMDDhhmm.NNN from month, day, hour, minute and the device number, with
// characters that are not safe in a file name replaced.
std::string RecordingName(std::string_view month, std::string_view day, std::string_view hour,
                          std::string_view minute, std::string_view deviceNumber);

// Before a new recording is created at path: a non-empty file left there by a
// run that could not finish or rename it is moved aside to "streamdat-N.bin"
// (never replacing a file), an empty one is removed. The name it was moved
// to, or "" when there was nothing to keep; failure holds the reason when
// the file could not be moved aside (it must then not be created again).
struct KeptRecording {
  std::string name;
  std::string failure;
};
KeptRecording KeepUnfinishedRecording(FileStore& store, const std::string& path);

}  // namespace voxa
