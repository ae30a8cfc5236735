// The SDS archive: where each record lands, and the files it lands in.
//
// Layout (the SeisComP Data Structure, read by ObsPy's SDS client, SeisComP's
// archive tools and many others):
//   ROOT/YEAR/NET/STA/CHA.D/NET.STA.LOC.CHA.D.YEAR.DOY
// one file per channel and UTC day, DOY with three digits.
//
// Day files are only ever appended to: a record written into an existing
// file goes after what is there, nothing in it is truncated or rewritten.
// What a file holds is read once, when a run first writes to it, so that
// records it already holds are not written again (see held_records.h).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "mseed/packer.h"
#include "mseed/utc_time.h"

namespace voxa {

class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The file of channel name's records on the UTC day beginning at dayStart,
// relative to the archive's root.
std::string SdsPath(const ChannelName& name, Micros dayStart);

// Where the archive's records go: one open day file per slot (a channel) at
// a time, only ever appended to. A conversion writes them itself (DayFiles);
// a live run hands them to the writer all of its files go through, so a
// slow disk never holds up the reading of the port.
class ArchiveFiles {
 public:
  // Takes the bytes of a file, in pieces, from its start.
  using Reader = std::function<void(const uint8_t* data, size_t count)>;

  virtual ~ArchiveFiles() = default;
  // Hands what the file at relativePath holds to take; nothing when there is
  // no such file. Throws ArchiveError when it is there but cannot be read.
  virtual void ReadHeld(const std::string& relativePath, const Reader& take) = 0;
  // Appends data to the file at relativePath (its directories are made),
  // through slot's open file. Throws ArchiveError when it cannot.
  virtual void Append(size_t slot, const std::string& relativePath, const uint8_t* data, size_t length) = 0;
  // What the open files hold to the disk (at least once a second in a run).
  virtual void Sync() {}
  // Closes every file; throws ArchiveError when one could not be written whole.
  virtual void CloseAll() = 0;
  // Every file written to, relative to the root, in the order first written.
  virtual const std::vector<std::string>& Written() const = 0;
};

// The archive's files written here with stdio; every record is handed to the
// operating system as it is written when flushEachRecord is set, so a run
// that ends at any moment leaves whole records behind.
class DayFiles final : public ArchiveFiles {
 public:
  DayFiles(std::string root, bool flushEachRecord);
  ~DayFiles() override;
  DayFiles(const DayFiles&) = delete;
  DayFiles& operator=(const DayFiles&) = delete;

  void ReadHeld(const std::string& relativePath, const Reader& take) override;
  void Append(size_t slot, const std::string& relativePath, const uint8_t* data, size_t length) override;
  void CloseAll() override;

  const std::string& Root() const { return root_; }
  const std::vector<std::string>& Written() const override { return written_; }

 private:
  struct Open {
    std::FILE* file = nullptr;
    std::string path;  // relative
  };
  void CloseSlot(Open& open);

  std::string root_;
  bool flushEachRecord_ = true;
  std::vector<Open> open_;
  std::vector<std::string> written_;
};

}  // namespace voxa
