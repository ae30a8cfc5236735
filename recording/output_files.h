// A text list a run writes (error.csv, shift.csv), line by line through the
// run's FileWriter. Creation reports failure by its result, because a list
// that cannot be created only switches its option off; a failure later in
// the run is the writer's, kept with the file's outcome.
#pragma once

#include <string>
#include <string_view>

#include "recording/file_writer.h"

namespace voxa {

// Every line ends with CR LF.
class LineFile {
 public:
  LineFile() = default;
  LineFile(const LineFile&) = delete;
  LineFile& operator=(const LineFile&) = delete;

  // Creates the file, emptying it or writing on after what it holds. False,
  // with the reason for the operator, when it cannot be created.
  bool Create(FileWriter& writer, const std::string& path, Creation how, std::string& failure);
  bool IsOpen() const { return open_; }
  // The line and CR LF go to the writer at once, so a list is complete up to
  // its last line as far as the writer got.
  void WriteLine(std::string_view line);
  // What the list holds to the disk.
  void Sync();
  void Close();
  // The outcome of the last file created ("" path when none was).
  FileOutcome Outcome() const;

 private:
  FileWriter* writer_ = nullptr;
  FileId file_ = kNoFile;
  bool open_ = false;
  std::string line_;  // the line with its CR LF, reused
};

// "Cannot create '<path>': <the system's reason>".
std::string CreateFailure(const std::string& path, int error);

}  // namespace voxa
