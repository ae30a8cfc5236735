#include "stream/separator.h"

namespace voxa {
namespace {

constexpr size_t kGpsRecordLength = 76;
// Without the recording a GPS record is read as this many bytes, whatever
// they are; every field the decoder reads lies within them.
constexpr size_t kGpsBlindLength = 70;

}  // namespace

StreamSeparator::StreamSeparator(RecordSink& sink) : sink_(sink) {}

void StreamSeparator::Begin(uint8_t firstMarker) {
  pendingMarker_ = firstMarker;
  state_ = State::MarkerPending;
  stoppedAfterHeader_ = false;
  recordLength_ = 0;
}

size_t StreamSeparator::Feed(const uint8_t* data, size_t count) {
  stoppedAfterHeader_ = false;
  size_t i = 0;
  while (i < count) {
    // States that act only once a further byte is waiting, without taking it.
    if (state_ == State::MarkerPending) {
      Dispatch(pendingMarker_);
      continue;
    }
    if (state_ == State::GpsBlindComplete) {
      EndGpsRecord(false);
      continue;
    }

    switch (state_) {
      case State::BetweenRecords: {
        // A run of stray bytes goes on as one piece.
        const size_t from = i;
        while (i < count && !IsMarker(data[i])) ++i;
        if (i > from) sink_.OnStrayBytes({Bytes(data + from, i - from)});
        if (i < count) Dispatch(data[i++]);
        break;
      }

      case State::SampleBlock: {
        const uint8_t byte = data[i++];
        if (IsMarker(byte)) {
          // The block is judged before the marker that ended it is dispatched.
          EndSampleBlock(true);
          pendingMarker_ = byte;
          state_ = State::MarkerPending;
          break;
        }
        record_[recordLength_++] = byte;
        // One byte too many and no marker: the block is invalid and ends
        // here; what follows up to the next marker is stray.
        if (recordLength_ > static_cast<size_t>(blockPayload_) + 1) EndSampleBlock(false);
        break;
      }

      case State::GpsWhole: {
        const uint8_t byte = data[i++];
        if (IsMarker(byte)) {
          // A marker that cuts the record short stays as its last character,
          // which is how the decoder sees that the record is broken.
          record_[recordLength_] = byte;
          EndGpsRecord(true);
          pendingMarker_ = byte;
          state_ = State::MarkerPending;
          break;
        }
        record_[recordLength_++] = byte;
        if (recordLength_ > kGpsRecordLength) EndGpsRecord(false);
        break;
      }

      case State::GpsBlind:
        record_[recordLength_++] = data[i++];
        if (recordLength_ > kGpsBlindLength) state_ = State::GpsBlindComplete;
        break;

      case State::Shift: {
        const uint8_t byte = data[i++];
        if (IsMarker(byte)) {
          // A shift byte is 7 bits like every payload byte: a marker here
          // means shift bytes were lost. The record is broken and the
          // marker begins the next record.
          sink_.OnShiftRecord({0, 0, false, Record()});
          pendingMarker_ = byte;
          state_ = State::MarkerPending;
          break;
        }
        record_[recordLength_++] = byte;
        if (recordLength_ == 3) {
          sink_.OnShiftRecord({record_[1], record_[2], true, Record()});
          state_ = State::BetweenRecords;
        }
        break;
      }

      case State::Header: {
        const uint8_t byte = data[i++];
        if (IsMarker(byte)) {
          pendingMarker_ = byte;
          state_ = State::MarkerPending;
          EndHeaderRecord();
          return i;  // the stream rests after a header record
        }
        record_[recordLength_++] = byte;
        if (recordLength_ > static_cast<size_t>(kHeaderCapacity)) {
          state_ = State::BetweenRecords;
          EndHeaderRecord();
          return i;
        }
        break;
      }

      case State::Boot: {
        const uint8_t byte = data[i++];
        record_[recordLength_++] = byte;
        ++bootCounter_;
        if (IsMarker(byte)) {
          // The marker is not part of this line: it opens the next line, or
          // the next record.
          EndBootLine(recordLength_ - 1);
          if (byte == kMarkerBoot) {
            record_[0] = byte;
            recordLength_ = 1;
            bootLineFrom_ = 0;
            bootCounter_ = 1;
          } else {
            pendingMarker_ = byte;
            state_ = State::MarkerPending;
            sink_.OnBootEnd();
          }
        } else if (bootCounter_ > kBootRecordLimit) {
          // A line longer than the record goes on in the bytes that follow,
          // without a marker of its own.
          EndBootLine(recordLength_);
          recordLength_ = 1;
          bootLineFrom_ = 1;
          bootCounter_ = 1;
        }
        break;
      }

      case State::MarkerPending:
      case State::GpsBlindComplete:
        break;  // handled above
    }
  }
  return count;
}

void StreamSeparator::Dispatch(uint8_t marker) {
  record_[0] = marker;
  recordLength_ = 1;
  switch (marker) {
    case kMarkerBlock:
    case kMarkerSecondBlock:
    case kMarkerBlockAlt:
      state_ = State::SampleBlock;
      break;
    case kMarkerGps:
      state_ = gpsFraming_ == GpsFraming::Whole ? State::GpsWhole : State::GpsBlind;
      break;
    case kMarkerShift:
      state_ = State::Shift;
      break;
    case kMarkerHeader:
      state_ = State::Header;
      break;
    case kMarkerBoot:
      bootCounter_ = 1;
      bootLineFrom_ = 0;
      state_ = State::Boot;
      sink_.OnBootBegin();
      break;
    default:
      // An unlisted record: its payload arrives as stray bytes.
      state_ = State::BetweenRecords;
      sink_.OnStrayBytes({Record(), true});
      break;
  }
}

void StreamSeparator::EndSampleBlock(bool endedByMarker) {
  const size_t payload = recordLength_ - 1;
  SampleBlock block;
  block.marker = record_[0];
  block.payload = Bytes(record_.data() + 1, payload);
  block.valid = payload == static_cast<size_t>(blockPayload_);
  block.bytes = Record();
  if (!endedByMarker) state_ = State::BetweenRecords;
  sink_.OnSampleBlock(block);
}

void StreamSeparator::EndGpsRecord(bool cut) {
  GpsRecord record;
  const char* text = reinterpret_cast<const char*>(record_.data() + 1);
  record.text = std::string_view(text, recordLength_ - 1 + (cut ? 1 : 0));
  record.cut = cut;
  if (!cut) {
    for (const char c : record.text) record.cut = record.cut || IsMarker(static_cast<uint8_t>(c));
  }
  record.bytes = Record();
  state_ = State::BetweenRecords;
  sink_.OnGpsRecord(record);
}

void StreamSeparator::EndHeaderRecord() {
  stoppedAfterHeader_ = true;
  sink_.OnHeaderRecord({Bytes(record_.data() + 1, recordLength_ - 1), Record()});
}

void StreamSeparator::EndBootLine(size_t end) {
  // The first byte and the last two read (the closing framing byte and the
  // marker, on a record that a marker ended) are not part of the line.
  const int32_t length = bootCounter_ - 4;
  const size_t read = recordLength_ - 1;
  std::string_view line;
  if (length > 0 && read > 1) {
    line = std::string_view(reinterpret_cast<const char*>(record_.data() + 2), static_cast<size_t>(length));
  }
  sink_.OnBootLine({line, Bytes(record_.data() + bootLineFrom_, end - bootLineFrom_)});
}

void StreamSeparator::Finish() {
  switch (state_) {
    case State::SampleBlock:
      sink_.OnCutRecord({RecordKind::SampleBlock, Record()});
      break;
    case State::GpsWhole:
    case State::GpsBlind:
    case State::GpsBlindComplete:
      sink_.OnCutRecord({RecordKind::Gps, Record()});
      break;
    case State::Shift:
      sink_.OnCutRecord({RecordKind::Shift, Record()});
      break;
    case State::Header:
      sink_.OnCutRecord({RecordKind::Header, Record()});
      break;
    case State::Boot:
      sink_.OnCutRecord({RecordKind::Boot, Bytes(record_.data() + bootLineFrom_, recordLength_ - bootLineFrom_)});
      sink_.OnBootEnd();
      break;
    case State::BetweenRecords:
    case State::MarkerPending:
      break;
  }
  state_ = State::BetweenRecords;
  recordLength_ = 0;
  stoppedAfterHeader_ = false;
}

}  // namespace voxa
