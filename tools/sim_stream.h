// The simulated VOXA: builds the byte stream the data logger sends on its
// serial line, deterministically from a set of options, so that tests and
// demonstrations have a device that behaves the same on every run.
//
// This encoder shares no code with the monitor's decoder on purpose: a test
// that decodes this stream with the monitor checks two independent readings
// of the format against each other.
//
// The stream, in order:
//   - the preamble (text below 0x80 that a receiver sees before any marker),
//   - one 0xF8 boot-message record per boot line,
//   - one 0xF0 header record (unless switched off),
//   - then second after second: `rate` sample blocks, the first with the
//     second mark 0x90, the rest 0x80; after the `gpsAfterBlocks`-th block
//     the GPS record 0xA0 (76 characters) of that second and a shift record
//     0xB0 (two bytes).
// Faults, each placed at a stream second (0 = the first second after the
// start records) and, where it matters, at a block of that second (0 = the
// second-mark block), damage exactly what their description says.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/sim_noise.h"

namespace voxa::sim {

// Record markers as the device sends them.
inline constexpr uint8_t kBlockMarker = 0x80;
inline constexpr uint8_t kSecondMarkMarker = 0x90;
inline constexpr uint8_t kAlternateBlockMarker = 0x9F;
inline constexpr uint8_t kGpsMarker = 0xA0;
inline constexpr uint8_t kShiftMarker = 0xB0;
inline constexpr uint8_t kUnlistedMarker = 0xC0;
inline constexpr uint8_t kHeaderMarker = 0xF0;
inline constexpr uint8_t kBootMarker = 0xF8;

// The device frames each boot line with a line feed before and a carriage
// return after the text.
inline constexpr uint8_t kBootLeadByte = 0x0A;
inline constexpr uint8_t kBootTrailByte = 0x0D;

// Payload of the unlisted record and the byte an extra-byte fault inserts.
inline constexpr std::array<uint8_t, 3> kUnlistedPayload = {0x11, 0x22, 0x33};
inline constexpr uint8_t kExtraPayloadByte = 0x2A;

inline constexpr int kGpsRecordLength = 76;
inline constexpr int kPositionMessageLength = 39;
inline constexpr int kTimeMessageLength = 37;
inline constexpr int kMaxHeaderLength = 512;
// A boot record ends on its marker only while marker, framing and text stay
// within the receiver's 255-byte record limit.
inline constexpr int kMaxBootLineLength = 252;
inline constexpr int32_t kSampleMin = -8388608;
inline constexpr int32_t kSampleMax = 8388607;
inline constexpr int32_t kShiftModulus = 16384;

// Latitude +52.00000, longitude +013.00000, speed 000, heading 000, source 1,
// age 2: the device reports a fixed position.
inline constexpr std::string_view kDefaultPosition = "+5200000+0130000000000012";
inline constexpr std::string_view kDefaultTimeFlags = "100000";

// A UTC date and time (proleptic Gregorian calendar).
struct UtcTime {
  int year = 2024;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

bool IsValidUtcTime(const UtcTime& time);
// The time `seconds` later (or earlier, when negative), across days, months
// and years.
UtcTime AddSeconds(const UtcTime& time, int64_t seconds);

enum class FaultKind {
  kDropByte,         // block `block` of the second loses its last payload byte
  kExtraByte,        // block `block` gets kExtraPayloadByte after its payload
  kBrokenGps,        // the second's GPS record has ">RTX" where ">RTM" belongs
  kMissingMark,      // the second's first block carries 0x80 instead of 0x90
  kUnlistedRecord,   // 0xC0 and kUnlistedPayload follow block `block`
  kBlockCount,       // the second has `value` blocks (at least 1) instead of rate
  kShortGps,         // only the first `value` characters (0..75) of the GPS record are sent
  kGpsJump,          // from this second on the GPS clock runs `value` seconds later (may be negative)
  kAlternateMarker,  // block `block` carries the 0x9F marker
  kRepeatHeader,     // the header record is sent again after block `block`
};

struct Fault {
  FaultKind kind = FaultKind::kDropByte;
  int64_t second = 0;
  int block = 1;
  int value = 0;
};

struct SimOptions {
  int channels = 3;                  // 1 or 3
  int rate = 100;                    // blocks per second: 50, 100, 200, 400 or 800
  int gain = 16;                     // 1, 2, 4, ..., 64
  std::string deviceNumber = "015";
  std::string firmwareVersion = "V2.07";
  UtcTime start;                     // UTC time of the first stream second
  int utcOffset = 18;                // GPS - UTC in seconds, 0..99
  bool temperature = false;          // ">XPV" messages carrying temperatureText
  std::string temperatureText = "+23.5";  // exactly 5 characters
  int satellites = 7;                // 0..99
  // Signal, in converter counts: offset + amplitude * sin(2 pi frequency t +
  // channel * 120 degrees) + Gaussian-ish noise with standard deviation `noise`,
  // rounded and held within the 24-bit range.
  double amplitude = 100000.0;
  double frequency = 1.0;
  double offset = 0.0;
  double noise = 0.0;
  uint64_t seed = 1;
  // Ground noise at a level between the models, and an earthquake, as a
  // sensor of `sensitivity` (V/(m/s), or V/(m/s^2) for an accelerometer)
  // and the gain make of them; added to the signal above, each channel its
  // own noise.
  std::optional<NoiseLevel> noiseModel;
  std::optional<Quake> quake;
  double sensitivity = 0.0;
  bool accelerometer = false;
  // Shift record of second t: (shiftStart + t * shiftStep) mod 16384.
  int shiftStart = 1234;
  int shiftStep = 1;
  int64_t durationSeconds = 0;       // 0 = endless
  std::string preamble;              // bytes below 0x80
  std::vector<std::string> bootLines;
  bool sendHeader = true;
  std::string headerOverride;        // when not empty, sent instead of the built header
  int gpsAfterBlocks = 10;           // GPS and shift record follow this many blocks, >= 1
  int64_t withholdGpsSeconds = 0;    // no GPS records in the first N seconds
  std::vector<Fault> faults;
};

// An empty text when the options can be sent, else what is wrong with them.
std::string ValidateOptions(const SimOptions& options);

// One converter value as its 4 payload bytes: bits 23..17, 16..10, 9..3 and
// 2..0 of the 24-bit two's complement. Values outside the range are clamped.
std::array<uint8_t, 4> EncodeSample(int32_t value);

// The fields of one GPS record. `year` has four digits; its first two become
// the century characters.
struct GpsFields {
  bool withTemperature = false;
  std::string temperatureText;  // 5 characters, in place of the time of day
  int32_t timeOfDay = 0;        // GPS seconds of the day, 0..86399
  std::string position = std::string(kDefaultPosition);
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  int day = 1;
  int month = 1;
  int year = 2000;
  int utcOffset = 0;
  char fixMode = '1';
  int satellites = 0;
  std::string flags = std::string(kDefaultTimeFlags);
};

// Exclusive or of every character of `message`, which runs from ">" through
// "*", as two upper-case hexadecimal digits.
std::string GpsChecksum(std::string_view message);
// ">RPV"/">XPV" message, 39 characters including checksum and "<".
std::string FormatPositionMessage(const GpsFields& fields);
// ">RTM" message, 37 characters including checksum and "<".
std::string FormatTimeMessage(const GpsFields& fields);
// Both messages: the 76 characters that follow the 0xA0 marker.
std::string FormatGpsRecord(const GpsFields& fields);
// The fields the device reports when its GPS clock shows `utc`.
GpsFields GpsFieldsAt(const SimOptions& options, const UtcTime& utc);

// Text of the header record: KEY=value items, each followed by ";".
std::string FormatHeader(const SimOptions& options);

// A short start-up report of `lines` lines (0 gives none).
std::vector<std::string> DefaultBootReport(const SimOptions& options, int lines);

class StreamGenerator {
 public:
  // Throws std::invalid_argument with ValidateOptions' text for unusable options.
  explicit StreamGenerator(SimOptions options);

