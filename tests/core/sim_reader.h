// A small reader of the device stream for the simulator's tests. It is
// written from the format's rules alone (a byte with the top bit set starts a
// record, the bytes below 0x80 after it are its payload) and shares nothing
// with the simulator's encoder or the monitor's separator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace voxa::sim::test {

struct Record {
  uint8_t marker = 0;
  std::vector<uint8_t> payload;
  bool operator==(const Record&) const = default;
};

struct SplitStream {
  std::vector<uint8_t> leading;  // bytes before the first marker
  std::vector<Record> records;
};

inline SplitStream SplitRecords(const std::vector<uint8_t>& bytes) {
  SplitStream split;
  for (const uint8_t byte : bytes) {
    if (byte >= 0x80) {
      split.records.push_back(Record{byte, {}});
    } else if (split.records.empty()) {
      split.leading.push_back(byte);
    } else {
      split.records.back().payload.push_back(byte);
    }
  }
  return split;
}

inline bool IsSampleBlock(uint8_t marker) { return marker == 0x80 || marker == 0x90 || marker == 0x9F; }

// The converter value of 4 payload bytes: 7 + 7 + 7 + 3 bits, the terms
// added, 24-bit two's complement.
inline int32_t DecodeSample(const uint8_t* bytes) {
  const int32_t raw = bytes[0] * 131072 + bytes[1] * 1024 + bytes[2] * 8 + bytes[3];
  return raw > 0x7FFFFF ? raw - 0x1000000 : raw;
}

inline std::string PayloadText(const Record& record) {
  return std::string(record.payload.begin(), record.payload.end());
}

// Exclusive or of the characters from ">" through "*", in two hex digits.
inline std::string ExpectedChecksum(const std::string& message_through_star) {
  int sum = 0;
  for (const char c : message_through_star) sum ^= static_cast<unsigned char>(c);
  static const char* const kDigits = "0123456789ABCDEF";
  return std::string{kDigits[sum / 16], kDigits[sum % 16]};
}

// The n-th record (from 0) whose marker satisfies `pick`, or -1.
template <typename Pick>
long FindNth(const std::vector<Record>& records, long n, Pick pick) {
  for (size_t i = 0; i < records.size(); ++i) {
    if (pick(records[i].marker) && n-- == 0) return static_cast<long>(i);
  }
  return -1;
}

}  // namespace voxa::sim::test
