// The files a run writes: the two text lists (error.csv, shift.csv) and the
// stream recording (streamdat.bin). Creation reports failure by its result,
// because a file that cannot be created only switches its option off; a
// failed write later in the run throws IoError, which ends the run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace voxa {

class IoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A text list written line by line; every line ends with CR LF.
class LineFile {
 public:
  LineFile() = default;
  LineFile(const LineFile&) = delete;
  LineFile& operator=(const LineFile&) = delete;
  LineFile(LineFile&& other) noexcept : file_(other.file_), path_(std::move(other.path_)) { other.file_ = nullptr; }
  LineFile& operator=(LineFile&& other) noexcept {
    std::swap(file_, other.file_);
    std::swap(path_, other.path_);
    return *this;
  }
  ~LineFile();

  // Creates (or empties) the file. False when it cannot be created.
  bool Create(const std::string& path);
  bool IsOpen() const { return file_ != nullptr; }
  // Appends the line and CR LF, and hands it to the operating system at once,
  // so a list is complete up to its last line whatever happens to the program.
  void WriteLine(std::string_view line);
  void Close();
  const std::string& Path() const { return path_; }

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
};

// The stream recording: written at its end, rewritten at given offsets when
// the recording is finished, read back for the start-record fix.
class RecordingFile {
 public:
  RecordingFile() = default;
  RecordingFile(const RecordingFile&) = delete;
  RecordingFile& operator=(const RecordingFile&) = delete;
  RecordingFile(RecordingFile&& other) noexcept
      : file_(other.file_), path_(std::move(other.path_)), atEnd_(other.atEnd_) {
    other.file_ = nullptr;
  }
  RecordingFile& operator=(RecordingFile&& other) noexcept {
    std::swap(file_, other.file_);
    std::swap(path_, other.path_);
    std::swap(atEnd_, other.atEnd_);
    return *this;
  }
  ~RecordingFile();

  bool Create(const std::string& path);
  bool IsOpen() const { return file_ != nullptr; }
  void Append(const uint8_t* data, size_t count);
  void Append(uint8_t byte) { Append(&byte, 1); }
  void Append(std::string_view text) {
    Append(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  }
  // Writes at an offset inside the file; the next Append still goes to the end.
  void WriteAt(int64_t offset, const uint8_t* data, size_t count);
  // Reads exactly count bytes at offset; throws IoError when they are not there.
  void ReadAt(int64_t offset, uint8_t* data, size_t count);
  int64_t Size();
  // Pushes buffered bytes to the operating system.
  void Flush();
  void Close();
  const std::string& Path() const { return path_; }

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  // Appends go to the end without a seek (a seek would empty the stdio buffer
  // on every small write) unless a write or read elsewhere moved the position.
  bool atEnd_ = true;
};

}  // namespace voxa