  // Appends the preamble, the boot records and the header record. Called at
  // most once; NextSecond calls it first when it was not called.
  void Start(std::vector<uint8_t>& out);
  // Appends the next second of stream; does nothing once Done().
  void NextSecond(std::vector<uint8_t>& out);
  // True after durationSeconds seconds (never for an endless stream).
  bool Done() const;

  // Faults for seconds not sent yet, added to the options' as the stream goes
  // on, so that a stream months long never holds a list of all its faults.
  // Faults of seconds already sent are dropped (a GPS clock jump stays in
  // force). Throws std::invalid_argument for a fault the options would refuse
  // or one of a second already sent.
  void InjectFaults(const std::vector<Fault>& faults);

  int64_t SecondsGenerated() const { return nextSecond_; }
  // UTC time shown by the GPS record of stream second `second`, including
  // the clock jumps of kGpsJump faults (for a second already sent, when
  // InjectFaults has dropped faults since: as of the last of them).
  UtcTime GpsTimeOfSecond(int64_t second) const;
  // The shift value (0..16383) sent in stream second `second`.
  int32_t ShiftOfSecond(int64_t second) const;
  const SimOptions& Options() const { return options_; }

 private:
  bool HasFault(FaultKind kind, int64_t second, int block) const;
  const Fault* FindFault(FaultKind kind, int64_t second) const;
  void AppendBlock(int64_t second, int block, std::vector<uint8_t>& out);
  void AppendGpsAndShift(int64_t second, std::vector<uint8_t>& out);
  void AppendHeader(std::vector<uint8_t>& out) const;
  int32_t NextSampleValue(int channel);
  double NextNoise();

  SimOptions options_;
  // Shared, so a generator stays copyable; a copy draws from the same noise.
  std::vector<std::shared_ptr<ModelNoise>> modelNoise_;
  std::string header_;
  bool started_ = false;
  int64_t nextSecond_ = 0;
  int64_t droppedJumps_ = 0;  // clock jumps of faults InjectFaults dropped
  int64_t frame_ = 0;
  uint64_t noiseState_ = 0;
};

// The start records and the first `seconds` seconds (fewer when the options'
// duration ends sooner) in one piece.
std::vector<uint8_t> GenerateStream(const SimOptions& options, int64_t seconds);

}  // namespace voxa::sim
