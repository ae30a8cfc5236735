// The acquisition state: everything that the receive loop, the header and
// configuration code, the GPS and time code, the plot and the checks share
// during a run. One object, owned by the run controller, touched only by the
// GUI thread. Member names follow the names the whole program uses for these
// values, so a reader can follow one value from the stream to the screen.
//
// Values that persist from one run to the next (the parameters, the zoom,
// the scales, the GPS texts) start at their program-start values here;
// InitStart resets what each START resets.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "stream/output_files.h"

namespace voxa {

// One screen never holds more than this many sample values.
inline constexpr int32_t kSampleSlots = 76800;
// Nominal size of the buffer that collects the recorded stream between flushes.
inline constexpr int32_t kRawBufferSize = 400000;
// Before the recording's first write the buffer may grow up to this size, so
// that the placeholder decision at the end of the first screen can still be made.
inline constexpr int32_t kRawBufferGrowthLimit = 8 * 1024 * 1024;
// Largest header record the device may send.
inline constexpr int32_t kHeaderCapacity = 512;
inline constexpr int32_t kMaxChannels = 3;
inline constexpr int32_t kConfigLineCapacity = 20;

// Record markers of the device stream and of the recording file.
inline constexpr uint8_t kMarkerBlock = 0x80;
inline constexpr uint8_t kMarkerSecondBlock = 0x90;
inline constexpr uint8_t kMarkerBlockAlt = 0x9F;
inline constexpr uint8_t kMarkerGps = 0xA0;
inline constexpr uint8_t kMarkerShift = 0xB0;
inline constexpr uint8_t kMarkerEndTime = 0xE0;
inline constexpr uint8_t kMarkerEndByte = 0xEF;
inline constexpr uint8_t kMarkerHeader = 0xF0;
inline constexpr uint8_t kMarkerBoot = 0xF8;

// The computer's local date and time taken at START.
struct ClockFields {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// The check boxes copied at START.
struct RunOptions {
  bool saveErrorList = false;
  bool saveShift = false;
  bool saveStream = false;
  bool resetOffset = true;
  bool autoScale = false;
  bool loadExtHeader = true;
};

struct Acquisition {
  Acquisition();

  // --- Device configuration -------------------------------------------------
  int32_t SampleRate = 100;   // frames per second: 50, 100, 200, 400, 800
  int32_t ChannelCount = 3;   // 1 or 3
  int32_t Gain = 16;          // 1 ... 64
  std::string DeviceNumber = "000";      // at most 3 characters
  std::string FirmwareVersion = "n/a";   // at most 10 characters
  int32_t BlockSize = 12;                // always 4 x ChannelCount

  // The header in force. HeaderBuffer holds HeaderLength bytes of it.
  std::array<uint8_t, kHeaderCapacity> HeaderBuffer{};
  int32_t HeaderLength = 0;
  std::string HeaderText;

  // config.txt lines that are not comments, in file order.
  std::array<std::string, kConfigLineCapacity> ConfigLines;
  int32_t ConfigLineCount = 0;

  // --- Options and run flags -------------------------------------------------
  bool SaveStream = false;
  bool SaveErrorList = false;
  bool SaveShift = false;
  bool LoadExtHeader = true;
  bool ExtHeaderLoaded = false;
  bool ResetOffset = true;
  bool AutoScale = false;
  bool HighPass = false;
  bool StopRequested = false;
  bool AwaitingDeviceHeader = true;
  ClockFields StartClock;

  // --- Receive state ---------------------------------------------------------
  uint8_t MarkerByte = 0;
  bool MarkerPending = false;
  uint8_t StreamByte = 0;
  std::array<uint8_t, 16> BlockBuffer{};
  int32_t BlockIndex = 1;  // 1 + payload bytes stored in BlockBuffer
  std::string GpsText;     // text of the last GPS record
  uint8_t ShiftByte1 = 0, ShiftByte2 = 0;

