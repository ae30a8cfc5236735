// The calendar routines, moving a GPS record by whole seconds, and the
// routines that date a finished recording: the end-time record, the rewrite
// of the placeholder records after a late first fix, the start time in a
// header the system built itself, and the recording's file name.
//
// Dates move with the UTC time of day the record states. The date of a time
// message belongs to its UTC time, so a record is moved by first taking its
// UTC time of day (GPS time of day minus the GPS - UTC offset) into 0..86399
// with the date unchanged, and only then applying the move: the date changes
// exactly when the move crosses UTC midnight, by as many days as it crosses.
// The year is never changed; a day moved out of its year is written as day
// 00 of month 00 (yy/00/00) at either end of the year, so a reader sees that
// the date left the year instead of getting a wrong calendar date.
#include "timing/time_stamps.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "stream/number_text.h"
#include "timing/gps.h"
#include "timing/gps_text.h"

namespace voxa {
namespace {

using namespace gps_text;

constexpr int64_t kSecondsPerDay = 86400;
constexpr std::array<int, 12> kDaysBeforeMonth = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr std::array<int, 12> kMonthLength = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// Bytes of the placeholder stretch after the header: 0xA0, 76 characters,
// 0xB0 and the two shift bytes.
constexpr int64_t kPlaceholderBytes = 80;
constexpr std::string_view kEndTimeTemplate = "E_TIME=00:00:00;E_DATE=00/00/00;D_VOLT=0;E_VOLT=0;DUMMY";
// Longest name a recording gets: eight date characters, a dot, three for the device.
constexpr size_t kNameStemLength = 8;
constexpr size_t kNameLength = 12;

// The two-digit year makes year mod 4 right for 2000 ... 2099.
bool IsLeapYear(int year) { return year % 4 == 0; }

int64_t FloorDiv(int64_t value, int64_t divisor) {
  const int64_t quotient = value / divisor;
  return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

int64_t FloorMod(int64_t value, int64_t divisor) { return value - FloorDiv(value, divisor) * divisor; }

// A header that carried an unusable rate must not divide by zero; counting
// its blocks as seconds is the least harmful reading.
int32_t SecondsDivisor(const Acquisition& a) { return a.SampleRate > 0 ? a.SampleRate : 1; }

std::string Two(int64_t value) { return ZeroPadded(value, 2); }

// "hh:mm:ss" and "yy/mm/dd", the layouts of the header's S_TIME and S_DATE
// and of the end-time record.
std::string ClockText(const Acquisition& a) { return a.GpsHour + ":" + a.GpsMinute + ":" + a.GpsSecond; }
std::string DateText(const Acquisition& a) { return a.GpsYear + "/" + a.GpsMonth + "/" + a.GpsDay; }

// The end-time record's text: the template with the GPS time and date put
// in place, so it always keeps the template's length.
std::string EndTimeRecordText(const Acquisition& a) {
  std::string text(kEndTimeTemplate);
  OverwriteAt(text, text.find("E_TIME=") + 8, ClockText(a), 8);
  OverwriteAt(text, text.find("E_DATE=") + 8, DateText(a), 8);
  return text;
}

// Writes value into the 8 characters after the first key= of text, if the
// key is there. Only characters inside the text change.
void PutHeaderItem(std::string& text, std::string_view key, std::string_view value) {
  const size_t at = text.find(key);
  if (at != std::string::npos) OverwriteAt(text, at + key.size() + 1, value, 8);
}

bool StartFieldsSet(const Acquisition& a) { return a.GpsSeen && !a.StartTimePending; }

void RestoreStartFields(Acquisition& a) {
  a.GpsTimeText = a.StartTimeText;
  a.GpsHour = a.StartHour;
  a.GpsMinute = a.StartMinute;
  a.GpsSecond = a.StartSecond;
  a.GpsDay = a.StartDay;
  a.GpsMonth = a.StartMonth;
  a.GpsYear = a.StartYear;
}

std::string YearText(int year) {
  const std::string text = std::to_string(year);
  return text.size() > 2 ? text.substr(text.size() - 2) : text;
}

void FieldsFromStartClock(Acquisition& a) {
  a.GpsYear = YearText(a.StartClock.year);
  a.GpsMonth = Two(a.StartClock.month);
  a.GpsDay = Two(a.StartClock.day);
  a.GpsHour = Two(a.StartClock.hour);
  a.GpsMinute = Two(a.StartClock.minute);
  a.GpsSecond = Two(a.StartClock.second);
}

// The start fields moved back to the first sample: the first fix came
// FirstFixBlocks blocks after the recording began. The move uses the first
// fix's own GPS - UTC offset: a receiver reports a provisional offset until it
// has received the UTC parameters, so the last fix's offset may differ.
void BackdateFirstFix(Acquisition& a) {
  RestoreStartFields(a);
  a.GpsUtcOffset.assign(Field(a.FirstGpsText, kUtcOffsetPos, 2));
  a.WorkGpsText = a.FirstGpsText;
  a.BackdateSeconds = a.FirstFixBlocks / SecondsDivisor(a);
  BackdateGpsText(a);
}

bool UnsafeInFileName(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte < 0x20 || byte >= 0x7F) return true;  // control characters, DEL, non-ASCII
  // Separators, and what other systems refuse, since recordings are carried
  // off to other computers on removable media.
  return std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
}

// Every unsafe character becomes "_", and so does every dot that opens the
// text, so it can neither name a directory nor hide the file.
std::string SafeNamePart(std::string_view text) {
  std::string safe(text);
  bool leading = true;
  for (char& c : safe) {
    leading = leading && c == '.';
    if (leading || UnsafeInFileName(c)) c = '_';
  }
  return safe;
}

std::string FileName(std::string_view month, std::string_view day, std::string_view hour,
                     std::string_view minute, std::string_view deviceNumber) {
  std::string stem = std::string(month) + std::string(day) + std::string(hour) + std::string(minute);
  if (stem.size() > kNameStemLength) stem.resize(kNameStemLength);
  std::string name = SafeNamePart(stem) + "." + SafeDeviceNumber(deviceNumber);
  if (name.size() > kNameLength) name.resize(kNameLength);
  if (name.front() == '.') name.front() = '_';
  return name;
}

// Where the recorded stream ends: before the end byte 0xEF and, when a GPS
// message was seen, before the end-time record the end routines appended.
int64_t RecordedStreamEnd(Acquisition& a, int64_t streamStart) {
  int64_t end = a.StreamFile.Size();
  if (end > streamStart) {
    uint8_t last = 0;
    a.StreamFile.ReadAt(end - 1, &last, 1);
    if (last == kMarkerEndByte) --end;
  }
  const auto recordLength = static_cast<int64_t>(1 + kEndTimeTemplate.size());
  if (a.GpsSeen && end - recordLength >= streamStart) {
    constexpr std::string_view kKey = "E_TIME=";
    std::array<uint8_t, 1 + kKey.size()> head{};
    a.StreamFile.ReadAt(end - recordLength, head.data(), head.size());
    bool endTimeRecord = head[0] == kMarkerEndTime;
    for (size_t i = 0; i < kKey.size(); ++i) endTimeRecord = endTimeRecord && head[1 + i] == static_cast<uint8_t>(kKey[i]);
    if (endTimeRecord) end -= recordLength;
  }
  return end;
}

// The 80 bytes the first write put after the header.
std::array<uint8_t, kPlaceholderBytes> PlaceholderBytes() {
  std::array<uint8_t, kPlaceholderBytes> bytes{};
  bytes[0] = kMarkerGps;
  for (size_t i = 0; i < kPlaceholderGpsText.size(); ++i) bytes[1 + i] = static_cast<uint8_t>(kPlaceholderGpsText[i]);
  bytes[77] = kMarkerShift;
  return bytes;
}

bool IsSampleBlockMarker(uint8_t byte) {
  return byte == kMarkerBlock || byte == kMarkerSecondBlock || byte == kMarkerBlockAlt;
}

// Finds, in the recorded stream from streamStart to streamEnd, the end of the
// wanted-th sample block record (or of the last one, when there are fewer),
// as a length counted from streamStart; 0 when there is no block at all. A
// record ends where the next marker begins; a shift record always has
// exactly two payload bytes, which are skipped whatever their values.
int64_t LengthThroughBlocks(Acquisition& a, int64_t streamStart, int64_t streamEnd, int32_t wanted) {
  std::array<uint8_t, 4096> chunk{};
  int32_t blocks = 0;
  bool inBlock = false;
  int shiftBytesLeft = 0;
  int64_t blocksEnd = 0;
  for (int64_t at = streamStart; at < streamEnd;) {
    const auto count = static_cast<size_t>(std::min<int64_t>(chunk.size(), streamEnd - at));
    a.StreamFile.ReadAt(at, chunk.data(), count);
    for (size_t i = 0; i < count; ++i) {
      const uint8_t byte = chunk[i];
      if (shiftBytesLeft > 0) {
        --shiftBytesLeft;
        continue;
      }
      if (byte < 0x80) continue;
      if (inBlock) {
        inBlock = false;
        blocksEnd = at + static_cast<int64_t>(i) - streamStart;
        if (blocks == wanted) return blocksEnd;
      }
      if (IsSampleBlockMarker(byte)) {
        ++blocks;
        inBlock = true;
      } else if (byte == kMarkerShift) {
        shiftBytesLeft = 2;
      }
    }
    at += static_cast<int64_t>(count);
  }
  return inBlock ? streamEnd - streamStart : blocksEnd;
}

// Copies length bytes from source to the lower offset target, front to back,
// so an overlapping stretch is read before it is overwritten.
void MoveDown(Acquisition& a, int64_t source, int64_t target, int64_t length) {
  std::vector<uint8_t> chunk(64 * 1024);
  for (int64_t done = 0; done < length;) {
    const auto count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(chunk.size()), length - done));
    a.StreamFile.ReadAt(source + done, chunk.data(), count);
    a.StreamFile.WriteAt(target + done, chunk.data(), count);
    done += static_cast<int64_t>(count);
  }
}

}  // namespace

