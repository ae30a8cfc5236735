#include "mseed/archive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace voxa {
namespace fs = std::filesystem;

// Reading what a day file holds: large pieces, so a day's file is read in a
// few hundred calls.
constexpr size_t kReadPiece = 1 << 20;

std::string SdsPath(const ChannelName& name, Micros dayStart) {
  const UtcFields day = FieldsOf(dayStart);
  char dayText[8];
  std::snprintf(dayText, sizeof dayText, "%03d", day.dayOfYear);
  const std::string year = std::to_string(day.year);
  const std::string type = name.channel + ".D";
  return year + "/" + name.network + "/" + name.station + "/" + type + "/" + name.network + "." + name.station + "." +
         name.location + "." + type + "." + year + "." + dayText;
}

DayFiles::DayFiles(std::string root, bool flushEachRecord) : root_(std::move(root)), flushEachRecord_(flushEachRecord) {}

DayFiles::~DayFiles() {
  for (Open& open : open_) {
    if (open.file != nullptr) std::fclose(open.file);
  }
}

void DayFiles::ReadHeld(const std::string& relativePath, const Reader& take) {
  const fs::path path = fs::path(root_) / relativePath;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    if (errno == ENOENT) return;
    throw ArchiveError("cannot read " + path.string() + ": " + std::strerror(errno));
  }
  std::vector<uint8_t> buffer(kReadPiece);
  size_t got = 0;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) take(buffer.data(), got);
  const bool failed = std::ferror(file) != 0;
  const int reason = errno;
  std::fclose(file);
  if (failed) throw ArchiveError("cannot read " + path.string() + ": " + std::strerror(reason));
}

void DayFiles::Append(size_t slot, const std::string& relativePath, const uint8_t* data, size_t length) {
  if (slot >= open_.size()) open_.resize(slot + 1);
  Open& open = open_[slot];
  if (open.file == nullptr || open.path != relativePath) {
    CloseSlot(open);
    const fs::path path = fs::path(root_) / relativePath;
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    // Append mode: whatever the file holds stays as it is.
    open.file = std::fopen(path.c_str(), "ab");
    if (open.file == nullptr) {
      throw ArchiveError("cannot open " + path.string() + ": " + std::strerror(errno));
    }
    open.path = relativePath;
    if (std::find(written_.begin(), written_.end(), relativePath) == written_.end()) written_.push_back(relativePath);
  }
  if (std::fwrite(data, 1, length, open.file) != length || (flushEachRecord_ && std::fflush(open.file) != 0)) {
    const std::string reason = std::strerror(errno);
    throw ArchiveError("cannot write " + (fs::path(root_) / open.path).string() + ": " + reason);
  }
}

void DayFiles::CloseSlot(Open& open) {
  if (open.file == nullptr) return;
  const int result = std::fclose(open.file);
  open.file = nullptr;
  if (result != 0) {
    throw ArchiveError("cannot write " + (fs::path(root_) / open.path).string() + ": " + std::strerror(errno));
  }
}

void DayFiles::CloseAll() {
  // Every file is closed even when one fails; the first failure is reported.
  std::string failure;
  for (Open& open : open_) {
    try {
      CloseSlot(open);
    } catch (const ArchiveError& e) {
      if (failure.empty()) failure = e.what();
    }
  }
  if (!failure.empty()) throw ArchiveError(failure);
}

}  // namespace voxa
