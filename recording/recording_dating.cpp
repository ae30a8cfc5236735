// The steps that date a finished recording: the end-time record, the rewrite
// of the placeholder records after a late first fix, the start time in a
// header the monitor built itself, and the recording's file name.
//
// They work on the GPS time fields in force and leave them as they dated the
// recording (the caller keeps them in force until the next sound record).
#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "format/gps_record.h"
#include "format/markers.h"
#include "format/number_text.h"
#include "recording/recording.h"
#include "timing/time_conversion.h"

namespace voxa {
namespace {

using namespace gps_text;

// Bytes of the placeholder stretch after the header: 0xA0, 76 characters,
// 0xB0 and the two shift bytes.
constexpr int64_t kPlaceholderBytes = 80;
constexpr std::string_view kEndTimeTemplate = "E_TIME=00:00:00;E_DATE=00/00/00;D_VOLT=0;E_VOLT=0;DUMMY";
// Longest name a recording gets: eight date characters, a dot, three for the device.
constexpr size_t kNameStemLength = 8;
constexpr size_t kNameLength = 12;

std::string Two(int64_t value) { return ZeroPadded(value, 2); }

// "hh:mm:ss" and "yy/mm/dd", the layouts of the header's S_TIME and S_DATE
// and of the end-time record.
std::string DateText(const GpsTime& t) { return t.year + "/" + t.month + "/" + t.day; }

// The end-time record's text: the template with the GPS time and date put
// in place, so it always keeps the template's length.
std::string EndTimeRecordText(const GpsTime& t) {
  std::string text(kEndTimeTemplate);
  OverwriteAt(text, text.find("E_TIME=") + 8, t.ClockText(), 8);
  OverwriteAt(text, text.find("E_DATE=") + 8, DateText(t), 8);
  return text;
}

// Writes value into the 8 characters after the first key= of text, if the
// key is there. Only characters inside the text change.
void PutHeaderItem(std::string& text, std::string_view key, std::string_view value) {
  const size_t at = text.find(key);
  if (at != std::string::npos) OverwriteAt(text, at + key.size() + 1, value, 8);
}

// The start fields put back in force: every field but the offset.
void RestoreStartFields(GpsTime& time, const GpsTime& start) {
  time.timeOfDay = start.timeOfDay;
  time.hour = start.hour;
  time.minute = start.minute;
  time.second = start.second;
  time.day = start.day;
  time.month = start.month;
  time.year = start.year;
}

std::string YearText(int year) {
  const std::string text = std::to_string(year);
  return text.size() > 2 ? text.substr(text.size() - 2) : text;
}

void FieldsFromClock(GpsTime& time, const ClockFields& clock) {
  time.year = YearText(clock.year);
  time.month = Two(clock.month);
  time.day = Two(clock.day);
  time.hour = Two(clock.hour);
  time.minute = Two(clock.minute);
  time.second = Two(clock.second);
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

// The 80 bytes the first write put after the header.
std::array<uint8_t, kPlaceholderBytes> PlaceholderBytes() {
  std::array<uint8_t, kPlaceholderBytes> bytes{};
  bytes[0] = kMarkerGps;
  for (size_t i = 0; i < kPlaceholderGpsText.size(); ++i) bytes[1 + i] = static_cast<uint8_t>(kPlaceholderGpsText[i]);
  bytes[77] = kMarkerShift;
  return bytes;
}

// Where the recorded stream ends: before the end byte 0xEF and, when a GPS
// message was seen, before the end-time record the end routines appended.
int64_t RecordedStreamEnd(FileAccess& file, int64_t streamStart) {
  int64_t end = file.Size();
  if (end > streamStart) {
    uint8_t last = 0;
    file.ReadAt(end - 1, &last, 1);
    if (last == kMarkerEndByte) --end;
  }
  const auto recordLength = static_cast<int64_t>(1 + kEndTimeTemplate.size());
  if (end - recordLength >= streamStart) {
    constexpr std::string_view kKey = "E_TIME=";
    std::array<uint8_t, 1 + kKey.size()> head{};
    file.ReadAt(end - recordLength, head.data(), head.size());
    bool endTimeRecord = head[0] == kMarkerEndTime;
    for (size_t i = 0; i < kKey.size(); ++i) endTimeRecord = endTimeRecord && head[1 + i] == static_cast<uint8_t>(kKey[i]);
    if (endTimeRecord) end -= recordLength;
  }
  return end;
}

// Finds, in the recorded stream from streamStart to streamEnd, the end of the
// wanted-th sample block record (or of the last one, when there are fewer),
// as a length counted from streamStart; 0 when there is no block at all. A
// record ends where the next marker begins, as the separator read it.
int64_t LengthThroughBlocks(FileAccess& file, int64_t streamStart, int64_t streamEnd, int64_t wanted) {
  std::array<uint8_t, 4096> chunk{};
  int64_t blocks = 0;
  bool inBlock = false;
  int64_t blocksEnd = 0;
  for (int64_t at = streamStart; at < streamEnd;) {
    const auto count = static_cast<size_t>(std::min<int64_t>(chunk.size(), streamEnd - at));
    file.ReadAt(at, chunk.data(), count);
    for (size_t i = 0; i < count; ++i) {
      const uint8_t byte = chunk[i];
      if (byte < 0x80) continue;
      if (inBlock) {
        inBlock = false;
        blocksEnd = at + static_cast<int64_t>(i) - streamStart;
        if (blocks == wanted) return blocksEnd;
      }
      if (IsSampleBlockMarker(byte)) {
        ++blocks;
        inBlock = true;
      }
    }
    at += static_cast<int64_t>(count);
  }
  return inBlock ? streamEnd - streamStart : blocksEnd;
}

// Copies length bytes from source to the lower offset target, front to back,
// so an overlapping stretch is read before it is overwritten.
void MoveDown(FileAccess& file, int64_t source, int64_t target, int64_t length) {
  std::vector<uint8_t> chunk(64 * 1024);
  for (int64_t done = 0; done < length;) {
    const auto count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(chunk.size()), length - done));
    file.ReadAt(source + done, chunk.data(), count);
    file.WriteAt(target + done, chunk.data(), count);
    done += static_cast<int64_t>(count);
  }
}

// The start records rewritten in the file: the first blocks move down as
// whole records (a shift record, a GPS record, stray bytes or an invalid
// block among them are never cut), and the back-dated GPS record and the
// start shift (records) follow the wanted-th block. A recording with fewer
// blocks gets them after its last block, the nearest place to where they
// belong; one without blocks keeps them where they are. Only the placeholder
// the first write put there is ever replaced: a file that does not hold it
// is left exactly as it is.
void RewriteStartRecords(FileAccess& file, int64_t placeholderAt, int64_t wantedBlocks,
                         const std::array<uint8_t, kPlaceholderBytes>& records) {
  const int64_t streamStart = placeholderAt + kPlaceholderBytes;
  if (file.Size() < streamStart) return;
  std::array<uint8_t, kPlaceholderBytes> found{};
  file.ReadAt(placeholderAt, found.data(), found.size());
  if (found != PlaceholderBytes()) return;

  const int64_t streamEnd = RecordedStreamEnd(file, streamStart);
  const int64_t moved = LengthThroughBlocks(file, streamStart, streamEnd, wantedBlocks);
  MoveDown(file, streamStart, placeholderAt, moved);
  file.WriteAt(placeholderAt + moved, records.data(), records.size());
}

}  // namespace

