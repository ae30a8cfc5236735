// Reads a time window out of the SDS archive the live run writes, for
// clients that ask for more than the ring still holds. It reads one record
// at a time, so a window of days costs the event loop a record per call and
// never a whole day file at once.
//
// Only the station's own tree is read: the paths are built from the
// station's codes and the names found on disk, never from what a client
// sent, so nothing outside the archive can be reached.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "mseed/packer.h"
#include "seedlink/record_header.h"

namespace voxa {

class ArchiveReader {
 public:
  // Whether a channel's records are wanted (location, channel).
  using ChannelFilter = std::function<bool(const RecordHeader&)>;
  // Where a channel's archive part ends: the start of what the ring holds
  // of it (or the window's end when the ring holds none).
  using ChannelCutoff = std::function<Micros(const RecordHeader&)>;

  ArchiveReader() = default;
  ~ArchiveReader();
  ArchiveReader(const ArchiveReader&) = delete;
  ArchiveReader& operator=(const ArchiveReader&) = delete;

  // Records of network.station in the archive under root that overlap
  // [begin, end) and start before their channel's cutoff; each channel whole,
  // day by day, before the next.
  void Open(const std::string& root, const std::string& network, const std::string& station, Micros begin,
            Micros end, const ChannelFilter& wanted, const ChannelCutoff& cutoff);
  // The next record; false when the window has no more.
  bool Next(uint8_t* record, RecordHeader& header);
  bool Done() const { return file_ == nullptr && nextFile_ >= files_.size(); }
  void Close();

 private:
  struct DayFile {
    std::string path;
    Micros cutoff = 0;
  };
  std::vector<DayFile> files_;
  size_t nextFile_ = 0;
  std::FILE* file_ = nullptr;
  Micros cutoff_ = 0;
  Micros begin_ = 0, end_ = 0;
};

}  // namespace voxa
