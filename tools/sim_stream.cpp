// The simulated VOXA's encoder: sample frames, GPS and shift records, header
// and boot records, and the faults placed into them. See sim_stream.h for
// the order of the stream.
#include "tools/sim_stream.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <utility>

namespace voxa::sim {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int kMaxGpsJump = 10'000'000;

// Days since 1970-01-01 of a civil date, and back (H. Hinnant's algorithms;
// exact for every date of the proleptic Gregorian calendar).
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0); }
int64_t FloorMod(int64_t a, int64_t b) { return a - FloorDiv(a, b) * b; }

// value in decimal, zero-padded to width; callers keep value within width.
void AppendDigits(std::string& text, int64_t value, int width) {
  char digits[20];
  for (int i = width - 1; i >= 0; --i) {
    digits[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  text.append(digits, static_cast<size_t>(width));
}

bool IsPlainText(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Printable text that can stand as a header value.
bool IsItemValue(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte < 0x7F && c != ';';
  });
}

bool IsBlockFault(FaultKind kind) {
  return kind == FaultKind::kDropByte || kind == FaultKind::kExtraByte ||
         kind == FaultKind::kUnlistedRecord || kind == FaultKind::kAlternateMarker ||
         kind == FaultKind::kRepeatHeader;
}

int BlocksOfSecond(const SimOptions& options, int64_t second) {
  int blocks = options.rate;
  for (const Fault& fault : options.faults) {
    if (fault.kind == FaultKind::kBlockCount && fault.second == second) blocks = fault.value;
  }
  return blocks;
}

// splitmix64: small, fast and the same on every platform, unlike the
// distributions of the standard library.
uint64_t NextRandom(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

}  // namespace

bool IsValidUtcTime(const UtcTime& time) {
  return time.year >= 1980 && time.year <= 2099 && time.month >= 1 && time.month <= 12 &&
         time.day >= 1 && time.day <= DaysInMonth(time.year, time.month) && time.hour >= 0 &&
         time.hour <= 23 && time.minute >= 0 && time.minute <= 59 && time.second >= 0 &&
         time.second <= 59;
}

UtcTime AddSeconds(const UtcTime& time, int64_t seconds) {
  const int64_t total = DaysFromCivil(time.year, time.month, time.day) * kSecondsPerDay +
                        time.hour * 3600 + time.minute * 60 + time.second + seconds;
  const int64_t days = FloorDiv(total, kSecondsPerDay);
  const int64_t ofDay = total - days * kSecondsPerDay;
  UtcTime result;
  CivilFromDays(days, result.year, result.month, result.day);
  result.hour = static_cast<int>(ofDay / 3600);
  result.minute = static_cast<int>(ofDay / 60 % 60);
  result.second = static_cast<int>(ofDay % 60);
  return result;
}

std::string ValidateOptions(const SimOptions& options) {
  if (options.channels != 1 && options.channels != 3) return "channels must be 1 or 3";
  const int rate = options.rate;
  if (rate != 50 && rate != 100 && rate != 200 && rate != 400 && rate != 800) {
    return "rate must be 50, 100, 200, 400 or 800";
  }
  const int gain = options.gain;
  if (gain < 1 || gain > 64 || (gain & (gain - 1)) != 0) {
    return "gain must be 1, 2, 4, 8, 16, 32 or 64";
  }
  if (options.deviceNumber.empty() || options.deviceNumber.size() > 10 ||
      !IsItemValue(options.deviceNumber)) {
    return "device number must be 1 to 10 printable characters without ';'";
  }
  if (options.firmwareVersion.empty() || options.firmwareVersion.size() > 32 ||
      !IsItemValue(options.firmwareVersion)) {
    return "firmware version must be 1 to 32 printable characters without ';'";
  }
  if (!IsValidUtcTime(options.start)) return "start time must be a valid UTC time in 1980..2099";
  if (options.utcOffset < 0 || options.utcOffset > 99) return "UTC offset must be 0 to 99";
  if (options.temperatureText.size() != 5 || !IsItemValue(options.temperatureText)) {
    return "temperature text must be exactly 5 printable characters";
  }
  if (options.satellites < 0 || options.satellites > 99) return "satellites must be 0 to 99";
  const double limit = 1e9;
  for (const double value : {options.amplitude, options.frequency, options.offset, options.noise}) {
    if (!std::isfinite(value) || std::fabs(value) > limit) {
      return "signal values must be finite numbers within +-1e9";
    }
  }
  if (options.frequency < 0 || options.noise < 0) return "frequency and noise must not be negative";
  if ((options.noiseModel || options.quake) && !(std::isfinite(options.sensitivity) && options.sensitivity > 0)) {
    return "a noise model or a quake needs the sensor's sensitivity (--sensitivity V)";
  }
  if (options.shiftStart < 0 || options.shiftStart >= kShiftModulus) {
    return "shift start must be 0 to 16383";
  }
  if (options.shiftStep <= -kShiftModulus || options.shiftStep >= kShiftModulus) {
    return "shift step must be -16383 to 16383";
  }
  if (options.durationSeconds < 0) return "duration must not be negative";
  if (!IsPlainText(options.preamble)) return "preamble bytes must be below 0x80";
  for (const std::string& line : options.bootLines) {
    if (line.size() > static_cast<size_t>(kMaxBootLineLength) || !IsPlainText(line)) {
      return "boot lines must be at most 252 bytes, each below 0x80";
    }
  }
  const std::string header =
      options.headerOverride.empty() ? FormatHeader(options) : options.headerOverride;
  if (header.size() > static_cast<size_t>(kMaxHeaderLength) || !IsPlainText(header)) {
    return "header must be at most 512 bytes, each below 0x80";
  }
  if (options.gpsAfterBlocks < 1 || options.gpsAfterBlocks > rate) {
    return "the GPS record must follow 1 to rate blocks";
  }
  if (options.withholdGpsSeconds < 0) return "withheld GPS seconds must not be negative";
  for (const Fault& fault : options.faults) {
    if (fault.second < 0) return "a fault's second must not be negative";
    if (fault.kind == FaultKind::kBlockCount && (fault.value < 1 || fault.value > 4 * rate)) {
      return "a block count must be 1 to 4 times the rate";
    }
    if (fault.kind == FaultKind::kShortGps && (fault.value < 0 || fault.value >= kGpsRecordLength)) {
      return "a short GPS record keeps 0 to 75 characters";
    }
    if (fault.kind == FaultKind::kGpsJump && std::abs(fault.value) > kMaxGpsJump) {
      return "a GPS clock jump must be within +-10000000 seconds";
    }
  }
  // Block faults are checked against the final block counts, so that a
  // fault never silently misses its block.
  for (const Fault& fault : options.faults) {
    if (IsBlockFault(fault.kind) &&
        (fault.block < 0 || fault.block >= BlocksOfSecond(options, fault.second))) {
      return "a fault's block must lie within its second";
    }
  }
  return {};
}

std::array<uint8_t, 4> EncodeSample(int32_t value) {
  const int32_t clamped = std::clamp(value, kSampleMin, kSampleMax);
  const uint32_t bits = static_cast<uint32_t>(clamped) & 0xFFFFFFu;
  return {static_cast<uint8_t>((bits >> 17) & 0x7Fu), static_cast<uint8_t>((bits >> 10) & 0x7Fu),
          static_cast<uint8_t>((bits >> 3) & 0x7Fu), static_cast<uint8_t>(bits & 0x07u)};
}

std::string GpsChecksum(std::string_view message) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  unsigned sum = 0;
  for (const char c : message) sum ^= static_cast<unsigned char>(c);
  return {kHex[(sum >> 4) & 0x0F], kHex[sum & 0x0F]};
}

