// The run pipeline: the one place where a run's records meet the parts that
// own the state they change. The separator turns bytes into records; each
// record goes to its owners, in the order the device's stream defines:
//
//   sample block  -> recording, GPS clock (block count), block statistics and
//                    the error list, screen (store, plot, checks)
//   GPS record    -> recording, GPS clock, the error list, recording dating
//   shift record  -> recording, time shift, recording dating, shift list
//   header record -> device settings, separator (block size), screen; a
//                    record without KEY=value; items only gets a boot line
//   boot lines    -> the boot window
//   stray bytes   -> recording
//
// Beside each owner named, the live miniSEED archive (MseedStream) takes the
// same records with the same values a conversion hands it, so the archive a
// run writes is the one voxa-convert makes of its recording.
//
// A new output of the stream is one more owner called from here, never new
// calls inside the separator. The pipeline lives as long as the program:
// the parameters, the zoom and scales, the GPS clock's fields and the settled
// start shift persist from one run to the next; StartRun resets the rest.
#pragma once

#include <cstddef>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/psd.h"
#include "analysis/screen.h"
#include "analysis/surface.h"
#include "device/device_settings.h"
#include "format/records.h"
#include "mseed/dater.h"
#include "mseed/mseed_stream.h"
#include "pipeline/host.h"
#include "pipeline/run_options.h"
#include "recording/recording.h"
#include "recording/run_lists.h"
#include "seedlink/seedlink_feed.h"
#include "stream/separator.h"
#include "timing/block_statistics.h"
#include "timing/computer_clock.h"
#include "timing/gps_clock.h"
#include "timing/time_shift.h"

namespace voxa {

// Where a run's files go.
struct OutputPaths {
  std::string errorList;
  std::string shiftList;
  std::string stream;  // the recording's working name; renamed when it is finished
  std::string archive;  // the miniSEED archive's root
  // error.csv, shift.csv, streamdat.bin and the archive mseed/ in directory.
  static OutputPaths In(const std::string& directory);
};

// The files a run asked for that could not be created, each with the reason
// for the operator.
struct OutputFailures {
  bool errorList = false;
  bool shiftList = false;
  bool stream = false;
  bool archive = false;
  std::string errorListFailure;
  std::string shiftListFailure;
  std::string streamFailure;
  std::string archiveFailure;
  std::string keptUnfinished;  // an earlier unfinished recording moved aside to this name
};

class RunPipeline final : private RecordSink {
 public:
  // How long the stream rests after a header record, so the operator sees it arrive.
  static constexpr int kHeaderRestMs = 1000;

  RunPipeline(Host& host, Surface& surface);
  RunPipeline(const RunPipeline&) = delete;
  RunPipeline& operator=(const RunPipeline&) = delete;

  // Program start: the parameters, screen length and live choices.
  void Configure(const MonitorOptions& options);
  // The writer the run's files go through from the next OpenOutputs on. By
  // default the pipeline's own, which writes at once on the caller's thread.
  void UseWriter(FileWriter& writer) { writer_ = &writer; }
  FileWriter& Writer() { return *writer_; }

  // --- A run, in order ------------------------------------------------------
  // START: resets the run and builds the header in force, from config.txt at
  // configPath when options.loadExtHeader and the file can be read (then true).
  bool StartRun(const RunOptions& options, const std::string& configPath);
  // The run is about to connect: the filter is set up and the computer's
  // clock at START is kept for dating a recording without GPS; utcStart (the
  // same instant in UTC) dates the miniSEED archive until the first fix.
  void Arm(const ClockFields& startClock, Micros utcStart = 0);
  // Between runs: the bytes to come are a recording played back (replay),
  // not a device: its rewritten start records are taken as a conversion
  // takes them, and its GPS records are whole.
  void SetReplay(bool replaying) { replaying_ = replaying; }
  // Creates the files the run's options ask for; the lists empty, or when
  // continueLists written on after the lines of the runs before. A file that
  // cannot be created is off for this run; so is the recording when an
  // unfinished one left at its path cannot be moved aside.
  OutputFailures OpenOutputs(const OutputPaths& paths, bool continueLists = false);
  // The first byte of 0x80 or above has arrived.
  void StartStream(uint8_t firstMarker);
  // Received bytes, in order. Returns how many were taken: fewer than count
  // when the stream is to rest (RestMilliseconds) before the rest is fed.
  size_t Feed(const uint8_t* data, size_t count);
  int RestMilliseconds() const { return restMs_; }
  // At least once a second during a run: what the outputs hold goes to the
  // files and the files to the disk.
  void SyncOutputs();
  // The run's end (STOP, a lost device, a failed write): the recording is
  // finished and named. Its name is SavedRecording() once the writer has done it.
  void Finish();
  // The program is torn down during a run: what is buffered is written, and
  // the recording is closed under its working name.
  void Abandon();
  // Closes whatever output is still open (after Finish, the lists).
  void CloseOutputs();
  // The live SeedLink feed: from the next OpenOutputs on, every run's
  // stream is also dated and packed into ring (null: off). The ring must
  // outlive the pipeline or the next call.
  void FeedSeedLink(PacketRing* ring);
  bool FeedingSeedLink() const { return feed_ != nullptr && feed_->Running(); }
  // The miniSEED archive is being written in this run.
  bool SavingArchive() const { return archiveOn_; }
  // What the archive of the last finished run holds.
  const ArchiveReport& Archive() const { return archive_; }
  // The name the recording Finish finished got, once the writer has closed
  // it; "" before, and when no recording was finished in this run.
  std::string SavedRecording() const;