  // --- Counters and error flags ----------------------------------------------
  int32_t BlocksInSecond = 0;
  int32_t BlocksSinceMark = 0;
  int32_t BlocksSinceGps = 0;
  int32_t BlocksSinceFix = 0;
  int32_t GoodBlocks = 0;
  int32_t BlockErrors = 0;
  int32_t SecErrors = 0;
  int32_t SpsErrors = 0;
  int32_t SpsDrift = 0;
  bool BlockErrorFlag = false;
  bool SecErrorFlag = false;
  bool SpsErrorFlag = false;
  int32_t LastMarkTime = 0;  // GpsSecondOfDay at the previous second mark; kept across runs
  std::string BlockErrorText;  // the last error line

  // --- Sample storage --------------------------------------------------------
  // Slot f x ChannelCount + k holds channel k of frame f of the current screen.
  std::vector<int32_t> SampleBuffer;  // kSampleSlots slots
  std::vector<uint8_t> SecondMarks;   // kSampleSlots flags, at a frame's first slot
  int32_t SampleIndex = 0;            // next free slot

  // --- Recording -------------------------------------------------------------
  std::vector<uint8_t> RawBuffer;  // bytes waiting to be written to the recording
  int32_t RawCount = 0;
  bool RecordingHeaderWritten = false;  // the first flush has written header (and placeholder)
  int32_t RecordedHeaderLength = 0;     // HeaderLength at that first flush
  bool PlaceholderWritten = false;
  std::string StreamFileName;      // final name of the recording, built from the start time
  RecordingFile StreamFile;        // streamdat.bin
  LineFile ErrorFile;              // error.csv
  LineFile ShiftFile;              // shift.csv

  // --- Screen state ----------------------------------------------------------
  int32_t ScreenSeconds = 8;
  int32_t ScreenSecond = 0;
  bool NewScreen = true;
  bool Resized = false;
  bool FirstScreen = true;
  int32_t PlotWidth = 993;
  int32_t PlotHeight = 377;
  int32_t PlotMinWidth = 0;
  int32_t HalfBand = 0;
  std::array<int32_t, kMaxChannels> Baseline{};
  std::array<int32_t, kMaxChannels> LastY{};
  std::array<int32_t, kMaxChannels> Offset{};
  std::array<int32_t, kMaxChannels> Scale{1, 1, 1};
  int32_t SamplesPerScreen = 0;
  double SamplesPerPixel = 1.0;
  int32_t ScreenStartX = 0;
  int32_t CurrentX = 0;
  int32_t HighPassShift = 0;
  std::array<int32_t, kMaxChannels> HighPassState{};
  // The rate the filter was last set up for; 0 when it was never set up.
  int32_t HighPassRate = 0;

  // --- GPS time fields -------------------------------------------------------
  std::string GpsTimeText;   // 5 characters: time of day in seconds
  int32_t GpsSecondOfDay = 0;
  std::string GpsHour, GpsMinute, GpsSecond;  // 2 characters each
  std::string GpsDay, GpsMonth, GpsYear;      // 2 characters each
  std::string GpsUtcOffset;                   // 2 characters
  std::string SatText;                        // 2 characters
  std::string TempText;                       // 5 characters
  bool TempAvailable = false;  // cleared only at program start
  bool GpsSeen = false;
  bool GpsBlockError = false;
  bool GpsPlaceholder = false;
  bool StartTimePending = true;
  std::string StartTimeText, StartHour, StartMinute, StartSecond, StartDay, StartMonth, StartYear;
  int32_t FirstFixBlocks = 0;
  std::string FirstGpsText;
  bool StartTimeFix = false;

  // Time conversion scratch state.
  std::string WorkGpsText;
  int32_t BackdateSeconds = 0;
  std::string EndTimeText;

  // --- Time shift ------------------------------------------------------------
  int32_t ShiftRaw = 0;
  int32_t ShiftMicros = 0;
  int32_t ShiftRecordCount = 0;
  bool StartShiftPending = false;
  std::array<uint8_t, 2> StartShiftPair{0, 0};  // kept across runs
};

// Resets the per-run state at START: counters, flags, buffers, the options
// copied from the check boxes, and the device identity ("000", "n/a").
void InitStart(Acquisition& a, const RunOptions& options);

// Keeps ScreenSeconds x SampleRate x ChannelCount within the sample buffer.
// Returns true when ScreenSeconds had to be lowered.
bool RestoreScreenCapacity(Acquisition& a);

}  // namespace voxa
