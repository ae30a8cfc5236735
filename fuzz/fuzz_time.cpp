// Moving a GPS time and dating a recording, on arbitrary fields, moves and
// block counts.
//
// Input: a mode byte, then
//   mode even: the calendar and MoveGpsTime: GPS time field texts, a move in
//     seconds and a record text; the moved record is a whole record with
//     valid checksums and the moved fields are digits in range, and a sound
//     record moved there and back keeps its time of day;
//   mode odd: a recording with a first fix (late, after the placeholder, when
//     the mode says so), shift records and a finish, the fix and the end
//     time from arbitrary records and block counts; the file keeps its
//     layout and its name is safe.
#include <string>

#include "format/gps_record.h"
#include "fuzz_support.h"
#include "recording/file_store.h"
#include "recording/file_writer.h"
#include "recording/recording.h"
#include "timing/gps_clock.h"
#include "timing/time_conversion.h"

namespace voxa::fuzz {
namespace {

bool ValidChecksums(const std::string& record) {
  return record.substr(gps_text::kFirstChecksumPos - 1, 2) ==
             GpsChecksum(std::string_view(record).substr(1, gps_text::kFirstChecksumPos - 2)) &&
         record.substr(gps_text::kSecondChecksumPos - 1, 2) ==
             GpsChecksum(std::string_view(record).substr(gps_text::kTimeMessagePos,
                                                         gps_text::kSecondChecksumPos - gps_text::kTimeMessagePos - 1));
}

void CheckMoved(const GpsTime& t, const std::string& record) {
  Check(record.size() == gps_text::kRecordLength, "a moved record has 76 characters");
  for (const char c : record) Check(static_cast<unsigned char>(c) < 0x80, "and no marker");
  Check(ValidChecksums(record), "and valid checksums");
  Check(IsDigits(t.timeOfDay, 5) && Number(t.timeOfDay) < 86400, "time of day 00000-86399");
  Check(IsDigits(t.hour, 2) && Number(t.hour) < 24, "hour 00-23");
  Check(IsDigits(t.minute, 2) && Number(t.minute) < 60, "minute 00-59");
  Check(IsDigits(t.second, 2) && Number(t.second) < 60, "second 00-59");
  Check(IsDigits(t.day, 2) && IsDigits(t.month, 2) && Number(t.month) <= 12, "day and month two digits");
}

void Calendar(Input& in) {
  const int day = static_cast<int32_t>(in.Wide());
  const int month = static_cast<int32_t>(in.Wide());
  const int year = static_cast<int32_t>(in.Wide());
  const int n = DayOfYear(day, month, year);
  if (n != 0) {
    Check(n >= 1 && n <= 31 + 334 + 1, "a day number within a year");
    const DayMonth back = DateOfDayOfYear(year, n);
    if (day <= DaysInMonth(month, year)) Check(back.day == day && back.month == month, "day numbers both ways");
  }
  const DayMonth any = DateOfDayOfYear(year, static_cast<int32_t>(in.Wide()));
  Check((any.day == 0 && any.month == 0) || (any.day >= 1 && any.day <= DaysInMonth(any.month, year)), "a date or none");

  GpsTime time;
  time.timeOfDay = in.ShortText(8);
  time.hour = in.ShortText(3);
  time.minute = in.ShortText(3);
  time.second = in.ShortText(3);
  time.day = in.ShortText(3);
  time.month = in.ShortText(3);
  time.year = in.ShortText(3);
  time.utcOffset = in.ShortText(3);
  const auto seconds = static_cast<int64_t>(in.Wide());
  std::string record = in.ShortText(100);
  MoveGpsTime(time, seconds, record);
  CheckMoved(time, record);

  // A sound record moved away and back is where a move by nothing puts it
  // (the clock follows the GPS time of day and the offset).
  GpsClock clock;
  std::string text = in.Text(76);
  if (!clock.Decode(text)) return;
  GpsTime still = clock.Time();
  std::string stillText = text;
  MoveGpsTime(still, 0, stillText);
  GpsTime moved = clock.Time();
  const int64_t away = seconds % (int64_t{400} * 86400);
  MoveGpsTime(moved, away, text);
  CheckMoved(moved, text);
  MoveGpsTime(moved, -away, text);
  CheckMoved(moved, text);
  Check(moved.timeOfDay == still.timeOfDay && moved.ClockText() == still.ClockText(),
        "moved there and back, the same time");
  if (moved.day + moved.month != "0000") Check(text == stillText, "and the same record within the year");
}

void Dating(Input& in, uint8_t mode) {
  static const ScratchDir scratch;
  const std::string dir = scratch.Fresh("recording");
  DeviceSettings device;
  device.SetParameters({kDeviceRates[(mode >> 1) % kDeviceRates.size()], (mode & 0x10) ? 3 : 1, 16});
  Notes notes;
  device.LoadConfiguration("", false, notes);
  if (mode & 0x20) {
    const std::string header = in.ShortText(200);
    device.ReplaceHeader(Bytes(reinterpret_cast<const uint8_t*>(header.data()), header.size()), notes);
  }
  PosixFileStore store;
  FileWriter writer(store);  // immediate: every step is done before the call returns
  Recording recording(device);
  recording.StartRun(true);
  std::string failure;
  Check(recording.Create(writer, dir + "/" + kWorkingRecordingName, failure), "the recording is created");
  const bool late = (mode & 0x40) != 0;
  if (late) recording.OnLastSecondOfScreen(false);
  std::vector<uint8_t> before(in.Byte());
  for (uint8_t& byte : before) byte = in.Byte();
  recording.Record(Bytes(before));

  GpsClock clock;
  const std::string first = in.Text(76);
  const bool fixed = clock.Decode(first);
  const auto firstBlocks = static_cast<int64_t>(in.Wide() >> 1);
  if (fixed) recording.OnSoundGps(clock.Time(), first, firstBlocks);
  const uint8_t shifts = in.Byte();
  for (int i = 0; i < shifts; ++i) recording.OnShift(in.Byte() & 0x7F, in.Byte() & 0x7F);
  std::vector<uint8_t> after(in.Byte());
  for (uint8_t& byte : after) byte = in.Byte();
  recording.Record(Bytes(after));
  const std::string last = in.Text(76);
  if (clock.Decode(last)) recording.OnSoundGps(clock.Time(), last, 0);
  const auto sinceFix = static_cast<int64_t>(in.Wide() >> 1);

  const FinishedRecording finished =
      recording.Finish({clock.Time(), clock.Seen(), sinceFix, {2026, 3, 7, 14, 5, 9}});
  Check(!finished.name.empty() && finished.name.size() <= 16 && finished.name.find('/') == std::string::npos,
        "a recording has a safe name");
  const FileOutcome outcome = recording.Outcome();
  Check(outcome.closed && !outcome.failed && outcome.name == finished.name, "the recording is closed under its name");
  const std::vector<uint8_t> file = ReadFile(dir + "/" + outcome.name);
  const size_t header = device.HeaderBytes().size();
  const size_t placeholder = late ? 80 : 0;
  const size_t endTime = clock.Seen() ? 56 : 0;
  Check(file.size() == 1 + header + placeholder + before.size() + after.size() + endTime + 1,
        "the recording keeps its layout");
  Check(file.front() == 0xF0 && file.back() == 0xEF, "header marker first, end byte last");
  if (clock.Seen()) {
    const std::string end(file.end() - 57, file.end() - 1);
    Check(end.starts_with("\xE0" "E_TIME=") && end.substr(16, 8) == ";E_DATE=", "the end-time record");
  }
}

}  // namespace
}  // namespace voxa::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  voxa::fuzz::Input in(data, size);
  const uint8_t mode = in.Byte();
  if (mode % 2 == 0) {
    voxa::fuzz::Calendar(in);
  } else {
    voxa::fuzz::Dating(in, mode);
  }
  return 0;
}
