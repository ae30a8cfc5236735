#include "seedlink/record_header.h"

#include <cstring>

namespace voxa {
namespace {

uint16_t Be16(const uint8_t* at) { return static_cast<uint16_t>((at[0] << 8) | at[1]); }

void CopyCode(char* target, size_t size, const uint8_t* source, size_t width) {
  size_t length = width;
  while (length > 0 && (source[length - 1] == ' ' || source[length - 1] == 0)) --length;
  if (length >= size) length = size - 1;
  std::memcpy(target, source, length);
  std::memset(target + length, 0, size - length);
}

bool IsCodeByte(uint8_t c) { return c == ' ' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); }

}  // namespace

bool RecordHeader::SameStream(const RecordHeader& other) const {
  return std::strcmp(network, other.network) == 0 && std::strcmp(station, other.station) == 0 &&
         std::strcmp(location, other.location) == 0 && std::strcmp(channel, other.channel) == 0;
}

bool DecodeRecordHeader(const uint8_t* record, size_t length, RecordHeader& header) {
  if (length < 64) return false;
  const uint8_t quality = record[6];
  if (quality != 'D' && quality != 'R' && quality != 'Q' && quality != 'M') return false;
  for (size_t i = 8; i < 20; ++i) {
    if (!IsCodeByte(record[i])) return false;
  }
  CopyCode(header.station, sizeof header.station, record + 8, 5);
  CopyCode(header.location, sizeof header.location, record + 13, 2);
  CopyCode(header.channel, sizeof header.channel, record + 15, 3);
  CopyCode(header.network, sizeof header.network, record + 18, 2);
  header.quality = static_cast<char>(quality);

  const int year = Be16(record + 20);
  const int dayOfYear = Be16(record + 22);
  const int hour = record[24], minute = record[25], second = record[26];
  const int tenThousandths = Be16(record + 28);
  if (year < 1900 || year > 2500 || dayOfYear < 1 || dayOfYear > 366 || tenThousandths > 9999) return false;
  const auto yearStart = UtcInstant(year, 1, 1, 0, 0, 0);
  if (!yearStart || hour > 23 || minute > 59 || second > 60) return false;
  Micros start = *yearStart + (dayOfYear - 1) * kMicrosPerDay +
                 ((hour * 60 + minute) * 60 + second) * kMicrosPerSecond + tenThousandths * 100;

  header.samples = Be16(record + 30);
  const auto factor = static_cast<int16_t>(Be16(record + 32));
  const auto multiplier = static_cast<int16_t>(Be16(record + 34));
  double rate = 0;
  if (factor > 0 && multiplier > 0) rate = double(factor) * multiplier;
  if (factor > 0 && multiplier < 0) rate = -double(factor) / multiplier;
  if (factor < 0 && multiplier > 0) rate = -double(multiplier) / factor;
  if (factor < 0 && multiplier < 0) rate = 1.0 / (double(factor) * multiplier);

  // Blockette 1001 adds microseconds to the header's ten-thousandths.
  size_t next = Be16(record + 46);
  for (int hops = 0; next != 0 && hops < 8 && next + 8 <= length; ++hops) {
    const uint16_t type = Be16(record + next);
    if (type == 1001) start += static_cast<int8_t>(record[next + 5]);
    const size_t following = Be16(record + next + 2);
    if (following != 0 && following <= next) break;
    next = following;
  }
  header.start = start;
  header.end = rate > 0 ? start + static_cast<Micros>(header.samples * 1e6 / rate + 0.5) : start;
  return true;
}

}  // namespace voxa