std::string FormatPositionMessage(const GpsFields& fields) {
  std::string text = fields.withTemperature ? ">XPV" : ">RPV";
  if (fields.withTemperature) {
    text += fields.temperatureText;
  } else {
    AppendDigits(text, fields.timeOfDay, 5);
  }
  text += fields.position;
  text += ";*";
  text += GpsChecksum(text);
  text += '<';
  return text;
}

std::string FormatTimeMessage(const GpsFields& fields) {
  std::string text = ">RTM";
  AppendDigits(text, fields.hour, 2);
  AppendDigits(text, fields.minute, 2);
  AppendDigits(text, fields.second, 2);
  AppendDigits(text, fields.millisecond, 3);
  AppendDigits(text, fields.day, 2);
  AppendDigits(text, fields.month, 2);
  AppendDigits(text, fields.year / 100, 2);
  AppendDigits(text, fields.year % 100, 2);
  AppendDigits(text, fields.utcOffset, 2);
  text += fields.fixMode;
  AppendDigits(text, fields.satellites, 2);
  text += fields.flags;
  text += ";*";
  text += GpsChecksum(text);
  text += '<';
  return text;
}

std::string FormatGpsRecord(const GpsFields& fields) {
  return FormatPositionMessage(fields) + FormatTimeMessage(fields);
}

