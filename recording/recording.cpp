// The stream recording: collecting, writing, finishing and naming it. The
// dating steps of the finish are in recording_dating.cpp.
#include "recording/recording.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "format/gps_record.h"
#include "format/markers.h"
#include "recording/output_files.h"

namespace voxa {
namespace {

constexpr int64_t kPlaceholderLength = 80;

// Moves length bytes of the file from source to target, so that every byte
// is read before it is overwritten: from the back when the stream moves up,
// from the front (and the file cut at its new end) when it moves down.
void MoveStream(FileAccess& file, int64_t source, int64_t target, int64_t length) {
  std::vector<uint8_t> chunk(64 * 1024);
  const auto piece = [&](int64_t left) {
    return static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(chunk.size()), left));
  };
  if (target > source) {
    for (int64_t done = length; done > 0;) {
      const size_t count = piece(done);
      done -= static_cast<int64_t>(count);
      file.ReadAt(source + done, chunk.data(), count);
      file.WriteAt(target + done, chunk.data(), count);
    }
  } else {
    for (int64_t done = 0; done < length;) {
      const size_t count = piece(length - done);
      file.ReadAt(source + done, chunk.data(), count);
      file.WriteAt(target + done, chunk.data(), count);
      done += static_cast<int64_t>(count);
    }
    file.Resize(target + length);
  }
}

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
  open_ = false;
  startWritten_ = false;
  provisionalHeaderLength_ = 0;
  provisionalStream_ = 0;
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

bool Recording::Create(FileWriter& writer, const std::string& path, std::string& failure) {
  if (writer_ != nullptr && file_ != kNoFile) writer_->Forget(file_);
  writer_ = &writer;
  int error = 0;
  file_ = writer.Create(path, Creation::New, error);
  open_ = file_ != kNoFile;
  if (!open_) {
    saving_ = false;
    failure = CreateFailure(path, error);
  }
  return saving_;
}

