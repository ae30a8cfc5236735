#include "recording/output_files.h"

#include <cstring>

namespace voxa {

std::string CreateFailure(const std::string& path, int error) {
  char buffer[256];
  return "Cannot create '" + path + "': " + strerror_r(error, buffer, sizeof buffer);
}

bool LineFile::Create(FileWriter& writer, const std::string& path, Creation how, std::string& failure) {
  Close();
  if (writer_ != nullptr && file_ != kNoFile) writer_->Forget(file_);
  writer_ = &writer;
  int error = 0;
  file_ = writer.Create(path, how, error);
  open_ = file_ != kNoFile;
  if (!open_) failure = CreateFailure(path, error);
  return open_;
}

void LineFile::WriteLine(std::string_view line) {
  if (!open_) return;
  line_.assign(line);
  line_ += "\r\n";
  writer_->Append(file_, Bytes(reinterpret_cast<const uint8_t*>(line_.data()), line_.size()));
}

void LineFile::Sync() {
  if (open_) writer_->Sync(file_);
}

void LineFile::Close() {
  if (!open_) return;
  open_ = false;
  writer_->Close(file_);
}

FileOutcome LineFile::Outcome() const {
  return writer_ != nullptr && file_ != kNoFile ? writer_->Outcome(file_) : FileOutcome{};
}

}  // namespace voxa