int DayOfYear(int day, int month, int year) {
  if (month < 1 || month > 12) return 0;
  const int leapDay = (IsLeapYear(year) && month >= 3) ? 1 : 0;
  return day + kDaysBeforeMonth[static_cast<size_t>(month - 1)] + leapDay;
}

DayMonth DateOfDayOfYear(int year, int n) {
  const bool leap = IsLeapYear(year);
  if (n < 1 || n - (leap ? 1 : 0) > 365) return {};
  int month = 1;
  for (;; ++month) {
    const int length = kMonthLength[static_cast<size_t>(month - 1)] + ((leap && month == 2) ? 1 : 0);
    if (n <= length) break;
    n -= length;
  }
  return {n, month};
}

void BackdateGpsText(Acquisition& a) {
  const int64_t gpsTime = TextToInt(a.GpsTimeText);
  const int64_t offset = TextToInt(a.GpsUtcOffset);
  const int year = TextToInt(a.GpsYear);
  const int dayNumber = DayOfYear(TextToInt(a.GpsDay), TextToInt(a.GpsMonth), year);

  // The date belongs to the UTC time of day; take that into one day first.
  int64_t utc = FloorMod(gpsTime - offset, kSecondsPerDay) - a.BackdateSeconds;
  const int64_t days = FloorDiv(utc, kSecondsPerDay);
  utc = FloorMod(utc, kSecondsPerDay);
  const int64_t movedGpsTime = FloorMod(utc + offset, kSecondsPerDay);

  // A date that was no date to begin with (month outside 1..12) stays none.
  DayMonth date;
  if (dayNumber >= 1) {
    const int64_t moved = dayNumber + days;
    if (moved >= 1 && moved <= 366) date = DateOfDayOfYear(year, static_cast<int>(moved));
  }

  a.GpsTimeText = ZeroPadded(movedGpsTime, 5);
  a.GpsHour = Two(utc / 3600);
  a.GpsMinute = Two((utc % 3600) / 60);
  a.GpsSecond = Two(utc % 60);
  a.GpsDay = Two(date.day);
  a.GpsMonth = Two(date.month);

  // The record is rewritten as a whole 76-character record with both
  // checksums valid again. A ">XPV" record keeps its temperature where other
  // records carry the time of day.
  std::string& record = a.WorkGpsText;
  record = FullRecord(record);
  if (!HasAt(record, 1, kTemperatureId)) OverwriteAt(record, kTimeOfDayPos, a.GpsTimeText, 5);
  OverwriteAt(record, kHourPos, a.GpsHour, 2);
  OverwriteAt(record, kMinutePos, a.GpsMinute, 2);
  OverwriteAt(record, kSecondPos, a.GpsSecond, 2);
  OverwriteAt(record, kDayPos, a.GpsDay, 2);
  OverwriteAt(record, kMonthPos, a.GpsMonth, 2);
  // Each checksum covers its message from after ">" through "*".
  const std::string first = GpsChecksum(std::string_view(record).substr(1, kFirstChecksumPos - 2));
  const std::string second =
      GpsChecksum(std::string_view(record).substr(kTimeMessagePos, kSecondChecksumPos - kTimeMessagePos - 1));
  OverwriteAt(record, kFirstChecksumPos, first, 2);
  OverwriteAt(record, kSecondChecksumPos, second, 2);
}