void Recording::Append(Bytes bytes) {
  // Before the first write the start stays undecided for up to the growth
  // limit, counted with what Sync has written behind the provisional start.
  if (!headerWritten_ && provisionalStream_ > 0 &&
      provisionalStream_ + count_ + static_cast<int64_t>(bytes.size()) > kBufferGrowthLimit) {
    Flush();
  }
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

void Recording::AppendToFile(Bytes bytes) { writer_->Append(file_, bytes); }

void Recording::WriteProvisionalStart() {
  const Bytes header = device_.HeaderBytes();
  AppendToFile(Bytes(&kMarkerHeader, 1));
  AppendToFile(header);
  provisionalHeaderLength_ = static_cast<int32_t>(header.size());
  startWritten_ = true;
}

void Recording::LayOut() {
  const Bytes header = device_.HeaderBytes();
  std::vector<uint8_t> start;
  start.reserve(1 + header.size() + kPlaceholderLength);
  start.push_back(kMarkerHeader);
  start.insert(start.end(), header.begin(), header.end());
  if (placeholderDue_) {
    start.push_back(kMarkerGps);
    start.insert(start.end(), kPlaceholderGpsText.begin(), kPlaceholderGpsText.end());
    start.insert(start.end(), {kMarkerShift, 0x00, 0x00});
    placeholderWritten_ = true;
  }
  if (!startWritten_) {
    AppendToFile(Bytes(start));
  } else {
    // The stream written behind the provisional start moves to where this
    // start ends; the start is written over the file's beginning after it.
    const int64_t from = 1 + int64_t{provisionalHeaderLength_};
    const auto to = static_cast<int64_t>(start.size());
    const int64_t length = provisionalStream_;
    if (from != to && length > 0) {
      writer_->Run(file_, [from, to, length](FileAccess& file) { MoveStream(file, from, to, length); });
    } else if (from > to) {
      writer_->Run(file_, [to](FileAccess& file) { file.Resize(to); });
    }
    writer_->WriteAt(file_, 0, Bytes(start));
  }
  writtenHeaderLength_ = static_cast<int32_t>(header.size());
  headerWritten_ = true;
  startWritten_ = true;
}

void Recording::Flush() {
  if (!open_) {
    count_ = 0;
    return;
  }
  if (!headerWritten_) LayOut();
  if (count_ > 0) AppendToFile(Bytes(buffer_.data(), static_cast<size_t>(count_)));
  count_ = 0;
}

void Recording::Sync() {
  if (!open_) return;
  if (count_ > 0) {
    if (headerWritten_) {
      AppendToFile(Bytes(buffer_.data(), static_cast<size_t>(count_)));
    } else {
      if (!startWritten_) WriteProvisionalStart();
      AppendToFile(Bytes(buffer_.data(), static_cast<size_t>(count_)));
      provisionalStream_ += count_;
    }
    count_ = 0;
  }
  writer_->Sync(file_);
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
  if (!open_) return finished;
  GpsTime& time = finished.time;
  Flush();
  if (end.gpsSeen) WriteEndTime(time, end.blocksSinceFix);
  AppendToFile(Bytes(&kMarkerEndByte, 1));
  if (startTimeFix_ && placeholderWritten_) FixStartRecords(time);

  // A header the monitor built itself gets the start time.
  const Bytes inForce = device_.HeaderBytes();
  std::string header(inForce.begin(), inForce.end());
  if (!device_.DeviceHeaderReceived()) FillStartTime(time, end.gpsSeen, end.startClock, header);
  if (fileName_.empty()) fileName_ = NameAtEnd(end.gpsSeen, end.startClock);

  std::vector<uint8_t> start{kMarkerHeader};
  const std::vector<uint8_t> fitted =
      FittedHeader(Bytes(reinterpret_cast<const uint8_t*>(header.data()), header.size()), writtenHeaderLength_);
  start.insert(start.end(), fitted.begin(), fitted.end());
  writer_->WriteAt(file_, 0, Bytes(start));

  // Never replace an existing recording (two runs in the same minute). When
  // the dated name cannot be used, the recording gets a name of its own
  // rather than stay where the next START would have to move it.
  writer_->Close(file_, {fileName_, kWorkingRecordingName});
  open_ = false;
  finished.name = fileName_;
  return finished;
}

void Recording::Abandon() {
  if (!open_) return;
  Flush();
  Close();
}

void Recording::Close() {
  if (!open_) return;
  open_ = false;
  writer_->Close(file_);
}

FileOutcome Recording::Outcome() const {
  return writer_ != nullptr && file_ != kNoFile ? writer_->Outcome(file_) : FileOutcome{};
}

KeptRecording KeepUnfinishedRecording(FileStore& store, const std::string& path) {
  KeptRecording kept;
  int64_t size = 0;
  const int error = store.RegularFileSize(path, size);
  // Nothing there, or something that is not a recording: creating the file
  // reports it.
  if (error != 0) return kept;
  if (size == 0) {
    // Left by a STOP while waiting for the device: nothing to keep.
    store.Remove(path);
    return kept;
  }
  const std::string directory = DirectoryOf(path);
  const std::string name = NameOf(path);
  const size_t dot = name.find_last_of('.');
  const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string extension = dot == std::string::npos ? "" : name.substr(dot);
  for (int number = 2; number < 100000; ++number) {
    const std::string candidate = stem + "-" + std::to_string(number) + extension;
    const int moved = store.RenameNoReplace(path, directory == "." ? candidate : directory + "/" + candidate);
    if (moved == 0) {
      store.SyncDirectory(directory);
      kept.name = candidate;
      return kept;
    }
    if (moved != EEXIST) {
      char text[256];
      kept.failure = "Cannot move the unfinished recording '" + path + "' aside: " + strerror_r(moved, text, sizeof text);
      return kept;
    }
  }
  kept.failure = "Cannot move the unfinished recording '" + path + "' aside: no free name";
  return kept;
}

}  // namespace voxa
