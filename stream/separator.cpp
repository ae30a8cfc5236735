#include "stream/separator.h"

#include <algorithm>

#include "analysis/plot.h"
#include "stream/blocks.h"
#include "stream/header.h"
#include "stream/recording.h"
#include "timing/gps.h"
#include "timing/shift.h"

namespace voxa {
namespace {

constexpr int32_t kGpsRecordLength = 76;
// Without the recording a GPS record is read as this many bytes, whatever
// they are; every field the decoder reads lies within them.
constexpr int32_t kGpsBlindLength = 70;
constexpr int32_t kBootRecordLimit = 255;

}  // namespace

StreamSeparator::StreamSeparator(Acquisition& a, Host& host, Surface& surface)
    : a_(a), host_(host), surface_(surface) {
  bootText_.reserve(kBootRecordLimit + 1);
}

void StreamSeparator::Begin(uint8_t firstMarker) {
  a_.MarkerByte = firstMarker;
  a_.MarkerPending = true;
  state_ = State::MarkerPending;
  pauseMs_ = 0;
  shownBlockErrors_ = shownSecErrors_ = shownSpsErrors_ = -1;
}

size_t StreamSeparator::Feed(const uint8_t* data, size_t count) {
  pauseMs_ = 0;
  size_t i = 0;
  while (i < count) {
    // States that act only once a further byte is waiting, without taking it.
    if (state_ == State::MarkerPending) {
      a_.MarkerPending = false;
      if (a_.SaveStream) AppendRaw(a_, a_.MarkerByte);
      Dispatch();
      continue;
    }
    if (state_ == State::GpsBlindComplete) {
      EndGpsRecord();
      continue;
    }

    const uint8_t byte = data[i++];
    a_.StreamByte = byte;
    switch (state_) {
      case State::BetweenRecords:
        if (a_.SaveStream) AppendRaw(a_, byte);
        if (byte >= 0x80) {
          a_.MarkerByte = byte;
          Dispatch();
        }
        break;

      case State::SampleBlock:
        if (byte >= 0x80) {
          // The block is judged while MarkerByte still names it; the new marker
          // is recorded when it is dispatched, so it is never taken back out
          // of a buffer that a flush inside AcceptBlock may just have emptied.
          EndSampleBlock();
          a_.MarkerByte = byte;
          a_.MarkerPending = true;
          state_ = State::MarkerPending;
          break;
        }
        a_.BlockBuffer[static_cast<size_t>(a_.BlockIndex - 1)] = byte;
        ++a_.BlockIndex;
        if (a_.SaveStream) AppendRaw(a_, byte);
        if (a_.BlockIndex > a_.BlockSize + 1) {
          // One byte too many and no marker: the block is invalid and ends
          // here; what follows up to the next marker is stray.
          EndSampleBlock();
          state_ = State::BetweenRecords;
        }
        break;

      case State::GpsRecorded:
        // A marker that cuts the record short stays as its last character,
        // which is how the decoder sees that the record is broken.
        if (counter_ < kGpsRecordLength + 1) a_.GpsText.push_back(static_cast<char>(byte));
        ++counter_;
        if (byte >= 0x80) {
          a_.MarkerByte = byte;
          EndGpsRecord();
          a_.MarkerPending = true;
          state_ = State::MarkerPending;
          break;
        }
        if (a_.SaveStream) AppendRaw(a_, byte);
        if (counter_ > kGpsRecordLength) {
          EndGpsRecord();
          state_ = State::BetweenRecords;
        }
        break;

      case State::GpsBlind:
        a_.GpsText.push_back(static_cast<char>(byte));
        if (static_cast<int32_t>(a_.GpsText.size()) >= kGpsBlindLength) state_ = State::GpsBlindComplete;
        break;

      case State::Shift:
        // Both bytes are taken as they come, whatever their top bits.
        if (counter_ == 0) {
          a_.ShiftByte1 = byte;
        } else {
          a_.ShiftByte2 = byte;
        }
        if (a_.SaveStream) AppendRaw(a_, byte);
        if (++counter_ == 2) {
          EndShiftRecord();
          state_ = State::BetweenRecords;
        }
        break;

      case State::Header:
        if (byte >= 0x80) {
          a_.MarkerByte = byte;
          a_.MarkerPending = true;
          EndHeaderRecord();
          state_ = State::MarkerPending;
          return i;  // the stream rests after a header record
        }
        headerBytes_[static_cast<size_t>(counter_++)] = byte;
        if (counter_ >= kHeaderCapacity) {
          EndHeaderRecord();
          state_ = State::BetweenRecords;
          return i;
        }
        break;

      case State::Boot:
        bootText_.push_back(static_cast<char>(byte));
        ++counter_;
        if (byte >= 0x80) {
          a_.MarkerByte = byte;
          EndBootLine();
          if (byte == kMarkerBoot) {
            // The next boot line follows at once; its marker is not recorded.
            bootText_.clear();
            counter_ = 1;
          } else {
            a_.MarkerPending = true;
            state_ = State::MarkerPending;
            EndBootRecords();
          }
        } else if (counter_ > kBootRecordLimit) {
          // A line longer than the record goes on in the bytes that follow.
          EndBootLine();
          bootText_.clear();
          counter_ = 1;
        }
        break;

      case State::MarkerPending:
      case State::GpsBlindComplete:
        break;  // handled above
    }
  }
  return count;
}

void StreamSeparator::Dispatch() {
  switch (a_.MarkerByte) {
    case kMarkerBlock:
    case kMarkerSecondBlock:
    case kMarkerBlockAlt:
      a_.BlocksSinceGps += 1;
      a_.BlocksSinceFix += 1;
      a_.BlockIndex = 1;
      state_ = State::SampleBlock;
      break;
    case kMarkerGps:
      a_.GpsText.clear();
      counter_ = 1;
      state_ = a_.SaveStream ? State::GpsRecorded : State::GpsBlind;
      break;
    case kMarkerShift:
      counter_ = 0;
      state_ = State::Shift;
      break;
    case kMarkerHeader:
      counter_ = 0;
      state_ = State::Header;
      break;
    case kMarkerBoot:
      host_.ShowBootWindow();
      bootText_.clear();
      counter_ = 1;
      state_ = State::Boot;
      break;
    default:
      // An unlisted record: its payload arrives as stray bytes and is skipped.
      state_ = State::BetweenRecords;
      break;
  }
}

void StreamSeparator::ShowCount(Label label, int32_t value, int32_t& shown) {
  if (value == shown) return;
  shown = value;
  host_.ShowLabel(label, std::to_string(value));
}

void StreamSeparator::EndSampleBlock() {
  AcceptBlock(a_);
  if (a_.BlockErrorFlag) ShowCount(Label::BlockErrors, a_.BlockErrors, shownBlockErrors_);
  if (a_.SecErrorFlag) ShowCount(Label::SecErrors, a_.SecErrors, shownSecErrors_);
  if (a_.SpsErrorFlag) ShowCount(Label::SpsErrors, a_.SpsErrors, shownSpsErrors_);
  if (a_.BlocksInSecond >= a_.SampleRate) {
    if (a_.NewScreen) PrepareScreen(a_);
    PlotOneSecond(a_, surface_, host_);
    a_.BlocksInSecond = 0;
  }
}

void StreamSeparator::EndGpsRecord() {
  DecodeGpsRecord(a_);
  if (!a_.GpsBlockError) {
    host_.ShowLabel(Label::GpsClock, a_.GpsHour + ":" + a_.GpsMinute + ":" + a_.GpsSecond);
    host_.ShowLabel(Label::Sats, a_.SatText);
    if (a_.TempAvailable) host_.ShowLabel(Label::Temp, a_.TempText);
  }
  a_.BlocksSinceGps = 0;
  state_ = State::BetweenRecords;
}

void StreamSeparator::EndShiftRecord() {
  MeasureShift(a_);
  host_.ShowLabel(Label::Shift, ShiftLabelText(a_.ShiftMicros));
}

void StreamSeparator::EndHeaderRecord() {
  // Header records are not part of the recorded stream.
  if (a_.SaveStream) TakeBackRaw(a_);
  std::copy_n(headerBytes_.begin(), counter_, a_.HeaderBuffer.begin());
  a_.HeaderLength = counter_;

  const int32_t oldRate = a_.SampleRate;
  const int32_t oldChannels = a_.ChannelCount;
  ParseHeader(a_, host_);
  RestoreScreenCapacity(a_);
  if (a_.SampleRate != oldRate || a_.ChannelCount != oldChannels) {
    // The frames of this screen were stored with the old layout; start a
    // fresh screen rather than draw or check them with the new one.
    std::fill(a_.SampleBuffer.begin(), a_.SampleBuffer.end(), 0);
    std::fill(a_.SecondMarks.begin(), a_.SecondMarks.end(), uint8_t{0});
    a_.SampleIndex = 0;
    a_.BlocksInSecond = 0;
    a_.ScreenSecond = 0;
    a_.NewScreen = true;
  }
  if (a_.HighPass) InitHighPass(a_);
  host_.ShowDeviceHeader();
  a_.AwaitingDeviceHeader = false;
  host_.ShowStatus(" VOXA Header received ", StatusColour::Lime);

  // One boot-window line per item; text after the last ";" is not listed.
  std::string line;
  for (int32_t i = 0; i < a_.HeaderLength; ++i) {
    const char c = static_cast<char>(a_.HeaderBuffer[static_cast<size_t>(i)]);
    if (c == ';') {
      host_.AppendBootLine(line);
      line.clear();
    } else {
      line.push_back(c);
    }
  }
  host_.Repaint();
  pauseMs_ = kHeaderPauseMs;
}

void StreamSeparator::EndBootLine() {
  // The first byte and the last two read (the closing framing byte and the
  // marker, on a record that a marker ended) are not part of the line.
  const int32_t length = counter_ - 4;
  if (length > 0 && bootText_.size() > 1) {
    host_.AppendBootLine(std::string_view(bootText_).substr(1, static_cast<size_t>(length)));
  } else {
    host_.AppendBootLine("");
  }
}

void StreamSeparator::EndBootRecords() {
  host_.RaiseMainWindow();
  // The first boot marker was recorded when it was dispatched; boot-message
  // records are not part of the recorded stream.
  if (a_.SaveStream) TakeBackRaw(a_);
}

std::string StreamSeparator::Finish() {
  switch (state_) {
    case State::GpsRecorded:
    case State::GpsBlind:
    case State::GpsBlindComplete:
      a_.BlocksSinceGps = 0;
      break;
    case State::Header:
      // A header record cut by STOP is dropped, marker included.
      if (a_.SaveStream) TakeBackRaw(a_);
      break;
    case State::Boot:
      EndBootRecords();
      break;
    default:
      break;
  }
  state_ = State::BetweenRecords;
  a_.MarkerPending = false;
  pauseMs_ = 0;
  std::string name;
  if (a_.SaveStream) name = FinishRecording(a_);
  host_.Repaint();
  return name;
}

void StreamSeparator::Abandon() {
  state_ = State::BetweenRecords;
  a_.MarkerPending = false;
  pauseMs_ = 0;
  AbandonRecording(a_);
}

}  // namespace voxa