void WriteEndTime(Acquisition& a) {
  // Seconds since the last message that decoded: its fields are the ones in
  // force, also when broken records came after it.
  a.WorkGpsText = a.GpsText;
  a.BackdateSeconds = -(a.BlocksSinceFix / SecondsDivisor(a));
  if (a.BackdateSeconds <= -2) BackdateGpsText(a);
  a.EndTimeText = EndTimeRecordText(a);
  a.StreamFile.Append(kMarkerEndTime);
  a.StreamFile.Append(a.EndTimeText);
}

// The first blocks move down as whole records (a shift record, a GPS record,
// stray bytes or an invalid block among them are never cut), and the
// back-dated GPS record and the start shift follow the k-th block. A
// recording with fewer blocks gets them after its last block, the nearest
// place to where they belong; one without blocks keeps them where they are.
void FixStartRecords(Acquisition& a) {
  BackdateFirstFix(a);
  const int32_t wantedBlocks = a.FirstFixBlocks % SecondsDivisor(a) + 1;

  const int64_t placeholderAt = int64_t{a.RecordedHeaderLength} + 1;
  const int64_t streamStart = placeholderAt + kPlaceholderBytes;
  if (a.StreamFile.Size() < streamStart) return;
  // Only the placeholder the first write put there is ever replaced: a file
  // that does not hold it is left exactly as it is.
  std::array<uint8_t, kPlaceholderBytes> found{};
  a.StreamFile.ReadAt(placeholderAt, found.data(), found.size());
  if (found != PlaceholderBytes()) return;

  const int64_t streamEnd = RecordedStreamEnd(a, streamStart);
  const int64_t moved = LengthThroughBlocks(a, streamStart, streamEnd, wantedBlocks);
  MoveDown(a, streamStart, placeholderAt, moved);

  std::array<uint8_t, kPlaceholderBytes> records{};
  records[0] = kMarkerGps;
  for (size_t i = 0; i < kRecordLength; ++i) records[1 + i] = static_cast<uint8_t>(a.WorkGpsText[i]);
  records[77] = kMarkerShift;
  records[78] = a.StartShiftPair[0];
  records[79] = a.StartShiftPair[1];
  a.StreamFile.WriteAt(placeholderAt + moved, records.data(), records.size());
}

