// What the network face needs to know of a 512-byte miniSEED 2.4 record:
// its codes and its time span, read from the fixed header (and blockette
// 1001's microseconds) with shifts, big-endian as the packer writes them.
// It does not allocate, so the ring can read every packet it takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mseed/utc_time.h"

namespace voxa {

struct RecordHeader {
  // NUL-terminated, trailing spaces dropped.
  char network[3] = {};
  char station[6] = {};
  char location[3] = {};
  char channel[4] = {};
  Micros start = 0;
  Micros end = 0;  // one sample interval after the last sample
  int32_t samples = 0;
  char quality = 'D';

  std::string_view Network() const { return network; }
  std::string_view Station() const { return station; }
  std::string_view Location() const { return location; }
  std::string_view Channel() const { return channel; }
  bool SameStream(const RecordHeader& other) const;
};

// False when the bytes are not a big-endian miniSEED 2 data record.
bool DecodeRecordHeader(const uint8_t* record, size_t length, RecordHeader& header);

}  // namespace voxa
