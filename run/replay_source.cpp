#include "run/replay_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "format/markers.h"
#include "mseed/recording_converter.h"

namespace voxa {
namespace {

// A second of the line besides the sample blocks: a GPS record (77 bytes)
// and a shift record (3).
constexpr int64_t kRecordBytesPerSecond = 80;
// What the header's check reads: the header record and the first records after it.
constexpr size_t kOpeningBytes = 4096;
// A finished recording's tail: the end-time record (0xE0 and 55 characters)
// and the end byte.
constexpr int64_t kEndTimeRecordBytes = 56;

}  // namespace

ReplaySource::~ReplaySource() { Close(); }

bool ReplaySource::Open(const std::string& path, double speed) {
  Close();
  path_ = path;
  speed_ = speed;
  read_ = 0;
  atEnd_ = false;
  streamEnd_ = 0;
  finished_ = false;
  problem_.clear();
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    problem_ = path + " cannot be read: " + std::strerror(errno);
    return false;
  }
  std::vector<uint8_t> opening(kOpeningBytes);
  const ssize_t count = ::pread(fd_, opening.data(), opening.size(), 0);
  if (count < 0) {
    problem_ = path + " cannot be read: " + std::strerror(errno);
    Close();
    return false;
  }
  const RecordingOpening inspected = InspectRecording(opening.data(), static_cast<size_t>(count));
  if (!inspected.problem.empty()) {
    problem_ = path + " " + inspected.problem;
    Close();
    return false;
  }
  startTime_ = RecordingStartTime(inspected.header, path);
  struct stat status {};
  if (::fstat(fd_, &status) != 0) {
    problem_ = path + " cannot be read: " + std::strerror(errno);
    Close();
    return false;
  }
  streamEnd_ = status.st_size;
  uint8_t tail[kEndTimeRecordBytes + 1] = {};
  if (streamEnd_ >= 1 && ::pread(fd_, tail, 1, streamEnd_ - 1) == 1 && tail[0] == kMarkerEndByte) {
    finished_ = true;
    --streamEnd_;
    if (streamEnd_ >= kEndTimeRecordBytes &&
        ::pread(fd_, tail, 1, streamEnd_ - kEndTimeRecordBytes) == 1 && tail[0] == kMarkerEndTime) {
      streamEnd_ -= kEndTimeRecordBytes;
    }
  }
  return true;
}

void ReplaySource::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

size_t ReplaySource::Due(int64_t elapsedMicros, const StreamFormat& format, size_t max) const {
  if (speed_ <= 0) return max;
  // The line's bytes per second: every block's marker and payload, and the
  // records of a second.
  const int64_t perSecond = int64_t{format.rate} * (1 + format.BlockPayload()) + kRecordBytesPerSecond;
  const double due = static_cast<double>(std::max<int64_t>(elapsedMicros, 0)) * speed_ *
                     static_cast<double>(perSecond) / 1e6;
  const double left = due - static_cast<double>(read_);
  if (left <= 0) return 0;
  return left >= static_cast<double>(max) ? max : static_cast<size_t>(left);
}

size_t ReplaySource::Read(uint8_t* data, size_t count) {
  if (fd_ < 0 || count == 0) return 0;
  count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), streamEnd_ - read_));
  if (count == 0) {
    atEnd_ = true;
    return 0;
  }
  for (;;) {
    const ssize_t got = ::read(fd_, data, count);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw std::runtime_error("Cannot read " + path_ + ": " + std::strerror(errno));
    if (got == 0) {
      atEnd_ = true;
      return 0;
    }
    read_ += got;
    return static_cast<size_t>(got);
  }
}

}  // namespace voxa