void FillStartTime(Acquisition& a) {
  if (!StartFieldsSet(a)) {
    FieldsFromStartClock(a);
  } else if (a.StartTimeFix) {
    // The first fix came late: the start is the first fix moved back to the
    // first sample (what FixStartRecords has written into the file).
    BackdateFirstFix(a);
  } else {
    RestoreStartFields(a);
  }

  PutHeaderItem(a.HeaderText, "S_TIME=", ClockText(a));
  PutHeaderItem(a.HeaderText, "S_DATE=", DateText(a));
  const size_t count = std::min({a.HeaderText.size(), static_cast<size_t>(std::max(a.HeaderLength, 0)),
                                 a.HeaderBuffer.size()});
  for (size_t i = 0; i < count; ++i) a.HeaderBuffer[i] = static_cast<uint8_t>(a.HeaderText[i]);

  a.StreamFileName = StreamFileNameFrom(a);
}

void EnsureStreamFileName(Acquisition& a) {
  if (!a.StreamFileName.empty()) return;
  if (StartFieldsSet(a)) {
    a.StreamFileName = FileName(a.StartMonth, a.StartDay, a.StartHour, a.StartMinute, a.DeviceNumber);
  } else {
    a.StreamFileName = FileName(Two(a.StartClock.month), Two(a.StartClock.day), Two(a.StartClock.hour),
                                Two(a.StartClock.minute), a.DeviceNumber);
  }
}

std::string SafeDeviceNumber(std::string_view deviceNumber) { return SafeNamePart(deviceNumber); }

std::string StreamFileNameFrom(const Acquisition& a) {
  return FileName(a.GpsMonth, a.GpsDay, a.GpsHour, a.GpsMinute, a.DeviceNumber);
}

}  // namespace voxa
