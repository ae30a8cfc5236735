#include "recording/output_files.h"

#include <cerrno>
#include <cstring>

namespace voxa {
namespace {

[[noreturn]] void ThrowIo(const char* what, const std::string& path, int error) {
  std::string message = std::string(what) + " '" + path + "'";
  if (error != 0) message += std::string(": ") + std::strerror(error);
  throw IoError(message);
}

}  // namespace

LineFile::~LineFile() {
  if (file_ != nullptr) std::fclose(file_);
}

bool LineFile::Create(const std::string& path) {
  Close();
  // Binary mode: the line ends are written as given (CR LF), never translated.
  file_ = std::fopen(path.c_str(), "wb");
  path_ = path;
  return file_ != nullptr;
}

void LineFile::WriteLine(std::string_view line) {
  if (file_ == nullptr) return;
  errno = 0;
  if ((!line.empty() && std::fwrite(line.data(), 1, line.size(), file_) != line.size()) ||
      std::fwrite("\r\n", 1, 2, file_) != 2 || std::fflush(file_) != 0) {
    ThrowIo("Cannot write to", path_, errno);
  }
}

void LineFile::Close() {
  if (file_ == nullptr) return;
  std::FILE* f = file_;
  file_ = nullptr;
  if (std::fclose(f) != 0) ThrowIo("Cannot close", path_, errno);
}

RecordingFile::~RecordingFile() {
  if (file_ != nullptr) std::fclose(file_);
}

bool RecordingFile::Create(const std::string& path) {
  Close();
  // "w+b": created empty, readable for the start-record fix.
  file_ = std::fopen(path.c_str(), "w+b");
  path_ = path;
  atEnd_ = true;
  return file_ != nullptr;
}

void RecordingFile::Append(const uint8_t* data, size_t count) {
  if (file_ == nullptr) ThrowIo("Recording is not open:", path_, 0);
  if (count == 0) return;
  errno = 0;
  if (!atEnd_) {
    if (std::fseek(file_, 0, SEEK_END) != 0) ThrowIo("Cannot seek in", path_, errno);
    atEnd_ = true;
  }
  if (std::fwrite(data, 1, count, file_) != count) ThrowIo("Cannot write to", path_, errno);
}

void RecordingFile::WriteAt(int64_t offset, const uint8_t* data, size_t count) {
  if (file_ == nullptr) ThrowIo("Recording is not open:", path_, 0);
  if (count == 0) return;
  errno = 0;
  atEnd_ = false;
  if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0 ||
      std::fwrite(data, 1, count, file_) != count) {
    ThrowIo("Cannot write to", path_, errno);
  }
}

void RecordingFile::ReadAt(int64_t offset, uint8_t* data, size_t count) {
  if (file_ == nullptr) ThrowIo("Recording is not open:", path_, 0);
  if (count == 0) return;
  errno = 0;
  atEnd_ = false;
  if (std::fflush(file_) != 0 || std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0 ||
      std::fread(data, 1, count, file_) != count) {
    ThrowIo("Cannot read back", path_, errno);
  }
}

int64_t RecordingFile::Size() {
  if (file_ == nullptr) return 0;
  errno = 0;
  if (std::fseek(file_, 0, SEEK_END) != 0) ThrowIo("Cannot seek in", path_, errno);
  atEnd_ = true;
  return std::ftell(file_);
}

void RecordingFile::Flush() {
  if (file_ == nullptr) return;
  errno = 0;
  if (std::fflush(file_) != 0) ThrowIo("Cannot write to", path_, errno);
}

void RecordingFile::Close() {
  if (file_ == nullptr) return;
  std::FILE* f = file_;
  file_ = nullptr;
  if (std::fclose(f) != 0) ThrowIo("Cannot close", path_, errno);
}

}  // namespace voxa
