// The run pipeline, read top to bottom: a run's set-up, then one handler per
// record kind, then the run's end.
#include "pipeline/run_pipeline.h"

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>

#include "format/gps_record.h"
#include "format/number_text.h"
#include "pipeline/archive_files.h"

namespace voxa {

RunPipeline::RunPipeline(Host& host, Surface& surface) : host_(host), surface_(surface) {}

void RunPipeline::Configure(const MonitorOptions& options) {
  device_.SetParameters(options.parameters);
  screen_.SetScreenSeconds(options.screenSeconds);
  screen_.RestoreCapacity(device_.Format());
  screen_.SetResetOffset(options.run.resetOffset);
  screen_.SetHighPass(options.run.highPass);
  options_ = options.run;
  archiveDirectory_ = options.mseedDirectory;
  codes_ = options.codes;
  noiseOptions_ = options.noise;
}

void RunPipeline::SetParameters(const DeviceParameters& parameters) {
  device_.SetParameters(parameters);
}

void RunPipeline::SetHighPass(bool on, bool running) {
  screen_.SetHighPass(on);
  if (on && running) screen_.HighPass().Init(device_.Parameters().rate);
}

// --- A run's set-up ---------------------------------------------------------------

bool RunPipeline::StartRun(const RunOptions& options, const std::string& configPath) {
  options_ = options;
  device_.StartRun();
  clock_.StartRun();
  shift_.StartRun();
  statistics_.StartRun();
  screen_.StartRun(options.autoScale, options.resetOffset, device_.Format());
  recording_.StartRun(options.saveStream);
  recordingFinished_ = false;
  restMs_ = 0;

  Notes notes;
  const bool loaded = device_.LoadConfiguration(configPath, options.loadExtHeader, notes);
  ShowNotes(notes);
  screen_.RestoreCapacity(device_.Format());
  return loaded;
}

void RunPipeline::Arm(const ClockFields& startClock, Micros utcStart) {
  if (screen_.HighPassOn()) screen_.HighPass().Init(device_.Parameters().rate);
  startClock_ = startClock;
  archiveStart_ = utcStart;
}

OutputPaths OutputPaths::In(const std::string& directory) {
  namespace fs = std::filesystem;
  const fs::path dir(directory);
  return {(dir / "error.csv").string(), (dir / "shift.csv").string(), (dir / kWorkingRecordingName).string(),
          (dir / "mseed").string()};
}

OutputFailures RunPipeline::OpenOutputs(const OutputPaths& paths, bool continueLists) {
  OutputFailures failures;
  const RunLists::Created created = lists_.Create(*writer_, options_.saveErrorList, paths.errorList,
                                                  options_.saveShift, paths.shiftList, continueLists);
  failures.errorList = !created.errorList;
  failures.shiftList = !created.shiftList;
  failures.errorListFailure = created.errorListFailure;
  failures.shiftListFailure = created.shiftListFailure;
  if (recording_.Saving()) {
    // A recording that an earlier run left under the working name is kept,
    // never overwritten by this one; when it cannot be moved aside, this
    // run records nothing.
    const KeptRecording kept = KeepUnfinishedRecording(writer_->Store(), paths.stream);
    failures.keptUnfinished = kept.name;
    if (!kept.failure.empty()) {
      recording_.Refuse();
      failures.stream = true;
      failures.streamFailure = kept.failure;
    } else {
      failures.stream = !recording_.Create(*writer_, paths.stream, failures.streamFailure);
    }
  }
  archiveOn_ = false;
  archive_ = {};
  if (feed_) feed_->StartRun(device_, codes_, replaying_, archiveStart_);
  if (options_.saveMseed) {
    // The archive's root must exist and take files now; a day file that
    // cannot be created later ends the archive with a failure.
    // A full path, so that a message about a day file says where it is.
    std::error_code made;
    std::string root = archiveDirectory_.empty() ? paths.archive : archiveDirectory_;
    if (const std::filesystem::path full = std::filesystem::absolute(root, made); !made) root = full.string();
    std::filesystem::create_directories(root, made);
    const int error = made ? made.value() : (::access(root.c_str(), W_OK | X_OK) != 0 ? errno : 0);
    if (error != 0) {
      failures.archive = true;
      failures.archiveFailure = "Cannot create the miniSEED archive in " + root + ": " + std::strerror(error);
    } else {
      MseedSettings settings;
      settings.directory = root;
      settings.codes = codes_;
      settings.readingRecording = replaying_;
      FileWriter& writer = *writer_;
      settings.openFiles = [&writer, root] { return std::make_unique<WriterDayFiles>(writer, root); };
      archiveStream_.StartRun(settings, device_, archiveStart_);
      archiveOn_ = true;
    }
  }
  return failures;
}

void RunPipeline::StartStream(uint8_t firstMarker) {
  separator_.SetBlockPayload(device_.Format().BlockPayload());
  separator_.SetGpsFraming(recording_.Saving() || replaying_ ? GpsFraming::Whole : GpsFraming::Blind70);
  separator_.Begin(firstMarker);
  StartNoise();
  restMs_ = 0;
  shownBlockErrors_ = shownSecErrors_ = shownRateErrors_ = -1;
}

size_t RunPipeline::Feed(const uint8_t* data, size_t count) {
  restMs_ = 0;
  size_t taken = 0;
  for (;;) {
    headerTaken_ = false;
    taken += separator_.Feed(data + taken, count - taken);
    if (!separator_.StoppedAfterHeader()) break;
    // The stream rests after the device's header, not after a record that
    // was ignored: that one goes on at once.
    if (headerTaken_) {
      restMs_ = kHeaderRestMs;
      break;
    }
    if (taken == count) break;
  }
  return taken;
}

// --- The records -----------------------------------------------------------------

void RunPipeline::OnSampleBlock(const SampleBlock& block) {
  recording_.Record(block.bytes);
  clock_.CountBlock();
  if (archiveOn_) ToArchive([&] { archiveStream_.OnSampleBlock(block); });
  if (noiseOn_) {
    noiseDater_.OnBlock(block);
    WorkNoise();
  }
  if (feed_) feed_->OnSampleBlock(block);

  const StreamFormat format = device_.Format();
  const BlockVerdict verdict =
      statistics_.Count(block, format.rate, clock_.Time().secondOfDay, screen_.FirstScreen());
  if (block.valid) screen_.StoreFrame(block, format.channels);
  if (verdict.blockError) ListError(BlockErrorLine(verdict.blocksBefore, verdict.payloadBytes));
  if (verdict.secondError) ListError(SecondErrorLine(clock_.Time(), verdict.secondDifference));
  if (verdict.rateError) {
    const std::string line = RateErrorLine(clock_.Time(), verdict.blocksSinceMark);
    lists_.Shift(line);
    ListError(line);
  }

  // The last second of a screen: the recording is written block by block now.
  if (screen_.CollectingLastSecond()) {
    recording_.OnLastSecondOfScreen(clock_.Seen());
    screen_.LeaveFirstScreen();
  }

  if (verdict.blockError) ShowCount(Label::BlockErrors, statistics_.BlockErrors(), shownBlockErrors_);
  if (verdict.secondError) ShowCount(Label::SecErrors, statistics_.SecondErrors(), shownSecErrors_);
  if (verdict.rateError) ShowCount(Label::SpsErrors, statistics_.RateErrors(), shownRateErrors_);

  if (screen_.SecondComplete(format.rate)) {
    const std::optional<ScreenResults> results = screen_.PlotSecond(surface_, format, device_.Parameters().gain);
    if (results) ShowResults(*results);
    host_.Repaint();
  }
}

void RunPipeline::OnGpsRecord(const GpsRecord& record) {
  recording_.Record(record.bytes);
  const bool sound = clock_.Decode(record.text);
  // A broken record too: it may carry the temperature.
  if (archiveOn_) ToArchive([&] { archiveStream_.OnGpsRecord(record, sound, clock_); });
  // A replayed recording's placeholder carries no time (as for the archive).
  if (noiseOn_ && sound &&
      !(replaying_ && std::string_view(record.text).substr(0, gps_text::kRecordLength) == kPlaceholderGpsText)) {
    if (const std::optional<Micros> time = UtcOfGpsTime(clock_.Time())) {
      noiseDater_.OnSoundGps(*time, TextToInt(clock_.Satellites()));
    }
  }
  if (feed_) feed_->OnGpsRecord(record, sound, clock_);
  if (!sound) {
    // A broken record leaves the clock, satellites and temperature as shown.
    ListError(GpsErrorLine());
    return;
  }
  recording_.OnSoundGps(clock_.Time(), record.text, clock_.BlocksBeforeLastFix());
  host_.ShowLabel(Label::GpsClock, clock_.Time().ClockText());
  host_.ShowLabel(Label::Sats, clock_.Satellites());
  if (clock_.TemperatureAvailable()) host_.ShowLabel(Label::Temp, clock_.Temperature());
}

void RunPipeline::OnShiftRecord(const ShiftRecord& record) {
  recording_.Record(record.bytes);
  // A record a marker cut short has no shift to measure, log or show.
  if (!record.valid) return;
  shift_.Measure(record.first, record.second);
  if (archiveOn_) ToArchive([&] { archiveStream_.OnShiftRecord(shift_); });
  if (feed_) feed_->OnShiftRecord(shift_);
  recording_.OnShift(record.first, record.second);
  lists_.Shift(ShiftLine(clock_.Time(), shift_.Raw()));
  host_.ShowLabel(Label::Shift, ShiftLabelText(shift_.Micros()));
}

void RunPipeline::OnHeaderRecord(const HeaderRecord& record) {
  // Header records are not part of the recorded stream.
  const StreamFormat before = device_.Format();
  Notes notes;
  headerTaken_ = device_.ReplaceHeader(record.text, notes);
  ShowNotes(notes);
  // A record that is not the device's header changes nothing but that note.
  if (!headerTaken_) return;

  const StreamFormat after = device_.Format();
  separator_.SetBlockPayload(after.BlockPayload());
  screen_.RestoreCapacity(after);
  // The frames of this screen were stored with the old layout; a fresh
  // screen starts rather than draw or check them with the new one.
  if (after.rate != before.rate || after.channels != before.channels) {
    screen_.StartFreshScreen();
    // The samples so far are dated with the old layout; the PSDs start again.
    if (noiseOn_) noiseDater_.Finish();
    StartNoise();
  }
  if (screen_.HighPassOn()) screen_.HighPass().Init(after.rate);
  if (archiveOn_) ToArchive([&] { archiveStream_.OnHeader(device_); });
  if (feed_) feed_->OnHeader(device_);
  host_.ShowDeviceHeader(device_);
  host_.ShowStatus(" VOXA Header received ", StatusColour::Lime);

  // One boot-window line per item; text after the last ";" is not listed.
  std::string line;
  for (const uint8_t byte : device_.HeaderBytes()) {
    const char c = static_cast<char>(byte);
    if (c == ';') {
      host_.AppendBootLine(line);
      line.clear();
    } else {
      line.push_back(c);
    }
  }
  host_.Repaint();
}

void RunPipeline::OnBootBegin() { host_.ShowBootWindow(); }

void RunPipeline::OnBootLine(const BootLine& line) { host_.AppendBootLine(line.text); }

void RunPipeline::OnBootEnd() { host_.RaiseMainWindow(); }

void RunPipeline::OnStrayBytes(const StrayBytes& stray) { recording_.Record(stray.bytes); }

void RunPipeline::OnCutRecord(const CutRecord& record) {
  // What arrived of a record before STOP is recorded but not interpreted;
  // header and boot-message records are never recorded.
  if (archiveOn_) ToArchive([&] { archiveStream_.OnCutRecord(record); });
  if (noiseOn_ && record.kind == RecordKind::SampleBlock) noiseDater_.OnCutBlock();
  if (feed_) feed_->OnCutRecord(record);
  switch (record.kind) {
    case RecordKind::SampleBlock:
      clock_.CountBlock();
      recording_.Record(record.bytes);
      break;
    case RecordKind::Gps:
    case RecordKind::Shift:
      recording_.Record(record.bytes);
      break;
    case RecordKind::Header:
    case RecordKind::Boot:
      break;
  }
}

// --- The run's end --------------------------------------------------------------------

void RunPipeline::SyncOutputs() {
  recording_.Sync();
  lists_.Sync();
  if (archiveOn_) ToArchive([&] { archiveStream_.Sync(); });
}

template <typename Step>
void RunPipeline::ToArchive(Step&& step) {
  try {
    step();
  } catch (const std::exception& e) {
    EndArchive(e.what());
  }
}

void RunPipeline::EndArchive(const std::string& failure) {
  archiveOn_ = false;
  if (!failure.empty()) writer_->ReportFailure(failure);
  // What waits is dated and written, every file closed; a second failure on
  // the way adds nothing the first did not say.
  try {
    archive_ = archiveStream_.Finish();
  } catch (const std::exception& e) {
    if (failure.empty()) writer_->ReportFailure(e.what());
  }
  // Once a run: a replay into the archive it was archived in, or a station
  // restarted on data it had written, wrote those records once only.
  if (const std::string text = HeldRecordsText(archive_); !text.empty()) host_.AppendBootLine("miniSEED: " + text);
}

void RunPipeline::FeedSeedLink(PacketRing* ring) {
  if (feed_) feed_->Finish();
  feed_ = ring != nullptr ? std::make_unique<SeedLinkFeed>(*ring) : nullptr;
}

void RunPipeline::Finish() {
  separator_.Finish();
  restMs_ = 0;
  if (archiveOn_) EndArchive("");
  if (noiseOn_) {
    // What waits for its time is dated, and the windows it completes are done.
    noiseDater_.Finish();
    for (int32_t ch = 0; ch < noiseChannels_; ++ch) noise_[static_cast<size_t>(ch)].Drain();
  }
  if (feed_) feed_->Finish();
  if (recording_.Saving() && recording_.IsOpen()) {
    const FinishedRecording finished =
        recording_.Finish({clock_.Time(), clock_.Seen(), clock_.BlocksSinceFix(), startClock_});
    recordingFinished_ = true;
    // The fields the recording was dated with stay in force until the next
    // sound GPS record: lines written before it carry them.
    clock_.KeepTime(finished.time);
  }
  host_.Repaint();
}

void RunPipeline::Abandon() {
  separator_.Finish();
  restMs_ = 0;
  if (archiveOn_) EndArchive("");
  if (feed_) feed_->Finish();
  recording_.Abandon();
}

void RunPipeline::CloseOutputs() {
  recording_.Close();
  lists_.Close();
}

std::string RunPipeline::SavedRecording() const {
  if (!recordingFinished_) return "";
  const FileOutcome outcome = recording_.Outcome();
  return outcome.closed ? outcome.name : "";
}

// --- The noise PSD ---------------------------------------------------------------------

void RunPipeline::StartNoise() {
  noiseOn_ = false;
  noiseChannels_ = 0;
  if (!noiseOptions_.enabled) return;
  const StreamFormat format = device_.Format();
  PsdSettings settings;
  settings.windowSeconds = noiseOptions_.windowSeconds;
  settings.keepSeconds = noiseOptions_.keepSeconds;
  for (int32_t ch = 0; ch < format.channels; ++ch) {
    if (!noise_[static_cast<size_t>(ch)].Start(format.rate, device_.Parameters().gain, noiseOptions_.sensor, settings)) {
      return;
    }
  }
  DaterSettings dating;
  dating.format = format;
  dating.computerClock = archiveStart_;
  dating.readingRecording = replaying_;
  noiseDater_.Start(dating);
  noiseChannels_ = format.channels;
  noiseNext_ = 0;
  noiseBlocks_ = 0;
  noiseOn_ = true;
}

void RunPipeline::NoiseFeed::OnDatedFrames(Micros start, const int32_t* frames, int32_t count, const TimeQuality&) {
  RunPipeline& p = pipeline_;
  for (int32_t ch = 0; ch < p.noiseChannels_; ++ch) p.noise_[static_cast<size_t>(ch)].Add(start, frames + ch, count, p.noiseChannels_);
}

void RunPipeline::WorkNoise() {
  // One step of one channel's PSD every kNoiseWorkBlocks blocks, the
  // channels in turn. A read brings hundreds of blocks, so a step per block
  // would add up to whole windows in one read; this pace still does a
  // window's work many times faster than the stream brings it.
  if (++noiseBlocks_ < kNoiseWorkBlocks) return;
  noiseBlocks_ = 0;
  for (int32_t tried = 0; tried < noiseChannels_; ++tried) {
    ChannelPsd& psd = noise_[static_cast<size_t>(noiseNext_)];
    noiseNext_ = (noiseNext_ + 1) % noiseChannels_;
    if (psd.Work()) return;
  }
}

std::vector<std::string> RunPipeline::StreamCodeTexts() const {
  const StreamFormat format = device_.Format();
  const StreamCodes codes = ResolveCodes(codes_, format.rate, format.channels, device_.DeviceNumber());
  std::vector<std::string> texts;
  for (int32_t ch = 0; ch < format.channels; ++ch) {
    texts.push_back(codes.network + "." + codes.station + "." + codes.location + "." +
                    codes.channels[static_cast<size_t>(ch)]);
  }
  return texts;
}

// --- Showing ----------------------------------------------------------------------------

void RunPipeline::ListError(std::string_view line) {
  lists_.Error(line);
  host_.NoteErrorLine(line);
}

void RunPipeline::ShowNotes(const Notes& notes) {
  for (const std::string& note : notes) host_.AppendBootLine(note);
}

void RunPipeline::ShowCount(Label label, int64_t value, int64_t& shown) {
  if (value == shown) return;
  shown = value;
  host_.ShowLabel(label, std::to_string(value));
}

void RunPipeline::ShowResults(const ScreenResults& results) {
  for (int ch = 0; ch < results.channels; ++ch) {
    if (results.dynamicRange[ch]) host_.ShowLabel(NoiseLabel(ch), *results.dynamicRange[ch]);
    if (results.offset[ch]) host_.ShowLabel(OffsetLabel(ch), *results.offset[ch]);
    host_.ShowLabel(VoltLabel(ch), results.peakToPeak[ch]);
  }
}

}  // namespace voxa
