#include "mseed/dater.h"

#include <algorithm>
#include <cstring>

namespace voxa {
namespace {

int64_t FloorDiv(int64_t value, int64_t divisor) {
  const int64_t quotient = value / divisor;
  return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

constexpr TimeQuality kClockQuality{0, false, true};

}  // namespace

uint8_t SatelliteQuality(int32_t satellites) {
  if (satellites >= 4) return 100;
  if (satellites <= 0) return 60;
  return static_cast<uint8_t>(60 + 10 * satellites);
}

uint8_t AgeQuality(int64_t seconds) {
  if (seconds <= 10) return 80;
  if (seconds <= 60) return 70;
  if (seconds <= 600) return 60;
  if (seconds <= 3600) return 50;
  return 40;
}

SampleDater::SampleDater(DatedSink& sink) : sink_(sink) {}

void SampleDater::Start(const DaterSettings& settings) {
  settings_ = settings;
  rate_ = std::max(settings.format.rate, int32_t{1});
  channels_ = std::clamp(settings.format.channels, int32_t{1}, kMaxChannels);
  interval_ = SampleInterval(rate_);
  holdBlocks_ = int64_t{std::max(settings.holdSeconds, int32_t{1})} * rate_;

  // Room for the longest wait and the second that is still open beside it.
  const auto capacity = static_cast<size_t>(holdBlocks_ + 2 * int64_t{rate_} + 1);
  frames_.clear();
  valid_.clear();
  frames_.reserve(capacity * static_cast<size_t>(channels_));
  valid_.reserve(capacity);
  marks_.clear();
  marks_.reserve(static_cast<size_t>(2 * std::max(settings.holdSeconds, int32_t{1}) + 16));

  nextBlock_ = 0;
  firstPending_ = 0;
  health_ = {};
  anyDated_ = false;
  firstFix_.reset();
  firstMarkBlock_ = 0;
  firstMarkTime_ = 0;
  linear_.reset();
  lastDatedBlock_ = 0;
  lastDatedTime_ = 0;
  lastFixTime_ = 0;
  lastFixSatellites_ = 0;
  lastHealthTime_ = INT64_MIN;
  candidate_.reset();
  candidateDecided_ = false;
  startRecordTime_.reset();
  startRecordSatellites_ = 0;
  counts_ = {};
}

// --- Records ----------------------------------------------------------------------

void SampleDater::OnBlock(const SampleBlock& block) {
  if (block.SecondMark()) {
    CloseCurrentMark();
    // Blocks before the first mark of a stream dated from the clock go out
    // before the mark that GPS may date.
    if (anyDated_ || linear_) Release(DatableEnd());
    OpenMark(nextBlock_);
  }
  std::array<int32_t, kMaxChannels> frame{};
  const bool valid = block.valid && block.payload.size() >= static_cast<size_t>(kBytesPerSample * channels_);
  if (valid) {
    for (int32_t ch = 0; ch < channels_; ++ch) {
      const size_t at = static_cast<size_t>(kBytesPerSample * ch);
      frame[static_cast<size_t>(ch)] =
          DecodeSample(block.payload[at], block.payload[at + 1], block.payload[at + 2], block.payload[at + 3]);
    }
  }
  AddBlock(frame.data(), valid);
}

void SampleDater::OnCutBlock() {
  const std::array<int32_t, kMaxChannels> none{};
  AddBlock(none.data(), false);
}

void SampleDater::AddBlock(const int32_t* frame, bool valid) {
  ++nextBlock_;
  ++counts_.blocks;
  if (!valid) ++counts_.invalidBlocks;
  frames_.insert(frames_.end(), frame, frame + channels_);
  valid_.push_back(valid ? 1 : 0);

  if (!marks_.empty() && marks_.back().dating == Dating::None && nextBlock_ - marks_.back().block > rate_ &&
      (anyDated_ || linear_)) {
    // The mark's second is over without a GPS record: no later record can
    // date it.
    Mark& mark = marks_.back();
    if (linear_) {
      DateLinear(mark);
    } else {
      DateForward(mark);
    }
  }
  if (!anyDated_ && !linear_) {
    if (nextBlock_ - firstPending_ >= holdBlocks_) {
      // The first fix has not come in time: the computer's clock (or the
      // recording's start record) dates what has waited.
      if (candidate_) {
        startRecordTime_ = candidate_->time;
        startRecordSatellites_ = candidate_->satellites;
        counts_.startRecordTime = startRecordTime_;
        candidate_.reset();
        candidateDecided_ = true;
      }
      StartLinear(!startRecordTime_.has_value());
    }
    return;
  }
  if (nextBlock_ - firstPending_ >= rate_) Release(DatableEnd());
}

void SampleDater::OnSoundGps(Micros time, int32_t satellites) {
  if (settings_.readingRecording && !candidateDecided_ && !anyDated_ && !linear_) {
    if (!candidate_) {
      if (nextBlock_ <= rate_) {
        // The first sound record within the recording's first second of
        // blocks may be the monitor's start record; the next one decides.
        Candidate c;
        c.time = time;
        c.satellites = satellites;
        c.blocksBefore = nextBlock_;
        if (!marks_.empty() && marks_.back().dating == Dating::None && nextBlock_ - marks_.back().block <= rate_) {
          c.markIndex = marks_.size() - 1;
        }
        candidate_ = c;
        return;
      }
      candidateDecided_ = true;
    } else {
      // The start record stands a whole number of seconds of blocks less one
      // before the fix it was made from, and states that fix's time moved
      // back by those seconds. A device's own records stand whole seconds of
      // blocks apart.
      const Candidate c = *candidate_;
      candidate_.reset();
      candidateDecided_ = true;
      const int64_t span = nextBlock_ - c.blocksBefore + 1;
      if (span % rate_ == 0 && time - c.time == (span / rate_) * kMicrosPerSecond) {
        startRecordTime_ = c.time;
        startRecordSatellites_ = c.satellites;
        counts_.startRecordTime = startRecordTime_;
      } else if (c.markIndex && marks_[*c.markIndex].dating == Dating::None) {
        Mark& mark = marks_[*c.markIndex];
        Health& health = mark.closed ? mark.health : health_;
        if (!health.shift) health.shift = c.shift;
        health.satellites = c.satellites;
        DateByGps(*c.markIndex, c.time, c.satellites);
      }
    }
  }

  health_.satellites = satellites;
  if (!marks_.empty() && marks_.back().dating == Dating::None && nextBlock_ - marks_.back().block <= rate_) {
    DateByGps(marks_.size() - 1, time, satellites);
  }
}

void SampleDater::OnShift(int32_t micros) {
  // After a record that may be the recording's start record comes the shift
  // settled after the first fix, not one measured here: it counts only once
  // the record proves to be the device's own.
  if (candidate_ && !candidate_->shift && nextBlock_ == candidate_->blocksBefore) {
    candidate_->shift = micros;
    return;
  }
  health_.shift = micros;
}

void SampleDater::OnTemperature(int32_t tenths) { health_.temperature = tenths; }

void SampleDater::Finish() {
  CloseCurrentMark();
  if (candidate_) {
    // No second record came to tell: the first record is read as the
    // recording's start record, which is where it stands.
    startRecordTime_ = candidate_->time;
    startRecordSatellites_ = candidate_->satellites;
    counts_.startRecordTime = startRecordTime_;
    candidate_.reset();
  }
  if (!anyDated_ && !linear_) StartLinear(!startRecordTime_.has_value());
  Release(nextBlock_);
}

// --- Marks -------------------------------------------------------------------------

void SampleDater::OpenMark(int64_t block) {
  ++counts_.marks;
  Mark mark;
  mark.block = block;
  marks_.push_back(mark);
  health_ = {};
}

void SampleDater::CloseCurrentMark() {
  if (marks_.empty() || marks_.back().closed) return;
  Mark& mark = marks_.back();
  mark.closed = true;
  mark.health = health_;
  if (mark.dating == Dating::None) {
    if (linear_) {
      DateLinear(mark);
    } else if (anyDated_) {
      DateForward(mark);
    }
  }
  if (mark.dating != Dating::None) {
    EmitHealth(mark);
    Release(DatableEnd());
  }
}

void SampleDater::DateByGps(size_t markIndex, Micros time, int32_t satellites) {
  // What the clock dated so far goes out under the clock's time (the marks
  // before this one leave the list).
  if (linear_) {
    const int64_t block = marks_[markIndex].block;
    Release(DatableEnd());
    markIndex = static_cast<size_t>(
        std::find_if(marks_.begin(), marks_.end(), [&](const Mark& m) { return m.block == block; }) - marks_.begin());
  }
  Mark& fix = marks_[markIndex];
  fix.dating = Dating::Gps;
  fix.time = time;
  fix.quality = {SatelliteQuality(satellites), true, false};
  fix.satellites = satellites;
  ++counts_.gpsMarks;
  lastFixTime_ = time;
  lastFixSatellites_ = satellites;
  lastDatedBlock_ = fix.block;
  lastDatedTime_ = time;

  if (!anyDated_ && !linear_) {
    // The first fix: the marks before it are dated back from it as marks
    // after it are dated forward, a second per mark (more when whole seconds
    // of blocks lie between), so a second with blocks lost before the fix
    // leaves a gap at its true place instead of moving every earlier sample.
    firstFix_ = fix;
    firstFixSatellites_ = satellites;
    firstMarkBlock_ = fix.block;
    firstMarkTime_ = time;
    for (size_t i = markIndex; i-- > 0;) {
      Mark& mark = marks_[i];
      const int64_t seconds = std::max<int64_t>(1, (firstMarkBlock_ - mark.block) / rate_);
      mark.dating = Dating::Back;
      mark.time = firstMarkTime_ - seconds * kMicrosPerSecond;
      mark.quality = BackQuality(mark.time);
      firstMarkBlock_ = mark.block;
      firstMarkTime_ = mark.time;
    }
    for (size_t i = 0; i < markIndex; ++i) {
      if (marks_[i].closed) EmitHealth(marks_[i]);
    }
  }
  anyDated_ = true;
  linear_.reset();
  if (fix.closed) EmitHealth(fix);
  // Marks after it (a record that waited to be told apart from the start
  // record) are dated forward from it.
  for (size_t i = markIndex + 1; i < marks_.size(); ++i) {
    Mark& mark = marks_[i];
    if (!mark.closed) break;
    DateForward(mark);
    EmitHealth(mark);
  }
  Release(DatableEnd());
}

void SampleDater::DateForward(Mark& mark) {
  // One second per mark, or the whole seconds of blocks when more lie
  // between (a mark was lost).
  const int64_t seconds = std::max<int64_t>(1, (mark.block - lastDatedBlock_) / rate_);
  mark.dating = Dating::Forward;
  mark.time = lastDatedTime_ + seconds * kMicrosPerSecond;
  const int64_t age = FloorDiv(mark.time - lastFixTime_, kMicrosPerSecond);
  mark.quality = {std::min(SatelliteQuality(lastFixSatellites_), AgeQuality(age)), false, true};
  ++counts_.forwardMarks;
  lastDatedBlock_ = mark.block;
  lastDatedTime_ = mark.time;
}

void SampleDater::DateLinear(Mark& mark) {
  mark.dating = Dating::Linear;
  mark.time = linear_->time + (mark.block - linear_->block) * interval_;
  mark.quality = LinearQuality(mark.block);
}

void SampleDater::StartLinear(bool fromClock) {
  LinearAnchor anchor;
  anchor.block = firstPending_;
  anchor.fromClock = fromClock;
  anchor.time = fromClock ? settings_.computerClock : *startRecordTime_;
  anchor.satellites = startRecordSatellites_;
  linear_ = anchor;
  for (Mark& mark : marks_) {
    if (mark.dating != Dating::None) continue;
    // The open second may still get its GPS record.
    if (!mark.closed) break;
    DateLinear(mark);
    EmitHealth(mark);
  }
  Release(DatableEnd());
}

TimeQuality SampleDater::BackQuality(Micros time) const {
  // Whole seconds (started ones counted) from the sample to the first fix.
  const int64_t seconds = (firstFix_->time - time + kMicrosPerSecond - 1) / kMicrosPerSecond;
  return {std::min(SatelliteQuality(firstFixSatellites_), AgeQuality(seconds)), false, false};
}

TimeQuality SampleDater::LinearQuality(int64_t block) const {
  if (linear_->fromClock) return kClockQuality;
  const int64_t seconds = (block - linear_->block) / rate_;
  return {std::min(SatelliteQuality(linear_->satellites), AgeQuality(seconds)), false, true};
}

void SampleDater::EmitHealth(const Mark& mark) {
  // A mark dated back or from the clock may stand between two seconds.
  const Micros second = FloorDiv(mark.time + kMicrosPerSecond / 2, kMicrosPerSecond) * kMicrosPerSecond;
  // An overlap (a second with too many blocks, a GPS clock that stepped
  // back) would state a second twice.
  if (second <= lastHealthTime_) return;
  lastHealthTime_ = second;
  SecondOfHealth health;
  health.time = second;
  health.timingQuality = mark.quality.timingQuality;
  health.shiftMicros = mark.health.shift;
  health.satellites = mark.health.satellites;
  health.temperatureTenths = mark.health.temperature;
  sink_.OnSecondOfHealth(health);
}

int64_t SampleDater::DatableEnd() const {
  if (!anyDated_ && !linear_) return firstPending_;
  for (const Mark& mark : marks_) {
    if (mark.dating == Dating::None) return std::max(mark.block, firstPending_);
  }
  return nextBlock_;
}

// --- Handing on -------------------------------------------------------------------

void SampleDater::Release(int64_t end) {
  if (end <= firstPending_) return;
  const auto channels = static_cast<size_t>(channels_);

  // The mark that governs each block: the last one at or before it.
  size_t nextMark = 0;
  const Mark* governing = nullptr;

  int64_t runFirst = 0;
  int32_t runCount = 0;
  Micros runTime = 0;
  TimeQuality runQuality;
  auto flush = [&]() {
    if (runCount > 0) {
      sink_.OnDatedFrames(runTime, frames_.data() + static_cast<size_t>(runFirst - firstPending_) * channels, runCount,
                          runQuality);
    }
    runCount = 0;
  };

  for (int64_t b = firstPending_; b < end; ++b) {
    while (nextMark < marks_.size() && marks_[nextMark].block <= b) governing = &marks_[nextMark++];
    Micros time = 0;
    TimeQuality quality;
    if (firstFix_ && b < firstFix_->block) {
      // Before the first fix: from the mark before the block, or block by
      // block back from the first mark.
      time = governing != nullptr && governing->dating == Dating::Back
                 ? governing->time + (b - governing->block) * interval_
                 : firstMarkTime_ - (firstMarkBlock_ - b) * interval_;
      quality = BackQuality(time);
      ++counts_.backDatedBlocks;
    } else if (governing != nullptr && (governing->dating == Dating::Gps || governing->dating == Dating::Forward)) {
      const int64_t offset = b - governing->block;
      time = governing->time + offset * interval_;
      quality = governing->quality;
      if (governing->dating == Dating::Gps && offset >= rate_) {
        // Past its second: counted forward from the mark.
        quality = {std::min(SatelliteQuality(governing->satellites), AgeQuality(offset / rate_)), false, true};
      }
    } else {
      // Dated linearly: before any mark, or by a mark dated so.
      time = linear_->time + (b - linear_->block) * interval_;
      quality = LinearQuality(b);
      if (linear_->fromClock) {
        ++counts_.clockBlocks;
      } else {
        ++counts_.startRecordBlocks;
      }
    }
    if (b == 0) counts_.firstSampleTime = time;

    if (valid_[static_cast<size_t>(b - firstPending_)] == 0) {
      flush();
      continue;
    }
    if (runCount > 0 && time == runTime + runCount * interval_ && quality == runQuality) {
      ++runCount;
      continue;
    }
    flush();
    runFirst = b;
    runTime = time;
    runQuality = quality;
    runCount = 1;
  }
  flush();

  const auto released = static_cast<size_t>(end - firstPending_);
  frames_.erase(frames_.begin(), frames_.begin() + static_cast<std::ptrdiff_t>(released * channels));
  valid_.erase(valid_.begin(), valid_.begin() + static_cast<std::ptrdiff_t>(released));
  firstPending_ = end;

  // Keep the mark that governs the next pending block and those after it.
  size_t keepFrom = 0;
  for (size_t i = 0; i < marks_.size(); ++i) {
    if (marks_[i].block <= firstPending_) keepFrom = i;
  }
  if (keepFrom > 0) marks_.erase(marks_.begin(), marks_.begin() + static_cast<std::ptrdiff_t>(keepFrom));
}

}  // namespace voxa
