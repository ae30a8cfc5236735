// GPS records: the fields the system uses, broken records, the start fields
// of a recording, and the message checksum.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "stream/acquisition.h"

namespace voxa {

// The GPS record the recording carries after its header when the first screen
// ended before any GPS message was decoded (76 characters).
inline constexpr std::string_view kPlaceholderGpsText =
    ">RPV00015+5200000+0130000000000012;*79<>RTM0000005101111201115107100000;*61<";

// Decodes a.GpsText after a GPS record has been read. Sets GpsBlockError and
// writes "GPS Block error" to error.csv for a broken record.
void DecodeGpsRecord(Acquisition& a);
// The field extraction and recording bookkeeping of a sound record.
void DecodeGpsTime(Acquisition& a);

// Exclusive or of 0x3E (">") with every character of text, as two upper-case hex digits.
std::string GpsChecksum(std::string_view text);
// The byte in upper-case hexadecimal, high digit first.
std::string HexByte(uint8_t value);

}  // namespace voxa
