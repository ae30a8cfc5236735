#include "mseed/mseed_stream.h"

#include <algorithm>
#include <exception>
#include <vector>

#include <libmseed.h>

#include "format/gps_record.h"
#include "format/markers.h"
#include "format/number_text.h"

namespace voxa {
namespace {

constexpr int32_t kClockPhaseSlot = kMaxChannels;
constexpr int32_t kClockQualitySlot = kMaxChannels + 1;
constexpr int32_t kTemperatureSlot = kMaxChannels + 2;
constexpr int32_t kSatelliteSlot = kMaxChannels + 3;

constexpr std::array<std::string_view, 4> kHealthChannels = {kClockPhaseChannel, kClockQualityChannel,
                                                             kTemperatureChannel, kSatelliteChannel};

}  // namespace

std::optional<int32_t> TemperatureTenths(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && text[at] == ' ') ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  int64_t tenths = 0;
  bool digits = false;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
    tenths = tenths * 10 + (text[at++] - '0');
    digits = true;
  }
  tenths *= 10;
  if (at < text.size() && text[at] == '.') {
    ++at;
    if (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      tenths += text[at++] - '0';
      digits = true;
    }
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
  }
  if (!digits || at != text.size() || tenths > 100000) return std::nullopt;
  return static_cast<int32_t>(negative ? -tenths : tenths);
}

std::string HeldRecordsText(const ArchiveReport& report) {
  if (report.recordsHeld == 0 && report.recordsOverlapping == 0) return "";
  std::string text = std::to_string(report.recordsHeld) + " record" + (report.recordsHeld == 1 ? "" : "s") +
                     " the archive already held, not written again";
  if (report.recordsOverlapping > 0) {
    text += "; " + std::to_string(report.recordsOverlapping) + " partly held, written whole";
  }
  return text;
}

MseedStream::MseedStream() = default;
MseedStream::~MseedStream() = default;

void MseedStream::StartRun(const MseedSettings& settings, const DeviceSettings& device, Micros computerClock) {
  settings_ = settings;
  format_ = device.Format();
  deviceNumber_ = device.DeviceNumber();
  computerClock_ = computerClock;
  closedReports_.clear();
  held_.clear();
  recordsHeld_ = recordsOverlapping_ = 0;
  skipNextShift_ = false;
  files_ = settings.openFiles ? settings.openFiles()
                              : std::make_unique<DayFiles>(settings.directory, settings.flushEachRecord);
  OpenChannels();
  DaterSettings dating;
  dating.format = format_;
  dating.computerClock = computerClock;
  dating.readingRecording = settings.readingRecording;
  dating.holdSeconds = settings.holdSeconds;
  dater_.Start(dating);
  running_ = true;
}

void MseedStream::OpenChannels() {
  codes_ = ResolveCodes(settings_.codes, format_.rate, format_.channels, deviceNumber_);
  for (int32_t slot = 0; slot < kChannelSlots; ++slot) {
    ChannelName name{codes_.network, codes_.station, codes_.location, ""};
    const bool data = slot < kMaxChannels;
    if (data && slot >= format_.channels) continue;
    name.channel = data ? codes_.channels[static_cast<size_t>(slot)]
                        : std::string(kHealthChannels[static_cast<size_t>(slot - kMaxChannels)]);
    packers_[static_cast<size_t>(slot)].Open(name, data ? format_.rate : 1, data, *this, slot);
    packers_[static_cast<size_t>(slot)].SetFlushEachSecond(settings_.flushEachSecond);
  }
}