GpsFields GpsFieldsAt(const SimOptions& options, const UtcTime& utc) {
  GpsFields fields;
  fields.withTemperature = options.temperature;
  fields.temperatureText = options.temperatureText;
  // The receiver counts GPS time, which runs utcOffset seconds ahead of UTC.
  const int64_t utcOfDay = utc.hour * 3600 + utc.minute * 60 + utc.second;
  fields.timeOfDay = static_cast<int32_t>((utcOfDay + options.utcOffset) % kSecondsPerDay);
  fields.hour = utc.hour;
  fields.minute = utc.minute;
  fields.second = utc.second;
  fields.day = utc.day;
  fields.month = utc.month;
  fields.year = utc.year;
  fields.utcOffset = options.utcOffset;
  fields.satellites = options.satellites;
  return fields;
}

std::string FormatHeader(const SimOptions& options) {
  const UtcTime& start = options.start;
  std::string text;
  text += "ZELK_V=" + options.firmwareVersion + ";";
  text += "DEV_NO=" + options.deviceNumber + ";";
  text += "E_NAME=N/A;";
  text += "P_AMPL=" + std::to_string(options.gain) + ";";
  text += "CH_NUM=" + std::to_string(options.channels) + ";";
  text += "S_RATE=" + std::to_string(options.rate) + ";";
  text += "D_FILT=31;C_MODE=0;A_CHOP=1;F_TIME=30;GPS_TI=5;GPS_OF=0;A_FILT=0;A_PHAS=0;";
  text += "GPS_ON=1;ACQ_ON=1;PLL_XO=0;V_TCXO=0;GPS_PO=N/A;";
  // S_TIME and S_DATE are always 8 characters: the monitor overwrites them in place.
  text += "S_TIME=";
  AppendDigits(text, start.hour, 2);
  text += ':';
  AppendDigits(text, start.minute, 2);
  text += ':';
  AppendDigits(text, start.second, 2);
  text += ";S_DATE=";
  AppendDigits(text, start.year % 100, 2);
  text += '/';
  AppendDigits(text, start.month, 2);
  text += '/';
  AppendDigits(text, start.day, 2);
  text += ";D_VOLT=0;E_VOLT=0;B_VOLT=0;DAT_NO=000;";
  return text;
}

std::vector<std::string> DefaultBootReport(const SimOptions& options, int lines) {
  std::vector<std::string> report = {
      "VOXA " + options.firmwareVersion + " starting",
      "Device number " + options.deviceNumber,
      "ADC " + std::to_string(options.channels) + " ch, " + std::to_string(options.rate) +
          " sps, gain " + std::to_string(options.gain),
      "GPS receiver on",
      "Acquisition started",
  };
  const int count = std::max(lines, 0);
  for (int i = static_cast<int>(report.size()); i < count; ++i) {
    report.push_back("Self test " + std::to_string(i + 1) + " passed");
  }
  report.resize(static_cast<size_t>(count));
  return report;
}

