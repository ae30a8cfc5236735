// The stream recording: collecting, writing, finishing and naming it. The
// dating steps of the finish are in recording_dating.cpp.
#include "recording/recording.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "format/gps_record.h"
#include "format/markers.h"

namespace voxa {
namespace fs = std::filesystem;

namespace {
// A write of at least this much goes to the operating system at once.
constexpr int32_t kFlushThreshold = 4096;
}  // namespace

Recording::Recording(const DeviceSettings& device) : device_(device), buffer_(kBufferSize, 0) {
  firstGpsText_.reserve(128);
}

void Recording::StartRun(bool save) {
  saving_ = save;
  // A fresh buffer, back at its nominal size if the previous run had to grow it.
  buffer_.assign(kBufferSize, 0);
  buffer_.shrink_to_fit();
  count_ = 0;
  headerWritten_ = false;
  writtenHeaderLength_ = 0;
  placeholderDue_ = false;
  placeholderWritten_ = false;
  fileName_.clear();
  startTimePending_ = true;
  startTimeFix_ = false;
  startShiftPending_ = false;
  shiftRecordCount_ = 0;
}

bool Recording::Create(const std::string& path) {
  if (!file_.Create(path)) saving_ = false;
  return saving_;
}

void Recording::Append(Bytes bytes) {
  size_t at = 0;
  while (at < bytes.size()) {
    if (count_ >= static_cast<int32_t>(buffer_.size())) MakeRoom();
    const size_t room = buffer_.size() - static_cast<size_t>(count_);
    const size_t n = std::min(room, bytes.size() - at);
    std::memcpy(buffer_.data() + count_, bytes.data() + at, n);
    count_ += static_cast<int32_t>(n);
    at += n;
  }
}

void Recording::MakeRoom() {
  const size_t size = buffer_.size();
  if (static_cast<size_t>(count_) < size) return;
  if (!headerWritten_ && size < static_cast<size_t>(kBufferGrowthLimit)) {
    // Rare: a long first screen at a low rate with one channel. Growing keeps
    // the placeholder decision open until the first screen has ended.
    buffer_.resize(std::min(size * 2, static_cast<size_t>(kBufferGrowthLimit)));
    return;
  }
  Flush();
}

void Recording::OnLastSecondOfScreen(bool gpsSeen) {
  // The placeholder decision belongs to the recording's first write only.
  if (!gpsSeen && !headerWritten_) placeholderDue_ = true;
  if (saving_) Flush();
}

void Recording::OnSoundGps(const GpsTime& time, std::string_view text, int64_t blocksBeforeFix) {
  if (!saving_) return;
  if (startTimePending_) {
    start_ = time;
    startTimePending_ = false;
    // Without a device header the device number is not known yet; the
    // name is then built when the recording ends.
    if (device_.DeviceHeaderReceived()) {
      fileName_ = RecordingName(time.month, time.day, time.hour, time.minute, device_.DeviceNumber());
    }
  }
  if (placeholderDue_) {
    firstFixBlocks_ = blocksBeforeFix;
    firstGpsText_.assign(text);
    placeholderDue_ = false;
    startShiftPending_ = true;
    startTimeFix_ = true;
  }
}

void Recording::OnShift(uint8_t first, uint8_t second) {
  // The device's first shift values after a fix have not settled yet.
  constexpr int32_t kSettlingRecords = 25;
  if (!startShiftPending_) return;
  ++shiftRecordCount_;
  if (shiftRecordCount_ > kSettlingRecords) {
    startShiftPair_ = {first, second};
    startShiftPending_ = false;
  }
}

void Recording::Flush() {
  if (!file_.IsOpen()) {
    count_ = 0;
    return;
  }
  if (!headerWritten_) {
    const Bytes header = device_.HeaderBytes();
    file_.Append(kMarkerHeader);
    file_.Append(header.data(), header.size());
    writtenHeaderLength_ = static_cast<int32_t>(header.size());
    headerWritten_ = true;
    if (placeholderDue_) {
      file_.Append(kMarkerGps);
      file_.Append(kPlaceholderGpsText);
      const uint8_t shift[3] = {kMarkerShift, 0x00, 0x00};
      file_.Append(shift, sizeof shift);
      placeholderWritten_ = true;
    }
  }
  const int32_t written = count_;
  if (written > 0) file_.Append(buffer_.data(), static_cast<size_t>(written));
  count_ = 0;
  // The screen's bulk goes to the operating system at once, so a crash loses
  // little; the single blocks written after it during the screen's last
  // second stay in the file's small buffer instead of costing a system call each.
  if (written >= kFlushThreshold) file_.Flush();
}

std::vector<uint8_t> FittedHeader(Bytes header, int32_t length) {
  std::vector<uint8_t> out(header.begin(), header.end());
  if (static_cast<int32_t>(out.size()) > length) {
    // Keep whole items: cut after the last ";" that still fits.
    int32_t cut = length;
    while (cut > 0 && out[static_cast<size_t>(cut - 1)] != ';') --cut;
    if (cut == 0) cut = length;
    out.resize(static_cast<size_t>(std::max(cut, 0)));
  }
  out.resize(static_cast<size_t>(std::max(length, 0)), ' ');
  return out;
}

FinishedRecording Recording::Finish(const RecordingEnd& end) {
  FinishedRecording finished;
  finished.time = end.time;
  if (!file_.IsOpen()) return finished;
  GpsTime& time = finished.time;
  Flush();
  if (end.gpsSeen) WriteEndTime(time, end.blocksSinceFix);
  file_.Append(kMarkerEndByte);
  if (startTimeFix_ && placeholderWritten_) FixStartRecords(time);

  // A header the monitor built itself gets the start time.
  const Bytes inForce = device_.HeaderBytes();
  std::string header(inForce.begin(), inForce.end());
  if (!device_.DeviceHeaderReceived()) FillStartTime(time, end.gpsSeen, end.startClock, header);
  if (fileName_.empty()) fileName_ = NameAtEnd(end.gpsSeen, end.startClock);

  const std::vector<uint8_t> fitted =
      FittedHeader(Bytes(reinterpret_cast<const uint8_t*>(header.data()), header.size()), writtenHeaderLength_);
  const uint8_t marker = kMarkerHeader;
  file_.WriteAt(0, &marker, 1);
  file_.WriteAt(1, fitted.data(), fitted.size());

  const fs::path working(file_.Path());
  file_.Close();

  const std::string directory = working.has_parent_path() ? working.parent_path().string() : ".";
  std::error_code error;
  if (!fileName_.empty()) {
    // Never replace an existing recording (two runs in the same minute).
    const std::string name = UnusedFileName(directory, fileName_);
    fs::rename(working, fs::path(directory) / name, error);
    if (!error) {
      finished.name = name;
      return finished;
    }
  }
  // The dated name could not be used: keep the recording under a name of its
  // own rather than leave it where the next START would overwrite it.
  const std::string fallback = UnusedFileName(directory, kWorkingRecordingName);
  error.clear();
  fs::rename(working, fs::path(directory) / fallback, error);
  finished.name = error ? working.filename().string() : fallback;
  return finished;
}

void Recording::Abandon() {
  if (!file_.IsOpen()) return;
  try {
    Flush();
  } catch (const IoError&) {
    // The write that failed is what ended the run; what is on disk stays.
  }
  try {
    file_.Close();
  } catch (const IoError&) {
  }
}

void Recording::Close() {
  if (file_.IsOpen()) file_.Close();
}

std::string UnusedFileName(const std::string& directory, const std::string& name) {
  const fs::path dir(directory);
  std::error_code error;
  if (!fs::exists(dir / name, error)) return name;
  const fs::path original(name);
  const std::string stem = original.stem().string();
  const std::string extension = original.extension().string();
  for (int n = 2;; ++n) {
    const std::string candidate = stem + "-" + std::to_string(n) + extension;
    if (!fs::exists(dir / candidate, error)) return candidate;
  }
}

std::string KeepUnfinishedRecording(const std::string& path) {
  const fs::path working(path);
  std::error_code error;
  if (!fs::is_regular_file(working, error) || fs::file_size(working, error) == 0 || error) return "";
  const fs::path directory = working.has_parent_path() ? working.parent_path() : fs::path(".");
  const std::string name = UnusedFileName(directory.string(), working.filename().string());
  fs::rename(working, directory / name, error);
  return error ? "" : name;
}

}  // namespace voxa
