// The GPS decoder on arbitrary record texts (as the separator hands them on:
// up to 76 characters, a marker that cut the record possibly last). A record
// is either broken and changes no time field, or every field it gave is
// digits in range.
//
// Input: the record text.
#include <string>

#include "fuzz_support.h"
#include "timing/gps_clock.h"
#include "timing/time_conversion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace voxa;
  using namespace voxa::fuzz;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  GpsClock clock;
  clock.CountBlock();
  if (!clock.Decode(text)) {
    Check(!clock.Seen() && clock.Time().hour.empty() && clock.Time().secondOfDay == 0, "a broken record changes no time");
    Check(clock.BlocksSinceFix() == 1, "a broken record leaves the block count");
    return 0;
  }
  const GpsTime& t = clock.Time();
  Check(clock.Seen() && clock.BlocksSinceFix() == 0 && clock.BlocksBeforeLastFix() == 1, "a fix restarts the count");
  Check(IsDigits(t.hour, 2) && Number(t.hour) <= 23, "hour 00-23");
  Check(IsDigits(t.minute, 2) && Number(t.minute) <= 59, "minute 00-59");
  Check(IsDigits(t.second, 2) && (Number(t.second) <= 59 || (t.ClockText() == "23:59:60")), "second 00-59, or a leap second");
  Check(IsDigits(t.month, 2) && Number(t.month) >= 1 && Number(t.month) <= 12, "month 01-12");
  Check(IsDigits(t.day, 2) && Number(t.day) >= 1 && Number(t.day) <= DaysInMonth(Number(t.month), Number(t.year)),
        "a day of the month");
  Check(IsDigits(t.year, 2) && IsDigits(t.utcOffset, 2) && IsDigits(clock.Satellites(), 2),
        "year, offset and satellites two digits");
  Check(IsDigits(t.timeOfDay, 5) && t.secondOfDay >= 0 && t.secondOfDay < 86400 && Number(t.timeOfDay) == t.secondOfDay,
        "the time of day 00000-86399");
  return 0;
}
