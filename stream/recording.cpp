#include "stream/recording.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "timing/gps.h"
#include "timing/time_stamps.h"

namespace voxa {
namespace fs = std::filesystem;

namespace {
constexpr int32_t kRawBufferFlushThreshold = 4096;
}  // namespace

void MakeRawRoom(Acquisition& a) {
  const size_t size = a.RawBuffer.size();
  if (static_cast<size_t>(a.RawCount) < size) return;
  if (!a.RecordingHeaderWritten && size < static_cast<size_t>(kRawBufferGrowthLimit)) {
    // Rare: a long first screen at a low rate with one channel. Growing keeps
    // the placeholder decision open until the first screen has ended.
    a.RawBuffer.resize(std::min(size * 2, static_cast<size_t>(kRawBufferGrowthLimit)));
    return;
  }
  FlushRecording(a);
}

void FlushRecording(Acquisition& a) {
  if (!a.StreamFile.IsOpen()) {
    a.RawCount = 0;
    return;
  }
  if (!a.RecordingHeaderWritten) {
    a.StreamFile.Append(kMarkerHeader);
    a.StreamFile.Append(a.HeaderBuffer.data(), static_cast<size_t>(a.HeaderLength));
    a.RecordedHeaderLength = a.HeaderLength;
    a.RecordingHeaderWritten = true;
    if (a.GpsPlaceholder) {
      a.StreamFile.Append(kMarkerGps);
      a.StreamFile.Append(kPlaceholderGpsText);
      const uint8_t shift[3] = {kMarkerShift, 0x00, 0x00};
      a.StreamFile.Append(shift, sizeof shift);
      a.PlaceholderWritten = true;
    }
  }
  const int32_t written = a.RawCount;
  if (written > 0) a.StreamFile.Append(a.RawBuffer.data(), static_cast<size_t>(written));
  a.RawCount = 0;
  // The screen's bulk goes to the operating system at once, so a crash loses
  // little; the single blocks written after it during the screen's last
  // second stay in the file's small buffer instead of costing a system call each.
  if (written >= kRawBufferFlushThreshold) a.StreamFile.Flush();
}

std::vector<uint8_t> FittedHeader(const Acquisition& a, int32_t length) {
  const int32_t have = std::clamp(a.HeaderLength, 0, kHeaderCapacity);
  std::vector<uint8_t> out(a.HeaderBuffer.begin(), a.HeaderBuffer.begin() + have);
  if (have > length) {
    // Keep whole items: cut after the last ";" that still fits.
    int32_t cut = length;
    while (cut > 0 && out[static_cast<size_t>(cut - 1)] != ';') --cut;
    if (cut == 0) cut = length;
    out.resize(static_cast<size_t>(cut));
  }
  out.resize(static_cast<size_t>(std::max(length, 0)), ' ');
  return out;
}

std::string FinishRecording(Acquisition& a) {
  if (!a.StreamFile.IsOpen()) return "";
  FlushRecording(a);
  if (a.GpsSeen) WriteEndTime(a);
  a.StreamFile.Append(kMarkerEndByte);
  if (a.StartTimeFix && a.PlaceholderWritten) FixStartRecords(a);
  if (a.AwaitingDeviceHeader) FillStartTime(a);
  if (a.StreamFileName.empty()) EnsureStreamFileName(a);

  const std::vector<uint8_t> header = FittedHeader(a, a.RecordedHeaderLength);
  const uint8_t marker = kMarkerHeader;
  a.StreamFile.WriteAt(0, &marker, 1);
  a.StreamFile.WriteAt(1, header.data(), header.size());

  const fs::path working(a.StreamFile.Path());
  a.StreamFile.Close();

  const std::string directory = working.has_parent_path() ? working.parent_path().string() : ".";
  std::error_code error;
  if (!a.StreamFileName.empty()) {
    // Never replace an existing recording (two runs in the same minute).
    const std::string name = UnusedFileName(directory, a.StreamFileName);
    fs::rename(working, fs::path(directory) / name, error);
    if (!error) return name;
  }
  // The dated name could not be used: keep the recording under a name of its
  // own rather than leave it where the next START would overwrite it.
  const std::string fallback = UnusedFileName(directory, kWorkingRecordingName);
  error.clear();
  fs::rename(working, fs::path(directory) / fallback, error);
  return error ? working.filename().string() : fallback;
}

void AbandonRecording(Acquisition& a) {
  if (!a.StreamFile.IsOpen()) return;
  try {
    FlushRecording(a);
  } catch (const IoError&) {
    // The write that failed is what ended the run; what is on disk stays.
  }
  try {
    a.StreamFile.Close();
  } catch (const IoError&) {
  }
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

std::string KeepUnfinishedRecording(const std::string& directory) {
  const fs::path working = fs::path(directory) / kWorkingRecordingName;
  std::error_code error;
  if (!fs::exists(working, error) || fs::file_size(working, error) == 0 || error) return "";
  const std::string name = UnusedFileName(directory, kWorkingRecordingName);
  fs::rename(working, fs::path(directory) / name, error);
  return error ? "" : name;
}

}  // namespace voxa
