// The sample dater: turns the stream's sample blocks, GPS records and shift
// records into sample times, and the state of health of every second.
//
// The rule:
// - Every sample block, valid or not, takes one sample interval. A valid block
//   gives one frame of samples; an invalid one leaves a one-sample gap at its
//   place, so the trace after it is never shifted.
// - A second mark (0x90 block) opens a second. A sound GPS record dates the
//   first sample of the last mark before it with the UTC time it states, when
//   it arrives within that mark's second (at most `rate` blocks after it) and
//   the mark has no time yet.
// - A mark whose second brings no such record is dated forward from the last
//   dated mark: one second per second, or more when more whole seconds of
//   blocks lie between them (a lost mark). So a second with the wrong number
//   of blocks becomes a gap or an overlap at the next mark's true time, and
//   never drifts.
// - Marks before the first dated mark are dated back from it as later ones
//   are dated forward; samples before the stream's first mark are dated back
//   from that mark block by block.
// - Reading a recording: the start record the monitor writes when a run's
//   first screen ended before any GPS message (the first fix moved back by
//   whole seconds, a whole number of seconds of blocks less one before that
//   fix) dates the first sample, never a mark. The fix it was made from follows
//   it in the recording and dates its own mark exactly, so the start record's
//   time is used only when no GPS record dates a mark.
// - With no GPS time at all the first sample is dated from the computer's
//   clock at START, and so is everything when the first fix has not come
//   after holdSeconds (the samples cannot wait any longer).
//
// Timing quality (blockette 1001) and flags, per second:
// - dated by its own sound GPS record: clock locked, quality by satellites
//   (4 or more 100, 3: 90, 2: 80, 1: 70, none: 60);
// - dated forward (no sound record in its second, or a sample more than a
//   second of blocks after its mark): time tag questionable, quality the
//   lower of the last fix's satellite quality and the age of the last fix
//   (up to 10 s: 80, 1 min: 70, 10 min: 60, 1 h: 50, older: 40);
// - dated back before the first fix: the same quality by the distance to
//   that fix, neither locked nor questionable;
// - dated from the recording's start record: questionable, quality as dated
//   forward from it;
// - dated from the computer's clock: questionable, quality 0.
//
// Samples wait in the dater until their time is known: up to a second (until
// the mark's GPS record or the next mark), and before the first fix up to
// holdSeconds. The buffer for that is reserved at Start; blocks never allocate.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "format/records.h"
#include "format/sample.h"
#include "mseed/utc_time.h"

namespace voxa {

struct TimeQuality {
  uint8_t timingQuality = 0;  // blockette 1001, 0 ... 100
  bool clockLocked = false;   // I/O and clock flags, bit 5
  bool questionable = false;  // data quality flags, bit 7: time tag is questionable
  friend bool operator==(const TimeQuality&, const TimeQuality&) = default;
};

// One second of state of health, at a whole second.
struct SecondOfHealth {
  Micros time = 0;
  uint8_t timingQuality = 0;
  std::optional<int32_t> shiftMicros;        // shift record of the second
  std::optional<int32_t> satellites;         // sound GPS record of the second
  std::optional<int32_t> temperatureTenths;  // ">XPV" record of the second, 0.1 °C
};

// Where dated samples go.
class DatedSink {
 public:
  virtual ~DatedSink() = default;
  // count frames of `channels` samples each (channel 1 first), the first at
  // start and each one sample interval after the one before.
  virtual void OnDatedFrames(Micros start, const int32_t* frames, int32_t count, const TimeQuality& quality) = 0;
  virtual void OnSecondOfHealth(const SecondOfHealth& health) = 0;
};

struct DaterSettings {
  StreamFormat format;
  Micros computerClock = 0;       // UTC at START
  bool readingRecording = false;  // the stream is a recording: look for its start record
  int32_t holdSeconds = 600;      // longest wait for the first fix
};

// How the stream was dated, for the report of a conversion.
struct DatingCounts {
  int64_t blocks = 0;
  int64_t invalidBlocks = 0;
  int64_t marks = 0;
  int64_t gpsMarks = 0;          // marks dated by their own GPS record
  int64_t forwardMarks = 0;      // marks dated forward
  int64_t backDatedBlocks = 0;   // blocks before the first dated mark
  int64_t startRecordBlocks = 0; // blocks dated from the recording's start record
  int64_t clockBlocks = 0;       // blocks dated from the computer's clock
  std::optional<Micros> startRecordTime;  // the recording's start record, when found
  std::optional<Micros> firstSampleTime;  // the time the first block got
};

class SampleDater {
 public:
  explicit SampleDater(DatedSink& sink);
  SampleDater(const SampleDater&) = delete;
  SampleDater& operator=(const SampleDater&) = delete;

