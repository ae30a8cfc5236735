// A recording played back in place of the port: the run controller reads
// its bytes through this instead of the serial port, so the recording goes
// through the same separator, pipeline and window as a live stream.
//
// The file is only ever read (opened O_RDONLY). Its bytes are handed out at
// the pace of the line the recording came from, times a speed factor (1 real
// time, 2 twice as fast, 0 as fast as the reader takes them), reckoned from
// the elapsed time the caller passes in, so the caller's timer does the
// waiting and no call here blocks for long.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "device/device_settings.h"
#include "mseed/utc_time.h"

namespace voxa {

class ReplaySource {
 public:
  ReplaySource() = default;
  ~ReplaySource();
  ReplaySource(const ReplaySource&) = delete;
  ReplaySource& operator=(const ReplaySource&) = delete;

  // Opens path and checks that it begins as a recording does. False with
  // Problem() set ("FILE is not a recording: ...") when it cannot be used.
  bool Open(const std::string& path, double speed);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Problem() const { return problem_; }
  // The time the recording is dated from without GPS (as voxa-convert dates it).
  Micros StartTime() const { return startTime_; }

  // How many bytes are due elapsedMicros after the first read, for a stream
  // of format: at most max, all of max at speed 0.
  size_t Due(int64_t elapsedMicros, const StreamFormat& format, size_t max) const;
  // Reads up to count bytes; 0 at the file's end. Throws std::runtime_error
  // with the system's reason when the file cannot be read.
  size_t Read(uint8_t* data, size_t count);
  bool AtEnd() const { return atEnd_; }
  int64_t BytesRead() const { return read_; }
  // The file ends with the end byte a finished recording ends with.
  bool Finished() const { return finished_; }

 private:
  int fd_ = -1;
  std::string path_;
  std::string problem_;
  double speed_ = 1;
  Micros startTime_ = 0;
  int64_t read_ = 0;
  bool atEnd_ = false;
  // Where the device's bytes end: before a finished recording's end-time
  // record and end byte, which the monitor wrote at STOP and which are not
  // part of the stream. The block STOP cut short then ends the replay as it
  // ended the run (cut, not a short block), and the counts come out as the
  // run showed them.
  int64_t streamEnd_ = 0;
  bool finished_ = false;
};

}  // namespace voxa
