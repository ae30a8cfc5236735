// The GPS record's layout: where its fields stand, how much of a received
// text really belongs to the record, the message checksum, and how a record
// text is brought to its full 76 characters before it is rewritten.
//
// A record is 76 characters: a position message (">RPV", or ">XPV" carrying
// the device temperature where the time of day would stand) in characters
// 1 to 39 and a time message (">RTM") in 40 to 76. Each message ends with
// ";*", two hexadecimal checksum digits and "<".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace voxa {

// The GPS record the recording carries after its header when the first screen
// ended before any GPS message was decoded (76 characters).
inline constexpr std::string_view kPlaceholderGpsText =
    ">RPV00015+5200000+0130000000000012;*79<>RTM0000005101111201115107100000;*61<";

// Exclusive or of 0x3E (">") with every character of text, as two upper-case
// hex digits: applied to a message from after its ">" through its "*", the
// checksum the message carries.
std::string GpsChecksum(std::string_view text);
// The byte in upper-case hexadecimal, high digit first.
std::string HexByte(uint8_t value);

namespace gps_text {

// Record length and field positions, 1-based as the record layout counts them.
inline constexpr size_t kRecordLength = 76;
inline constexpr size_t kTimeOfDayPos = 5;     // 5 digits; the temperature in a ">XPV" record
inline constexpr size_t kFirstChecksumPos = 37;
inline constexpr size_t kTimeMessagePos = 40;  // ">RTM"
inline constexpr size_t kHourPos = 44;
inline constexpr size_t kMinutePos = 46;
inline constexpr size_t kSecondPos = 48;
inline constexpr size_t kDayPos = 53;
inline constexpr size_t kMonthPos = 55;
inline constexpr size_t kYearPos = 59;
inline constexpr size_t kUtcOffsetPos = 61;
inline constexpr size_t kSatellitesPos = 64;
inline constexpr size_t kSecondChecksumPos = 74;
// The last character any decoded field reaches (the satellite count).
inline constexpr size_t kLastDecodedPos = 65;

inline constexpr std::string_view kTimeMessageId = ">RTM";
inline constexpr std::string_view kTemperatureId = ">XPV";

// Number of characters of text that belong to the record: everything before
// the first byte with its top bit set. Such a byte is the marker of the next
// record (the reader keeps it as the last character when it cuts a record
// short; the blind 70-byte read without recording may even hold it inside).
size_t RecordLength(std::string_view text);

// The count characters at 1-based position pos, or fewer when the record ends
// earlier; never reads past the record.
std::string_view Field(std::string_view text, size_t pos, size_t count);

// True when the record holds id at 1-based position pos.
bool HasAt(std::string_view text, size_t pos, std::string_view id);

// The record as exactly 76 characters, all below 0x80: cut at the first
// marker byte, and a shorter record completed with the characters of the
// placeholder record at the missing positions, so the completed record keeps
// the layout of a time message (";*", checksum, "<") for the checksum to be
// rewritten into.
std::string FullRecord(std::string_view text);

// Writes value over text from 1-based position pos, keeping the text's
// length: characters that would fall beyond its end are dropped, and at most
// width characters are written.
void OverwriteAt(std::string& text, size_t pos, std::string_view value, size_t width);

}  // namespace gps_text
}  // namespace voxa