  // A new stream: nothing pending, nothing dated.
  void Start(const DaterSettings& settings);
  const DaterSettings& Settings() const { return settings_; }

  void OnBlock(const SampleBlock& block);
  // A block cut short at the end of the stream: one interval, no samples.
  void OnCutBlock();
  // A sound GPS record stating UTC time, with the satellites it used.
  void OnSoundGps(Micros time, int32_t satellites);
  void OnShift(int32_t micros);
  void OnTemperature(int32_t tenths);

  // The end of the stream: every waiting sample is dated and handed on.
  void Finish();

  const DatingCounts& Counts() const { return counts_; }

 private:
  enum class Dating : uint8_t { None, Gps, Forward, Back, Linear };

  struct Health {
    std::optional<int32_t> shift, satellites, temperature;
  };

  // A second mark and how it was dated.
  struct Mark {
    int64_t block = 0;
    Dating dating = Dating::None;
    Micros time = 0;
    TimeQuality quality;
    int32_t satellites = 0;  // of the GPS record that dated it
    bool closed = false;  // its second has ended: its state of health is known
    Health health;
  };

  // What dates blocks that follow no dated mark: the start record or the
  // computer's clock, one interval per block from its block.
  struct LinearAnchor {
    int64_t block = 0;
    Micros time = 0;
    bool fromClock = true;
    int32_t satellites = 0;
  };

  void AddBlock(const int32_t* frame, bool valid);
  void OpenMark(int64_t block);
  void CloseCurrentMark();
  void DateByGps(size_t markIndex, Micros time, int32_t satellites);
  void DateForward(Mark& mark);
  void DateLinear(Mark& mark);
  void StartLinear(bool fromClock);
  TimeQuality BackQuality(Micros time) const;
  TimeQuality LinearQuality(int64_t block) const;
  void EmitHealth(const Mark& mark);
  // The first block whose time is not known yet.
  int64_t DatableEnd() const;
  // Hands on blocks [firstPending_, end) and drops them from the buffer.
  void Release(int64_t end);

  DatedSink& sink_;
  DaterSettings settings_;
  int32_t channels_ = 3;
  int32_t rate_ = 100;
  Micros interval_ = 10000;
  int64_t holdBlocks_ = 0;

  int64_t nextBlock_ = 0;     // blocks so far
  int64_t firstPending_ = 0;  // first block not handed on
  std::vector<int32_t> frames_;  // pending frames, from firstPending_
  std::vector<uint8_t> valid_;   // whether each pending block carried samples

  // Marks from the one that governs the first pending block on; the last is
  // the current second's.
  std::vector<Mark> marks_;
  Health health_;  // what the current second has brought so far

  bool anyDated_ = false;           // a mark has been dated by GPS (or forward from one)
  std::optional<Mark> firstFix_;    // the first GPS-dated mark: blocks before it are dated back
  int32_t firstFixSatellites_ = 0;
  int64_t firstMarkBlock_ = 0;  // the stream's first mark, once dated back (or the fix itself)
  Micros firstMarkTime_ = 0;
  std::optional<LinearAnchor> linear_;
  int64_t lastDatedBlock_ = 0;      // the last dated mark, which the next is dated forward from
  Micros lastDatedTime_ = 0;
  Micros lastFixTime_ = 0;          // time of the last GPS-dated mark
  int32_t lastFixSatellites_ = 0;
  Micros lastHealthTime_ = INT64_MIN;

  // Reading a recording: the first sound GPS record waits until the next one
  // tells whether it is the monitor's start record.
  struct Candidate {
    Micros time = 0;
    int32_t satellites = 0;
    int64_t blocksBefore = 0;
    std::optional<size_t> markIndex;
    std::optional<int32_t> shift;  // the shift record right after it
  };
  std::optional<Candidate> candidate_;
  bool candidateDecided_ = false;
  std::optional<Micros> startRecordTime_;
  int32_t startRecordSatellites_ = 0;

  DatingCounts counts_;
};

// Timing quality by the satellites a fix used, and by the age of the last fix.
uint8_t SatelliteQuality(int32_t satellites);
uint8_t AgeQuality(int64_t seconds);

}  // namespace voxa