  // --- The operator ---------------------------------------------------------
  // Between runs.
  void SetParameters(const DeviceParameters& parameters);
  // At any time.
  void ZoomIn() { screen_.ZoomIn(); }
  void ZoomOut() { screen_.ZoomOut(device_.Format()); }
  void IncreaseAmplitude() { screen_.IncreaseAmplitude(device_.Parameters().channels); }
  void DecreaseAmplitude() { screen_.DecreaseAmplitude(device_.Parameters().channels); }
  void ResizePlot(int32_t width, int32_t height) { screen_.ResizePlot(width, height); }
  void SetResetOffset(bool on) { screen_.SetResetOffset(on); }
  // Switched on in the middle of a run, the filter starts from a set-up for
  // the rate in force rather than from whatever its last set-up left.
  void SetHighPass(bool on, bool running);

  // --- What the window and tests read ---------------------------------------
  const DeviceSettings& Device() const { return device_; }
  const Screen& ScreenState() const { return screen_; }
  const BlockStatistics& Statistics() const { return statistics_; }
  const GpsClock& Clock() const { return clock_; }
  const TimeShift& Shift() const { return shift_; }
  const Recording& Stream() const { return recording_; }
  const RunLists& Lists() const { return lists_; }
  const MseedStream& ArchiveStream() const { return archiveStream_; }
  // The noise PSD of each channel of the stream in force (read-only); off
  // when the noise options switched it off or the rate has too few samples.
  int32_t NoiseChannels() const { return noiseOn_ ? noiseChannels_ : 0; }
  const ChannelPsd& Noise(int32_t channel) const { return noise_[static_cast<size_t>(channel)]; }
  const NoiseOptions& NoiseSettings() const { return noiseOptions_; }
  // The channels' stream codes (NET.STA.LOC.CHA) as the archive would file them.
  std::vector<std::string> StreamCodeTexts() const;
  // Between runs: the sensor (the window or the command line), from the next run on.
  void SetSensor(const SensorResponse& sensor) { noiseOptions_.sensor = sensor; }
  bool SavingStream() const { return recording_.Saving(); }
  // Seams for tests.
  DeviceSettings& MutableDevice() { return device_; }
  Screen& MutableScreen() { return screen_; }
  BlockStatistics& MutableStatistics() { return statistics_; }
  GpsClock& MutableClock() { return clock_; }

 private:
  // RecordSink.
  void OnSampleBlock(const SampleBlock& block) override;
  void OnGpsRecord(const GpsRecord& record) override;
  void OnShiftRecord(const ShiftRecord& record) override;
  void OnHeaderRecord(const HeaderRecord& record) override;
  void OnBootBegin() override;
  void OnBootLine(const BootLine& line) override;
  void OnBootEnd() override;
  void OnStrayBytes(const StrayBytes& stray) override;
  void OnCutRecord(const CutRecord& record) override;

  // One step of the archive; a failure ends the archive for the run (its
  // files are closed) and is reported with the run's other file failures.
  template <typename Step>
  void ToArchive(Step&& step);
  void EndArchive(const std::string& failure);

  // An error-list line: to the list when it is saved, and to the host,
  // which counts on seeing every one (a station logs them).
  void ListError(std::string_view line);
  // The noise PSD: dated samples in, a bounded step of work now and then.
  class NoiseFeed final : public DatedSink {
   public:
    explicit NoiseFeed(RunPipeline& pipeline) : pipeline_(pipeline) {}
    void OnDatedFrames(Micros start, const int32_t* frames, int32_t count, const TimeQuality& quality) override;
    void OnSecondOfHealth(const SecondOfHealth&) override {}

   private:
    RunPipeline& pipeline_;
  };
  void StartNoise();
  void WorkNoise();

  void ShowNotes(const Notes& notes);
  void ShowCount(Label label, int64_t value, int64_t& shown);
  void ShowResults(const ScreenResults& results);

  Host& host_;
  Surface& surface_;

  // The owners, each the one writer of its state.
  DeviceSettings device_;
  GpsClock clock_;
  TimeShift shift_;
  BlockStatistics statistics_;
  Screen screen_;
  Recording recording_{device_};
  RunLists lists_;
  StreamSeparator separator_{*this};

  PosixFileStore fileStore_;
  FileWriter ownWriter_{fileStore_};
  FileWriter* writer_ = &ownWriter_;
  bool recordingFinished_ = false;

  MseedStream archiveStream_;
  std::unique_ptr<SeedLinkFeed> feed_;  // the network's own dated stream, when a ring is fed
  bool archiveOn_ = false;
  bool replaying_ = false;
  Micros archiveStart_ = 0;
  ArchiveReport archive_;
  std::string archiveDirectory_;
  CodeChoices codes_;

  NoiseOptions noiseOptions_;
  NoiseFeed noiseFeed_{*this};
  SampleDater noiseDater_{noiseFeed_};
  std::array<ChannelPsd, kMaxChannels> noise_;
  int32_t noiseChannels_ = 0;
  static constexpr int32_t kNoiseWorkBlocks = 16;
  int32_t noiseNext_ = 0;    // the channel whose due step is done next
  int32_t noiseBlocks_ = 0;  // blocks since the last step
  bool noiseOn_ = false;

  RunOptions options_;      // the run's options as START copied them
  ClockFields startClock_;  // the computer's clock at START
  int restMs_ = 0;
  bool headerTaken_ = false;  // the last header record replaced the header in force
  // Last values shown in the error labels, so a label is only touched on change.
  int64_t shownBlockErrors_ = -1;
  int64_t shownSecErrors_ = -1;
  int64_t shownRateErrors_ = -1;
};

}  // namespace voxa