// A header that carried an unusable rate must not divide by zero; counting
// its blocks as seconds is the least harmful reading.
int32_t Recording::Rate() const { return std::max(device_.Parameters().rate, int32_t{1}); }

void Recording::WriteEndTime(GpsTime& time, int64_t blocksSinceFix) {
  // Seconds since the last message that decoded: its fields are the ones in
  // force, also when broken records came after it.
  const int64_t forward = blocksSinceFix / Rate();
  if (forward >= 2) {
    std::string scratch;
    MoveGpsTime(time, -forward, scratch);
  }
  AppendToFile(Bytes(&kMarkerEndTime, 1));
  AppendToFile(EndTimeRecordText(time));
}

// The start fields moved back to the first sample: the first fix came
// firstFixBlocks_ blocks after the recording began. The move uses the first
// fix's own GPS - UTC offset: a receiver reports a provisional offset until it
// has received the UTC parameters, so the last fix's offset may differ.
void Recording::BackdateFirstFix(GpsTime& time, std::string& record) const {
  RestoreStartFields(time, start_);
  time.utcOffset.assign(Field(firstGpsText_, kUtcOffsetPos, 2));
  record = firstGpsText_;
  MoveGpsTime(time, firstFixBlocks_ / Rate(), record);
}

// The back-dated first fix and the settled shift replace the placeholder
// records, after the first blocks of the second they belong to; the file is
// read back and rewritten where it is written.
void Recording::FixStartRecords(GpsTime& time) {
  std::string record;
  BackdateFirstFix(time, record);
  const int64_t wantedBlocks = firstFixBlocks_ % Rate() + 1;
  const int64_t placeholderAt = int64_t{writtenHeaderLength_} + 1;

  std::array<uint8_t, kPlaceholderBytes> records{};
  records[0] = kMarkerGps;
  for (size_t i = 0; i < kRecordLength; ++i) records[1 + i] = static_cast<uint8_t>(record[i]);
  records[77] = kMarkerShift;
  records[78] = startShiftPair_[0];
  records[79] = startShiftPair_[1];
  writer_->Run(file_, [placeholderAt, wantedBlocks, records](FileAccess& file) {
    RewriteStartRecords(file, placeholderAt, wantedBlocks, records);
  });
}

void Recording::FillStartTime(GpsTime& time, bool gpsSeen, const ClockFields& startClock, std::string& header) {
  if (!gpsSeen || startTimePending_) {
    FieldsFromClock(time, startClock);
  } else if (startTimeFix_) {
    // The first fix came late: the start is the first fix moved back to the
    // first sample (what FixStartRecords has written into the file).
    std::string record;
    BackdateFirstFix(time, record);
  } else {
    RestoreStartFields(time, start_);
  }
  PutHeaderItem(header, "S_TIME=", time.ClockText());
  PutHeaderItem(header, "S_DATE=", DateText(time));
  fileName_ = RecordingName(time.month, time.day, time.hour, time.minute, device_.DeviceNumber());
}

std::string Recording::NameAtEnd(bool gpsSeen, const ClockFields& startClock) const {
  if (gpsSeen && !startTimePending_) {
    return RecordingName(start_.month, start_.day, start_.hour, start_.minute, device_.DeviceNumber());
  }
  return RecordingName(Two(startClock.month), Two(startClock.day), Two(startClock.hour), Two(startClock.minute),
                       device_.DeviceNumber());
}

std::string RecordingName(std::string_view month, std::string_view day, std::string_view hour,
                          std::string_view minute, std::string_view deviceNumber) {
  std::string stem = std::string(month) + std::string(day) + std::string(hour) + std::string(minute);
  if (stem.size() > kNameStemLength) stem.resize(kNameStemLength);
  std::string name = SafeNamePart(stem) + "." + SafeNamePart(deviceNumber);
  if (name.size() > kNameLength) name.resize(kNameLength);
  if (name.front() == '.') name.front() = '_';
  return name;
}

}  // namespace voxa
