#include "stream/blocks.h"

#include "analysis/plot.h"
#include "stream/number_text.h"
#include "stream/recording.h"

namespace voxa {

std::string BlockErrorLine(int32_t blocksBefore, int32_t payloadBytes) {
  return ";" + std::to_string(blocksBefore) + ";" + std::to_string(payloadBytes) + " Bytes";
}

std::string SecondErrorLine(const Acquisition& a, int32_t difference) {
  return a.GpsHour + ":" + a.GpsMinute + ":" + a.GpsSecond + " ; " + std::to_string(difference) + "; sec";
}

std::string SampleRateErrorLine(const Acquisition& a, int32_t blocksSinceMark) {
  return a.GpsHour + ":" + a.GpsMinute + ":" + a.GpsSecond + " ; " + std::to_string(blocksSinceMark) + "; sps";
}

namespace {

void StoreFrame(Acquisition& a) {
  const int32_t channels = a.ChannelCount;
  // The screen's capacity is kept by the zoom and header code; this guard only
  // makes sure a frame never lands outside the buffer whatever happened.
  const bool fits = a.SampleIndex >= 0 && a.SampleIndex + channels <= kSampleSlots;
  for (int32_t k = 0; k < channels; ++k) {
    const size_t at = static_cast<size_t>(4 * k);
    int32_t value = DecodeSample(a.BlockBuffer[at], a.BlockBuffer[at + 1], a.BlockBuffer[at + 2],
                                 a.BlockBuffer[at + 3]);
    if (a.HighPass) value = HighPassStep(a, k, value);
    if (fits) a.SampleBuffer[static_cast<size_t>(a.SampleIndex + k)] = value;
  }
  if (fits) {
    a.SecondMarks[static_cast<size_t>(a.SampleIndex)] = a.MarkerByte == kMarkerSecondBlock ? 1 : 0;
    a.SampleIndex += channels;
  }
  a.GoodBlocks += 1;
  a.BlocksInSecond += 1;
}

void CheckSecondMark(Acquisition& a) {
  // During the first screen the GPS clock counts as having advanced by exactly
  // one second, because there is no earlier mark of this run to compare with.
  if (a.FirstScreen) a.LastMarkTime = a.GpsSecondOfDay - 1;
  a.SpsErrorFlag = false;
  a.SecErrorFlag = false;
  const int32_t rate = a.SampleRate > 0 ? a.SampleRate : 1;
  const int64_t elapsed = int64_t{a.GpsSecondOfDay} - a.LastMarkTime;
  const int64_t counted = RoundHalfEven(static_cast<double>(a.BlocksSinceMark) / rate);
  if (elapsed != counted) {
    a.SecErrors += 1;
    a.BlockErrorText = SecondErrorLine(a, static_cast<int32_t>(elapsed - counted));
    a.SecErrorFlag = true;
    if (a.SaveErrorList) a.ErrorFile.WriteLine(a.BlockErrorText);
  }
  if (a.BlocksSinceMark % rate > 0) {
    a.SpsErrors += 1;
    a.BlockErrorText = SampleRateErrorLine(a, a.BlocksSinceMark);
    a.SpsErrorFlag = true;
    if (a.SaveShift) a.ShiftFile.WriteLine(a.BlockErrorText);
    if (a.SaveErrorList) a.ErrorFile.WriteLine(a.BlockErrorText);
  }
  a.BlocksSinceMark = 0;
  a.LastMarkTime = a.GpsSecondOfDay;
}

}  // namespace

void AcceptBlock(Acquisition& a) {
  a.BlockErrorFlag = false;
  if (a.BlockIndex == a.BlockSize + 1) {
    StoreFrame(a);
  } else {
    a.BlockErrorText = BlockErrorLine(a.GoodBlocks + a.BlockErrors, a.BlockIndex - 1);
    if (a.SaveErrorList) a.ErrorFile.WriteLine(a.BlockErrorText);
    a.BlockErrorFlag = true;
    a.BlockErrors += 1;
  }

  if (a.MarkerByte == kMarkerSecondBlock) CheckSecondMark(a);

  if (a.ScreenSecond == a.ScreenSeconds - 1) {
    // The last second of a screen is being collected: the recording is written
    // block by block now, so the write never coincides with a screen set-up.
    // The placeholder decision belongs to the recording's first write only.
    if (!a.GpsSeen && !a.RecordingHeaderWritten) a.GpsPlaceholder = true;
    if (a.SaveStream) FlushRecording(a);
    a.FirstScreen = false;
  }
  a.BlocksSinceMark += 1;
}

}  // namespace voxa
