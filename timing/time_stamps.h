// Calendar routines, moving a GPS record by whole seconds, and the three
// routines that date a finished recording.
#pragma once

#include <string>
#include <string_view>

#include "stream/acquisition.h"

namespace voxa {

// Day number in its year, 1 for 1 January (leap year when year mod 4 = 0).
int DayOfYear(int day, int month, int year);

struct DayMonth {
  int day = 0;
  int month = 0;
};
// Day and month of day number n; day 0, month 0 past the end of the year.
DayMonth DateOfDayOfYear(int year, int n);

// Moves the GPS fields and a.WorkGpsText back by a.BackdateSeconds seconds
// (forward when negative), with fresh checksums.
void BackdateGpsText(Acquisition& a);

// Appends the end-time record (0xE0 and its text) to the recording.
void WriteEndTime(Acquisition& a);
// Rewrites the placeholder stretch after the header: the first whole records
// moved to its start, then the back-dated first GPS record and the start shift.
void FixStartRecords(Acquisition& a);
// Puts the start time into HeaderText and HeaderBuffer (same length) and
// builds StreamFileName. The caller writes the header to the file.
void FillStartTime(Acquisition& a);
// Builds StreamFileName when nothing built it during the run: from the first
// fix's start fields, or else from StartClock.
void EnsureStreamFileName(Acquisition& a);

// The device number as it may appear in a file name: characters that are not
// safe there are replaced.
std::string SafeDeviceNumber(std::string_view deviceNumber);
// MMDDhhmm.NNN from the GPS month, day, hour, minute texts and the device number.
std::string StreamFileNameFrom(const Acquisition& a);

}  // namespace voxa