void MseedStream::CloseChannels() {
  // Every channel is closed even when one fails; the first failure is thrown.
  std::exception_ptr failure;
  for (int32_t slot = 0; slot < kChannelSlots; ++slot) {
    ChannelPacker& packer = packers_[static_cast<size_t>(slot)];
    if (!packer.IsOpen()) continue;
    try {
      packer.Close();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
    if (packer.Stats().samples > 0) {
      closedReports_.push_back({packer.Name(), slot < kMaxChannels ? format_.rate : 1, packer.Stats(),
                                packer.Encodings()});
    }
  }
  if (failure) std::rethrow_exception(failure);
}

void MseedStream::OnHeader(const DeviceSettings& device) {
  if (!running_) return;
  const StreamFormat format = device.Format();
  const bool formatChanged = format.rate != format_.rate || format.channels != format_.channels;
  const StreamCodes codes = ResolveCodes(settings_.codes, format.rate, format.channels, device.DeviceNumber());
  const bool codesChanged = codes.station != codes_.station || codes.channels != codes_.channels;
  if (!formatChanged && !codesChanged) return;
  // What waits is dated and written under the stream it came with; then the
  // channels start again with the new rate, channels or station.
  Micros next = computerClock_;
  if (formatChanged) {
    dater_.Finish();
    for (const ChannelPacker& packer : packers_) {
      if (packer.IsOpen() && packer.Stats().samples > 0) next = std::max(next, packer.Stats().end);
    }
  }
  CloseChannels();
  format_ = format;
  deviceNumber_ = device.DeviceNumber();
  OpenChannels();
  if (formatChanged) {
    DaterSettings dating = dater_.Settings();
    dating.format = format_;
    dating.computerClock = next;
    dater_.Start(dating);
  }
}

void MseedStream::OnSampleBlock(const SampleBlock& block) {
  if (!running_) return;
  skipNextShift_ = false;
  dater_.OnBlock(block);
}

void MseedStream::OnCutRecord(const CutRecord& record) {
  if (!running_ || record.kind != RecordKind::SampleBlock) return;
  // The block's payload is whole: in a recording the end-time record's marker
  // ends it, so it counts as the valid block it is.
  if (record.bytes.size() == static_cast<size_t>(1 + format_.BlockPayload()) && IsSampleBlockMarker(record.bytes[0])) {
    SampleBlock block;
    block.marker = record.bytes[0];
    block.payload = record.bytes.subspan(1);
    block.valid = true;
    block.bytes = record.bytes;
    dater_.OnBlock(block);
    return;
  }
  dater_.OnCutBlock();
}

void MseedStream::OnGpsRecord(const GpsRecord& record, bool sound, const GpsClock& clock) {
  if (!running_) return;
  skipNextShift_ = false;
  if (settings_.readingRecording &&
      std::string_view(record.text).substr(0, gps_text::kRecordLength) == kPlaceholderGpsText) {
    // The placeholder a recording carries when its first fix never came to
    // replace it: no time at all, and no shift after it.
    skipNextShift_ = true;
    return;
  }
  if (gps_text::HasAt(record.text, 1, gps_text::kTemperatureId) && clock.TemperatureAvailable()) {
    if (const auto tenths = TemperatureTenths(clock.Temperature())) dater_.OnTemperature(*tenths);
  }
  if (!sound) return;
  const std::optional<Micros> time = UtcOfGpsTime(clock.Time());
  if (!time) return;
  dater_.OnSoundGps(*time, TextToInt(clock.Satellites()));
}

void MseedStream::OnShiftRecord(const TimeShift& shift) {
  if (!running_) return;
  if (skipNextShift_) {
    skipNextShift_ = false;
    return;
  }
  dater_.OnShift(shift.Micros());
}

void MseedStream::Sync() {
  if (running_) files_->Sync();
}

ArchiveReport MseedStream::Finish() {
  ArchiveReport report;
  if (!running_) return report;
  running_ = false;
  // Every channel and every file is closed, even after a failure; the first
  // failure is thrown once the report is complete.
  std::exception_ptr failure;
  const auto attempt = [&](auto&& step) {
    try {
      step();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  attempt([&] { dater_.Finish(); });
  attempt([&] { CloseChannels(); });
  attempt([&] { files_->CloseAll(); });
  report.format = format_;
  report.deviceNumber = deviceNumber_;
  report.dating = dater_.Counts();
  report.files = files_->Written();
  report.recordsHeld = recordsHeld_;
  report.recordsOverlapping = recordsOverlapping_;
  // Data channels first, in channel order, then state of health.
  report.channels = closedReports_;
  std::stable_sort(report.channels.begin(), report.channels.end(), [](const ChannelReport& a, const ChannelReport& b) {
    return (a.rate == 1 ? 1 : 0) < (b.rate == 1 ? 1 : 0);
  });
  files_.reset();
  if (failure) std::rethrow_exception(failure);
  return report;
}

// --- Dated samples to the packers ----------------------------------------------------

void MseedStream::OnDatedFrames(Micros start, const int32_t* frames, int32_t count, const TimeQuality& quality) {
  for (int32_t ch = 0; ch < format_.channels; ++ch) {
    packers_[static_cast<size_t>(ch)].Append(start, frames + ch, count, format_.channels, quality);
  }
}

void MseedStream::AppendHealth(int32_t slot, Micros time, int32_t value) {
  packers_[static_cast<size_t>(slot)].Append(time, &value, 1, 1, TimeQuality{});
}

void MseedStream::OnSecondOfHealth(const SecondOfHealth& health) {
  if (health.shiftMicros) AppendHealth(kClockPhaseSlot, health.time, *health.shiftMicros);
  AppendHealth(kClockQualitySlot, health.time, health.timingQuality);
  if (health.temperatureTenths) AppendHealth(kTemperatureSlot, health.time, *health.temperatureTenths);
  if (health.satellites) AppendHealth(kSatelliteSlot, health.time, *health.satellites);
}

void MseedStream::OnPackedRecord(int32_t channel, Micros dayStart, const uint8_t* record, size_t length) {
  const ChannelPacker& packer = packers_[static_cast<size_t>(channel)];
  const std::string path = SdsPath(packer.Name(), dayStart);
  auto found = held_.find(path);
  if (found == held_.end()) {
    // First record for this file in the run: learn what it holds before
    // anything of this run is added to it.
    HeldRecords held;
    files_->ReadHeld(path, [&held](const uint8_t* data, size_t count) { held.Take(data, count); });
    held.Finish();
    found = held_.emplace(path, std::move(held)).first;
  }
  switch (found->second.Judge(record, length)) {
    case HeldRecords::Verdict::Held:
      ++recordsHeld_;
      return;
    case HeldRecords::Verdict::Overlaps:
      // Part of it is new. Writing it whole keeps every new sample; the
      // samples held twice are the same samples when the same data comes
      // again, which readers merge. Dropping it would lose data silently,
      // and cutting it would mean packing its samples anew.
      ++recordsOverlapping_;
      break;
    case HeldRecords::Verdict::New:
      break;
  }
  files_->Append(static_cast<size_t>(channel), path, record, length);
  // The record's own header says where it ends (libmseed's time scale is
  // microseconds since 1970, as ours).
  MSRecord* parsed = nullptr;
  std::vector<char> copy(record, record + length);
  if (msr_unpack(copy.data(), static_cast<int>(length), &parsed, 0, 0) == MS_NOERROR && parsed != nullptr) {
    lastWritten_[static_cast<size_t>(channel)] = static_cast<Micros>(msr_endtime(parsed));
  }
  msr_free(&parsed);
}

std::vector<MseedStream::Written> MseedStream::WrittenSoFar() const {
  std::vector<Written> written;
  for (size_t slot = 0; slot < packers_.size(); ++slot) {
    if (lastWritten_[slot] == 0) continue;
    written.push_back({packers_[slot].Name().Text(), lastWritten_[slot]});
  }
  return written;

}

}  // namespace voxa