StreamGenerator::StreamGenerator(SimOptions options) : options_(std::move(options)) {
  const std::string problem = ValidateOptions(options_);
  if (!problem.empty()) throw std::invalid_argument(problem);
  header_ = options_.headerOverride.empty() ? FormatHeader(options_) : options_.headerOverride;
  noiseState_ = options_.seed;
  if (options_.noiseModel) {
    for (int ch = 0; ch < options_.channels; ++ch) {
      ModelNoiseSettings settings{*options_.noiseModel, options_.rate, options_.gain, options_.sensitivity,
                                  options_.accelerometer, options_.seed * 3 + static_cast<uint64_t>(ch)};
      modelNoise_.push_back(std::make_shared<ModelNoise>(settings));
    }
  }
}

void StreamGenerator::Start(std::vector<uint8_t>& out) {
  if (started_) return;
  started_ = true;
  out.insert(out.end(), options_.preamble.begin(), options_.preamble.end());
  for (const std::string& line : options_.bootLines) {
    out.push_back(kBootMarker);
    out.push_back(kBootLeadByte);
    out.insert(out.end(), line.begin(), line.end());
    out.push_back(kBootTrailByte);
  }
  if (options_.sendHeader) AppendHeader(out);
}

bool StreamGenerator::Done() const {
  return options_.durationSeconds > 0 && nextSecond_ >= options_.durationSeconds;
}

void StreamGenerator::NextSecond(std::vector<uint8_t>& out) {
  Start(out);
  if (Done()) return;
  const int64_t second = nextSecond_;
  const int blocks = BlocksOfSecond(options_, second);
  const int gpsAfter = std::min(options_.gpsAfterBlocks, blocks);
  out.reserve(out.size() + static_cast<size_t>(blocks) * (4 * options_.channels + 2) + 200);
  for (int block = 0; block < blocks; ++block) {
    AppendBlock(second, block, out);
    if (block + 1 == gpsAfter) AppendGpsAndShift(second, out);
    if (HasFault(FaultKind::kUnlistedRecord, second, block)) {
      out.push_back(kUnlistedMarker);
      out.insert(out.end(), kUnlistedPayload.begin(), kUnlistedPayload.end());
    }
    if (HasFault(FaultKind::kRepeatHeader, second, block)) AppendHeader(out);
  }
  ++nextSecond_;
}

void StreamGenerator::InjectFaults(const std::vector<Fault>& faults) {
  for (const Fault& fault : faults) {
    if (fault.second < nextSecond_) throw std::invalid_argument("a fault's second has been sent already");
  }
  std::erase_if(options_.faults, [this](const Fault& fault) {
    if (fault.second >= nextSecond_) return false;
    if (fault.kind == FaultKind::kGpsJump) droppedJumps_ += fault.value;
    return true;
  });
  SimOptions check = options_;
  check.faults.insert(check.faults.end(), faults.begin(), faults.end());
  const std::string problem = ValidateOptions(check);
  if (!problem.empty()) throw std::invalid_argument(problem);
  options_.faults = std::move(check.faults);
}

UtcTime StreamGenerator::GpsTimeOfSecond(int64_t second) const {
  int64_t jump = droppedJumps_;
  for (const Fault& fault : options_.faults) {
    if (fault.kind == FaultKind::kGpsJump && fault.second <= second) jump += fault.value;
  }
  return AddSeconds(options_.start, second + jump);
}

int32_t StreamGenerator::ShiftOfSecond(int64_t second) const {
  return static_cast<int32_t>(
      FloorMod(options_.shiftStart + second * options_.shiftStep, kShiftModulus));
}

bool StreamGenerator::HasFault(FaultKind kind, int64_t second, int block) const {
  for (const Fault& fault : options_.faults) {
    if (fault.kind == kind && fault.second == second && fault.block == block) return true;
  }
  return false;
}

