// The live miniSEED archive's day files, written through the run's
// FileWriter like every other file of a run: the pipeline hands each record
// over and goes on, and in the program the writer thread does the writing,
// so a slow or stalled disk never holds up the reading of the port.
//
// Only opening a day file happens on the caller's thread (its directories
// made, what it holds read, the file created or opened to be added to): once
// per channel at the start of a run and at UTC midnight. Reading is only
// long where the file already holds much (a station restarted late in the
// day: a full day's file at 800 sps, 117 MB, takes some 0.15 s from the page
// cache, longer from a cold disk); a new day's file is not there to read. A failure there throws ArchiveError; a
// failure of a write later is the writer's, reported with the other files'.
#pragma once

#include <string>
#include <vector>

#include "mseed/archive.h"
#include "recording/file_writer.h"

namespace voxa {

class WriterDayFiles final : public ArchiveFiles {
 public:
  WriterDayFiles(FileWriter& writer, std::string root);
  ~WriterDayFiles() override;
  WriterDayFiles(const WriterDayFiles&) = delete;
  WriterDayFiles& operator=(const WriterDayFiles&) = delete;

  // Through the writer's store, on the caller's thread. A file this writer
  // still has steps queued for is read as far as they reached the disk;
  // within a run each file is read before the run first writes to it.
  void ReadHeld(const std::string& relativePath, const Reader& take) override;
  void Append(size_t slot, const std::string& relativePath, const uint8_t* data, size_t length) override;
  void Sync() override;
  // Hands every file's closing to the writer; its outcome is the writer's.
  void CloseAll() override;
  const std::vector<std::string>& Written() const override { return written_; }

 private:
  struct Open {
    FileId file = kNoFile;
    std::string path;  // relative
  };

  FileWriter& writer_;
  std::string root_;
  std::vector<Open> open_;
  std::vector<std::string> written_;
};

}  // namespace voxa
