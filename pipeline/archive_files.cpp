#include "pipeline/archive_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace voxa {
namespace fs = std::filesystem;

// Reading what a day file holds: large pieces, a few hundred reads a day's file.
constexpr size_t kReadPiece = 1 << 20;

WriterDayFiles::WriterDayFiles(FileWriter& writer, std::string root) : writer_(writer), root_(std::move(root)) {}

WriterDayFiles::~WriterDayFiles() {
  // A run torn down without Finish still leaves its files closed.
  for (Open& open : open_) {
    if (open.file != kNoFile) writer_.Close(open.file);
  }
}

void WriterDayFiles::ReadHeld(const std::string& relativePath, const Reader& take) {
  const std::string path = (fs::path(root_) / relativePath).string();
  FileStore& store = writer_.Store();
  int64_t size = 0;
  int error = store.RegularFileSize(path, size);
  if (error == ENOENT) return;
  int descriptor = -1;
  if (error == 0) error = store.Create(path, Creation::Continued, descriptor);
  std::vector<uint8_t> buffer;
  for (int64_t at = 0; error == 0 && at < size;) {
    const size_t piece = static_cast<size_t>(std::min<int64_t>(size - at, kReadPiece));
    buffer.resize(piece);
    error = store.ReadAt(descriptor, at, buffer.data(), piece);
    if (error == 0) take(buffer.data(), piece);
    at += static_cast<int64_t>(piece);
  }
  if (descriptor >= 0) store.Close(descriptor);
  if (error != 0) throw ArchiveError("Cannot read " + path + ": " + std::strerror(error));
}

void WriterDayFiles::Append(size_t slot, const std::string& relativePath, const uint8_t* data, size_t length) {
  if (slot >= open_.size()) open_.resize(slot + 1);
  Open& open = open_[slot];
  if (open.file == kNoFile || open.path != relativePath) {
    if (open.file != kNoFile) writer_.Close(open.file);
    open.file = kNoFile;
    const fs::path path = fs::path(root_) / relativePath;
    std::error_code made;
    fs::create_directories(path.parent_path(), made);
    // Continued: a day file that exists is added to, never truncated.
    int error = 0;
    const FileId file = writer_.Create(path.string(), Creation::Continued, error);
    if (file == kNoFile) {
      const int reason = made ? made.value() : error;
      throw ArchiveError("Cannot create " + path.string() + ": " + std::strerror(reason));
    }
    open.file = file;
    open.path = relativePath;
    if (std::find(written_.begin(), written_.end(), relativePath) == written_.end()) written_.push_back(relativePath);
  }
  writer_.Append(open.file, Bytes(data, length));
}

void WriterDayFiles::Sync() {
  for (const Open& open : open_) {
    if (open.file != kNoFile) writer_.Sync(open.file);
  }
}

void WriterDayFiles::CloseAll() {
  for (Open& open : open_) {
    if (open.file != kNoFile) writer_.Close(open.file);
    open.file = kNoFile;
  }
}

}  // namespace voxa