const Fault* StreamGenerator::FindFault(FaultKind kind, int64_t second) const {
  const Fault* found = nullptr;
  for (const Fault& fault : options_.faults) {
    if (fault.kind == kind && fault.second == second) found = &fault;
  }
  return found;
}

void StreamGenerator::AppendBlock(int64_t second, int block, std::vector<uint8_t>& out) {
  uint8_t marker = block == 0 ? kSecondMarkMarker : kBlockMarker;
  if (block == 0 && FindFault(FaultKind::kMissingMark, second) != nullptr) marker = kBlockMarker;
  if (HasFault(FaultKind::kAlternateMarker, second, block)) marker = kAlternateBlockMarker;
  out.push_back(marker);
  const size_t payloadStart = out.size();
  for (int channel = 0; channel < options_.channels; ++channel) {
    const std::array<uint8_t, 4> bytes = EncodeSample(NextSampleValue(channel));
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  if (HasFault(FaultKind::kDropByte, second, block) && out.size() > payloadStart) out.pop_back();
  if (HasFault(FaultKind::kExtraByte, second, block)) out.push_back(kExtraPayloadByte);
  ++frame_;
}

void StreamGenerator::AppendGpsAndShift(int64_t second, std::vector<uint8_t>& out) {
  if (second >= options_.withholdGpsSeconds) {
    std::string record = FormatGpsRecord(GpsFieldsAt(options_, GpsTimeOfSecond(second)));
    // A damaged time-message identifier; the checksum stays that of the
    // sound message, as a corruption on the line would leave it.
    if (FindFault(FaultKind::kBrokenGps, second) != nullptr) record[42] = 'X';
    if (const Fault* fault = FindFault(FaultKind::kShortGps, second)) {
      record.resize(static_cast<size_t>(fault->value));
    }
    out.push_back(kGpsMarker);
    out.insert(out.end(), record.begin(), record.end());
  }
  const int32_t shift = ShiftOfSecond(second);
  out.push_back(kShiftMarker);
  out.push_back(static_cast<uint8_t>((shift >> 7) & 0x7F));
  out.push_back(static_cast<uint8_t>(shift & 0x7F));
}

void StreamGenerator::AppendHeader(std::vector<uint8_t>& out) const {
  out.push_back(kHeaderMarker);
  out.insert(out.end(), header_.begin(), header_.end());
}

int32_t StreamGenerator::NextSampleValue(int channel) {
  // Reduce the phase in whole cycles before scaling so that a long run keeps
  // its precision.
  const double rate = options_.rate;
  const double cycles = std::fmod(options_.frequency * static_cast<double>(frame_), rate) / rate;
  const double angle = 2.0 * std::numbers::pi * (cycles + channel / 3.0);
  double value = options_.offset + options_.amplitude * std::sin(angle);
  if (options_.noise > 0) value += options_.noise * NextNoise();
  if (!modelNoise_.empty()) value += modelNoise_[static_cast<size_t>(channel)]->Next();
  if (options_.quake) {
    // The same ground motion on every channel, in counts.
    const double t = static_cast<double>(frame_) / rate;
    value += QuakeMotion(*options_.quake, t) * options_.sensitivity / SimVoltsPerCount(options_.gain);
  }
  value = std::clamp(value, static_cast<double>(kSampleMin), static_cast<double>(kSampleMax));
  return static_cast<int32_t>(std::lround(value));
}

double StreamGenerator::NextNoise() {
  // Sum of 12 uniform values minus 6: mean 0, standard deviation 1, close
  // enough to Gaussian for a noise floor.
  double sum = 0;
  for (int i = 0; i < 12; ++i) {
    sum += static_cast<double>(NextRandom(noiseState_) >> 11) * 0x1.0p-53;
  }
  return sum - 6.0;
}

std::vector<uint8_t> GenerateStream(const SimOptions& options, int64_t seconds) {
  StreamGenerator generator(options);
  std::vector<uint8_t> out;
  generator.Start(out);
  for (int64_t i = 0; i < seconds && !generator.Done(); ++i) generator.NextSecond(out);
  return out;
}

}  // namespace voxa::sim
