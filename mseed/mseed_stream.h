// The miniSEED output of a stream: the consumer a live run and a conversion
// both drive, record by record, to write an SDS archive.
//
// It owns the dater, one packer per data channel and per state-of-health
// channel, and the archive's day files. Its methods take the records the
// separator hands on and the values their owners decoded (the GPS clock's
// fields, the time shift), so it decodes nothing twice and agrees with the
// rest of the run on what a sound GPS record is.
//
// A run drives it like this (see docs/ARCHITECTURE.md for where the run
// pipeline calls it):
//   START              StartRun(settings, device, UTC now)
//   header record      OnHeader(device)              after DeviceSettings took it
//   sample block       OnSampleBlock(block)
//   GPS record         OnGpsRecord(record, sound, clock)   after GpsClock::Decode
//   shift record       OnShiftRecord(shift)          after TimeShift::Measure
//   a record STOP cut  OnCutRecord(record)
//   STOP, a signal, a device loss: Finish()
// A record its day file already held when the run first wrote to it (the
// same channel and time span) is skipped and counted, so the same data
// archived twice is held once. Records go to the files as they fill; Finish dates what still waits,
// writes the last (shorter) records and closes every file, so a run ended at
// any moment leaves readable day files. A file that cannot be written throws
// ArchiveError from whichever call wrote; the caller then calls Finish (which
// closes what it can and may throw again) and stops writing miniSEED.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/device_settings.h"
#include "format/records.h"
#include "mseed/archive.h"
#include "mseed/codes.h"
#include "mseed/dater.h"
#include "mseed/held_records.h"
#include "mseed/packer.h"
#include "timing/gps_clock.h"
#include "timing/time_shift.h"

namespace voxa {

struct MseedSettings {
  std::string directory;          // the archive's root
  CodeChoices codes;
  bool readingRecording = false;  // the bytes are a recording (conversion, replay), not a device
  bool flushEachRecord = true;    // every record to the operating system as it is written
  int32_t holdSeconds = 600;      // longest wait for the first fix before the computer's clock dates
  // Shorter records at most once a second (ChannelPacker::SetFlushEachSecond):
  // for a live network feed, never for the archive.
  bool flushEachSecond = false;
  // The files the records go to; empty: DayFiles under directory, written here.
  std::function<std::unique_ptr<ArchiveFiles>()> openFiles;
};

struct ChannelReport {
  ChannelName name;
  int32_t rate = 0;
  ChannelStats stats;
  std::array<int64_t, 3> encodings{};  // records in Steim-2, Steim-1, 32-bit integers
};

// What an archive stream wrote.
struct ArchiveReport {
  StreamFormat format;
  std::string deviceNumber;
  std::vector<ChannelReport> channels;  // the data channels, then state of health; only those written
  DatingCounts dating;
  std::vector<std::string> files;       // relative to the archive's root
  // Records whose channel and whole time span their day file already held
  // when the run first wrote to it: not written again.
  int64_t recordsHeld = 0;
  // Records that the file partly held: written whole, so that none of their
  // new samples is lost (the archive then shows an overlap of the samples it
  // holds twice).
  int64_t recordsOverlapping = 0;
};

// What a run or a conversion says when the archive already held some of its
// records ("12 records the archive already held, not written again");
// empty when it held none.
std::string HeldRecordsText(const ArchiveReport& report);

// The temperature text of a ">XPV" record ("+23.5") in tenths of a degree.
std::optional<int32_t> TemperatureTenths(std::string_view text);

class MseedStream final : private DatedSink, private PackedRecordSink {
 public:
  // Data channels 1..3, then LCE, LCQ, LKI, GNS.
  static constexpr int32_t kChannelSlots = kMaxChannels + 4;

  MseedStream();
  ~MseedStream() override;
  MseedStream(const MseedStream&) = delete;
  MseedStream& operator=(const MseedStream&) = delete;

  void StartRun(const MseedSettings& settings, const DeviceSettings& device, Micros computerClock);
  bool Running() const { return running_; }

  void OnHeader(const DeviceSettings& device);
  void OnSampleBlock(const SampleBlock& block);
  // A record STOP cut short: a sample block takes its interval (with its
  // samples when all of them had arrived and only the next marker had not).
  void OnCutRecord(const CutRecord& record);
  void OnGpsRecord(const GpsRecord& record, bool sound, const GpsClock& clock);
  void OnShiftRecord(const TimeShift& shift);
  // What the day files hold to the disk; a run calls it with its other outputs.
  void Sync();

  ArchiveReport Finish();

  // What the archive holds so far, channel by channel: the stream's code and
  // the time of the last sample of the last record written (0 before one).
  struct Written {
    std::string stream;
    Micros lastSample = 0;
  };
  std::vector<Written> WrittenSoFar() const;

 private:
  // DatedSink.
  void OnDatedFrames(Micros start, const int32_t* frames, int32_t count, const TimeQuality& quality) override;
  void OnSecondOfHealth(const SecondOfHealth& health) override;
  // PackedRecordSink.
  void OnPackedRecord(int32_t channel, Micros dayStart, const uint8_t* record, size_t length) override;

  void OpenChannels();
  // Flushes and closes every channel, keeping what each wrote for the report.
  void CloseChannels();
  void AppendHealth(int32_t slot, Micros time, int32_t value);

  MseedSettings settings_;
  bool running_ = false;
  StreamFormat format_;
  std::string deviceNumber_;
  StreamCodes codes_;
  Micros computerClock_ = 0;
  SampleDater dater_{*this};
  std::array<ChannelPacker, kChannelSlots> packers_;
  std::vector<ChannelReport> closedReports_;  // channels a header record closed during the run
  std::unique_ptr<ArchiveFiles> files_;
  std::array<Micros, kChannelSlots> lastWritten_{};
  // What each day file written in this run held when the run first wrote to
  // it, by its relative path.
  std::map<std::string, HeldRecords> held_;
  int64_t recordsHeld_ = 0;
  int64_t recordsOverlapping_ = 0;
  bool skipNextShift_ = false;
};

}  // namespace voxa
