// The converter: reads a recording through the same stream separator and
// record types as a live run and writes it into an SDS archive through an
// MseedStream.
//
// What it understands of a recording (recording/recording.h has the layout):
// - the leading header record (0xF0 and the header): it gives the rate, the
//   channels and the device number, and its S_DATE/S_TIME the start time a
//   recording without GPS is dated from (the monitor writes its clock at
//   START there when it built the header itself);
// - the placeholder records after it (no time, skipped) and the start
//   records that replace them after a late first fix (the dater tells them
//   apart);
// - the end-time record (0xE0, E_TIME/E_DATE) and the end byte (0xEF): a
//   recording without its end byte is a streamdat.bin left by a run that
//   failed, or a file cut short; what it holds is converted all the same.
//
// A file is a recording when it begins with the header record: the byte
// 0xF0 followed by KEY=value items. Anything else (an empty file, a device's
// raw stream, another file) is not converted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/device_settings.h"
#include "mseed/mseed_stream.h"
#include "stream/separator.h"
#include "timing/gps_clock.h"
#include "timing/time_shift.h"

namespace voxa {

struct ConversionResult {
  bool usable = false;
  std::string problem;             // why nothing was converted, when not usable
  std::vector<std::string> notes;  // what the operator should know about what was converted
  bool finished = false;           // the recording ends with its end byte
  std::string endTime;             // the end-time record's E_TIME and E_DATE, when present
  int64_t bytes = 0;
  ArchiveReport archive;
};

class RecordingConverter final : private RecordSink {
 public:
  // settings.readingRecording is set by the converter.
  explicit RecordingConverter(MseedSettings settings);
  RecordingConverter(const RecordingConverter&) = delete;
  RecordingConverter& operator=(const RecordingConverter&) = delete;

  // Converts the recording at path. Throws ArchiveError when the archive
  // cannot be written.
  ConversionResult Convert(const std::string& path);

 private:
  void OnSampleBlock(const SampleBlock& block) override;
  void OnGpsRecord(const GpsRecord& record) override;
  void OnShiftRecord(const ShiftRecord& record) override;
  void OnHeaderRecord(const HeaderRecord& record) override;
  void OnBootBegin() override {}
  void OnBootLine(const BootLine&) override {}
  void OnBootEnd() override {}
  void OnStrayBytes(const StrayBytes& stray) override;
  void OnCutRecord(const CutRecord& record) override;

  MseedSettings settings_;
  DeviceSettings device_;
  GpsClock clock_;
  TimeShift shift_;
  MseedStream stream_;
  StreamSeparator separator_{*this};
  bool inEndTime_ = false;  // stray bytes now belong to the end-time record
  std::string endTime_;
  std::vector<std::string> notes_;
};

// The start time a recording's header states (S_DATE=yy/mm/dd, S_TIME=hh:mm:ss), as UTC.
std::optional<Micros> HeaderStartTime(std::string_view header);

// What the first bytes of a file (up to its first megabyte) say about it as
// a recording: problem is "" for one that begins with its header record.
struct RecordingOpening {
  std::string problem;   // "is empty: not a recording", "is not a recording: ..."
  size_t headerEnd = 0;  // the header record's end: the first marker after it, or where it was cut
  std::string_view header;  // the header's text, inside the bytes given
};
RecordingOpening InspectRecording(const uint8_t* data, size_t count);
// The time a recording without GPS is dated from: the start time in its
// header, or failing that the file's last change.
Micros RecordingStartTime(std::string_view header, const std::string& path);

}  // namespace voxa
