#include "stream/acquisition.h"

#include <algorithm>

namespace voxa {

Acquisition::Acquisition()
    : SampleBuffer(kSampleSlots, 0), SecondMarks(kSampleSlots, 0), RawBuffer(kRawBufferSize, 0) {
  GpsText.reserve(128);
  FirstGpsText.reserve(128);
  WorkGpsText.reserve(128);
  HeaderText.reserve(kHeaderCapacity);
}

void InitStart(Acquisition& a, const RunOptions& options) {
  a.ExtHeaderLoaded = false;
  a.AwaitingDeviceHeader = true;
  a.DeviceNumber = "000";
  a.FirmwareVersion = "n/a";
  a.LoadExtHeader = options.loadExtHeader;

  a.BlockSize = 4 * a.ChannelCount;
  a.SpsDrift = 0;
  a.ShiftRaw = 0;
  a.SaveErrorList = options.saveErrorList;
  a.SaveShift = options.saveShift;
  a.SaveStream = options.saveStream;
  a.ResetOffset = options.resetOffset;

  a.MarkerPending = false;
  a.SpsErrorFlag = false;
  a.SecErrorFlag = false;
  a.GpsBlockError = false;
  a.BlockErrorFlag = false;

  a.GoodBlocks = 0;
  a.BlockErrors = 0;
  a.BlocksInSecond = 0;
  a.BlocksSinceGps = 0;
  a.BlocksSinceFix = 0;
  a.RawCount = 0;
  a.ShiftRecordCount = 0;
  a.BlocksSinceMark = 0;
  a.SpsErrors = 0;
  a.SecErrors = 0;
  a.SampleIndex = 0;

  // Fresh buffers for the run: zeroed, and the recording buffer back at its
  // nominal size if the previous run had to grow it.
  a.SampleBuffer.assign(kSampleSlots, 0);
  a.SecondMarks.assign(kSampleSlots, 0);
  a.RawBuffer.assign(kRawBufferSize, 0);
  a.RawBuffer.shrink_to_fit();
  a.RecordingHeaderWritten = false;
  a.RecordedHeaderLength = 0;
  a.PlaceholderWritten = false;
  a.StreamFileName.clear();

  a.FirstScreen = true;
  a.NewScreen = true;
  a.Resized = false;
  a.GpsPlaceholder = false;
  a.StartTimePending = true;
  a.GpsSeen = false;
  a.StartTimeFix = false;
  a.StartShiftPending = false;

  a.ScreenSecond = 0;
  a.AutoScale = options.autoScale;
  a.StopRequested = false;
  RestoreScreenCapacity(a);
}

bool RestoreScreenCapacity(Acquisition& a) {
  const int64_t perSecond = static_cast<int64_t>(std::max(a.SampleRate, 1)) * std::max(a.ChannelCount, 1);
  const int32_t limit = static_cast<int32_t>(std::max<int64_t>(1, kSampleSlots / perSecond));
  if (a.ScreenSeconds < 1) {
    a.ScreenSeconds = 1;
    return true;
  }
  if (a.ScreenSeconds > limit) {
    a.ScreenSeconds = limit;
    return true;
  }
  return false;
}

}  // namespace voxa
