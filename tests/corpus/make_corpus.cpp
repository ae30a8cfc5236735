// Writes the inputs of the stored stream corpus: for every case of the table
// below, tests/data/corpus/<case>/input.bin (every byte the device sent, text
// before the first marker included), case.txt (the run's settings) and, when
// the case has one, config.txt. It also writes the stored streams of the
// end-to-end test (tests/data/<case>/input.bin).
//
// Run by hand only, from the project's root:
//
//   build/tests/make_corpus tests/data            # every case
//   build/tests/make_corpus tests/data gps-late   # only the cases named
//
// The tests never call it, so a change to the simulated device cannot move
// the expected outputs without anyone noticing: the inputs change only when
// this program is run and its result committed. Inputs are deterministic
// (fixed seeds), so running it again on an unchanged simulator rewrites the
// same bytes. After adding or changing a case, run the core tests with
// VOXA_UPDATE_GOLDEN=1 to write its expected outputs, and read them.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/sim_stream.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using voxa::sim::Fault;
using voxa::sim::FaultKind;
using voxa::sim::SimOptions;

// The settings written to case.txt, in its key order.
struct Settings {
  int rate = 100;
  int channels = 3;
  int gain = 16;
  int screenSeconds = 2;
  bool saveStream = true;
  bool saveErrors = true;
  bool saveShift = true;
  bool extHeader = false;
  bool highPass = false;
  bool autoScale = false;
  bool resetOffset = true;
  size_t chunk = 997;
  std::string startClock = "2026-12-07 09:30:15";
  int plotWidth = 300;
  int plotHeight = 150;
  std::vector<std::string> actions;  // "<offset> <what>"
};

struct Case {
  std::string name;
  std::string about;  // first line of case.txt, what the case covers
  Settings settings;
  Bytes input;
  std::optional<std::string> config;
};

// --- Streams ---------------------------------------------------------------------

// The device most cases start from: a short, quiet sine with a little noise,
// a boot banner, two boot lines and its header.
SimOptions Device(int rate, int channels, int64_t seconds) {
  SimOptions o;
  o.rate = rate;
  o.channels = channels;
  o.gain = 16;
  o.deviceNumber = "015";
  o.firmwareVersion = "V2.07";
  o.start = {2026, 3, 7, 12, 0, 0};
  o.utcOffset = 18;
  o.amplitude = 20000;
  o.offset = 1000;
  o.noise = 30;
  o.seed = 7;
  o.durationSeconds = seconds;
  o.preamble = "VOXA starting\r\n";
  o.bootLines = {"VOXA boot v2", "GPS receiver found"};
  return o;
}

Bytes Stream(const SimOptions& options) { return voxa::sim::GenerateStream(options, options.durationSeconds); }

// The window's parameters match the device's; everything else at its case default.
Settings SettingsFor(const SimOptions& device) {
  Settings s;
  s.rate = device.rate;
  s.channels = device.channels;
  s.gain = device.gain;
  return s;
}

// The same device continuing `after` seconds later: no banner, no boot
// lines, its own header record first (unless switched off).
SimOptions Continuation(SimOptions options, int64_t after, int64_t seconds) {
  options.start = voxa::sim::AddSeconds(options.start, after);
  options.durationSeconds = seconds;
  options.preamble.clear();
  options.bootLines.clear();
  options.faults.clear();
  options.seed += 1000;
  return options;
}

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }
void Append(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

// One boot-message record as the device frames it, whatever the line's length.
Bytes BootRecord(const std::string& line) {
  Bytes out{voxa::sim::kBootMarker, voxa::sim::kBootLeadByte};
  Append(out, line);
  out.push_back(voxa::sim::kBootTrailByte);
  return out;
}

// Offset of the n-th (0 = first) byte equal to marker, from `from` on.
size_t NthMarker(const Bytes& bytes, uint8_t marker, int n, size_t from = 0) {
  for (size_t i = from; i < bytes.size(); ++i) {
    if (bytes[i] == marker && n-- == 0) return i;
  }
  throw std::runtime_error("marker not found");
}

// Offset of the second mark that begins stream second `second` (0 = first).
size_t SecondStart(const Bytes& bytes, int second) { return NthMarker(bytes, voxa::sim::kSecondMarkMarker, second); }

std::string At(size_t offset, const std::string& what) { return std::to_string(offset) + " " + what; }

// splitmix64, as the simulator's noise uses: the same on every platform.
uint64_t NextRandom(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// A header record text with every item the monitor reads; values as given.
std::string HeaderText(const std::string& version, const std::string& device, const std::string& gain,
                       const std::string& channels, const std::string& rate) {
  return "ZELK_V=" + version + ";DEV_NO=" + device + ";E_NAME=N/A;P_AMPL=" + gain + ";CH_NUM=" + channels +
         ";S_RATE=" + rate + ";D_FILT=31;C_MODE=0;A_CHOP=1;F_TIME=30;GPS_TI=5;GPS_OF=0;";
}

// The n-th (0 = first) GPS record's text in the stream, with characters put
// at 1-based positions and both checksums made valid again: a record that
// went wrong at the device, not on the line.
void EditGpsRecord(Bytes& stream, int n, const std::vector<std::pair<size_t, std::string>>& fields) {
  const size_t at = NthMarker(stream, voxa::sim::kGpsMarker, n) + 1;
  std::string text(stream.begin() + static_cast<std::ptrdiff_t>(at),
                   stream.begin() + static_cast<std::ptrdiff_t>(at) + voxa::sim::kGpsRecordLength);
  for (const auto& [pos, value] : fields) text.replace(pos - 1, value.size(), value);
  text.replace(36, 2, voxa::sim::GpsChecksum(text.substr(0, 36)));
  text.replace(73, 2, voxa::sim::GpsChecksum(text.substr(39, 34)));
  std::copy(text.begin(), text.end(), stream.begin() + static_cast<std::ptrdiff_t>(at));
}

// --- The table ---------------------------------------------------------------------

std::vector<Case> Corpus() {
  std::vector<Case> cases;
  auto add = [&cases](std::string name, std::string about, const Settings& settings, Bytes input,
                      std::optional<std::string> config = std::nullopt) {
    cases.push_back({std::move(name), std::move(about), settings, std::move(input), std::move(config)});
  };

  // Every rate with one and three channels: clean streams, every file saved.
  for (const int rate : {50, 100, 200, 400, 800}) {
    for (const int channels : {1, 3}) {
      const SimOptions device = Device(rate, channels, 5);
      Settings s = SettingsFor(device);
      if (rate == 50 && channels == 1) s.chunk = 7;
      if (rate == 800 && channels == 3) s.chunk = 4096;
      if (rate == 100 && channels == 3) s.plotWidth = 993, s.plotHeight = 377;  // the window's design size
      add("rate-" + std::to_string(rate) + "-" + std::to_string(channels) + "ch",
          "clean stream at " + std::to_string(rate) + " sps, " + std::to_string(channels) + " channel(s)", s,
          Stream(device));
    }
  }

  // One case per fault the simulated device can inject.
  struct FaultCase {
    const char* name;
    const char* about;
    std::vector<Fault> faults;
  };
  const std::vector<FaultCase> faultCases = {
      {"fault-drop-byte", "blocks one payload byte short, one of them a second-mark block",
       {{FaultKind::kDropByte, 2, 5, 0}, {FaultKind::kDropByte, 4, 0, 0}}},
      {"fault-extra-byte", "blocks one payload byte long, one of them a second-mark block",
       {{FaultKind::kExtraByte, 2, 7, 0}, {FaultKind::kExtraByte, 3, 0, 0}}},
      {"fault-broken-gps", "a GPS record with a damaged message identifier", {{FaultKind::kBrokenGps, 3, 0, 0}}},
      {"fault-missing-mark", "a second without its second mark", {{FaultKind::kMissingMark, 3, 0, 0}}},
      {"fault-unlisted-record", "an unlisted 0xC0 record between blocks", {{FaultKind::kUnlistedRecord, 2, 3, 0}}},
      {"fault-block-count", "a second with too many blocks and one with too few",
       {{FaultKind::kBlockCount, 2, 0, 150}, {FaultKind::kBlockCount, 4, 0, 60}}},
      // 67 characters and the shift record make exactly the 70 bytes a GPS
      // record is read as without the recording: the next block survives.
      {"fault-short-gps", "GPS records cut to 30, 67 and 0 characters, recording on",
       {{FaultKind::kShortGps, 2, 0, 30}, {FaultKind::kShortGps, 3, 0, 67}, {FaultKind::kShortGps, 4, 0, 0}}},
      {"fault-gps-jump", "the GPS clock jumps 5 s ahead, later 3 s back",
       {{FaultKind::kGpsJump, 2, 0, 5}, {FaultKind::kGpsJump, 4, 0, -3}}},
      {"fault-alternate-marker", "blocks with the 0x9F marker, one in place of a second mark",
       {{FaultKind::kAlternateMarker, 2, 4, 0}, {FaultKind::kAlternateMarker, 3, 0, 0}}},
      {"fault-repeat-header", "the unchanged header record sent again mid-run",
       {{FaultKind::kRepeatHeader, 3, 20, 0}}},
  };
  for (const FaultCase& f : faultCases) {
    SimOptions device = Device(100, 1, 6);
    device.faults = f.faults;
    add(f.name, f.about, SettingsFor(device), Stream(device));
  }
  {
    // Without the recording a GPS record is read as exactly 70 bytes: a
    // short one swallows the shift record and blocks after it.
    SimOptions device = Device(100, 1, 6);
    device.faults = faultCases[6].faults;
    Settings s = SettingsFor(device);
    s.saveStream = false;
    add("fault-short-gps-blind", "GPS records cut to 30, 67 and 0 characters, recording off", s, Stream(device));
  }

  // The save options, on a stream with a mix of faults so every list has lines.
  SimOptions mixed = Device(100, 1, 8);
  mixed.faults = {{FaultKind::kDropByte, 1, 5, 0},   {FaultKind::kExtraByte, 2, 7, 0},
                  {FaultKind::kBrokenGps, 3, 0, 0},  {FaultKind::kMissingMark, 4, 0, 0},
                  {FaultKind::kBlockCount, 5, 0, 130}, {FaultKind::kShortGps, 6, 0, 50}};
  const struct {
    const char* name;
    bool stream, errors, shift;
  } saves[] = {{"saves-all-off", false, false, false},
               {"save-stream-only", true, false, false},
               {"save-errors-only", false, true, false},
               {"save-shift-only", false, false, true}};
  for (const auto& save : saves) {
    Settings s = SettingsFor(mixed);
    s.saveStream = save.stream;
    s.saveErrors = save.errors;
    s.saveShift = save.shift;
    add(save.name, "a stream with mixed faults, files saved: stream " + std::to_string(save.stream) + ", errors " +
                       std::to_string(save.errors) + ", shift " + std::to_string(save.shift),
        s, Stream(mixed));
  }

  // GPS and the device header missing or late.
  {
    SimOptions device = Device(100, 1, 32);
    device.start = {2026, 11, 2, 8, 15, 30};
    device.withholdGpsSeconds = 4;
    add("gps-late", "GPS withheld past the first screen; the run goes past the 26th shift record after the fix",
        SettingsFor(device), Stream(device));
    device.durationSeconds = 14;
    add("gps-late-stopped", "GPS withheld past the first screen; the run stops before the 26th shift record",
        SettingsFor(device), Stream(device));
  }
  {
    SimOptions device = Device(100, 1, 8);
    device.withholdGpsSeconds = 100;
    add("gps-absent", "no GPS record at all; the device header arrives", SettingsFor(device), Stream(device));
    device = Device(100, 1, 8);
    device.sendHeader = false;
    add("header-absent", "no device header; GPS records arrive", SettingsFor(device), Stream(device));
    device.withholdGpsSeconds = 100;
    add("gps-and-header-absent", "neither a device header nor a GPS record", SettingsFor(device), Stream(device));
  }
  {
    // Without a header record the window's parameters are all the monitor has.
    SimOptions device = Device(200, 1, 5);
    device.sendHeader = false;
    Settings s = SettingsFor(device);
    s.rate = 100;
    s.channels = 3;
    add("window-mismatch", "no device header; the window expects 3 channels at 100 sps, the device sends 1 at 200",
        s, Stream(device));
  }
  {
    SimOptions device = Device(100, 3, 5);
    device.temperature = true;
    device.temperatureText = "+23.5";
    add("temperature-xpv", ">XPV records carrying the device temperature", SettingsFor(device), Stream(device));
  }

  // Header records that change the stream mid-run, or that cannot be used.
  {
    const SimOptions first = Device(100, 3, 4);
    SimOptions second = Continuation(first, 4, 4);
    second.rate = 200;
    Bytes input = Stream(first);
    Append(input, Stream(second));
    add("header-rate-change", "a new header record switches from 100 to 200 sps mid-run", SettingsFor(first), input);
  }
  {
    const SimOptions first = Device(100, 3, 4);
    SimOptions second = Continuation(first, 4, 4);
    second.channels = 1;
    Bytes input = Stream(first);
    Append(input, Stream(second));
    add("header-channel-change", "a new header record switches from 3 channels to 1 mid-run", SettingsFor(first),
        input);
  }
  {
    SimOptions device = Device(100, 1, 3);
    device.headerOverride = HeaderText("V9.99", "042", "0", "2", "0");
    Bytes input = Stream(device);
    SimOptions later = Continuation(device, 3, 3);
    // Keys missing, and one whose value the text ends before.
    later.headerOverride = "DEV_NO=7;E_NAME=N/A;S_RATE=";
    Append(input, Stream(later));
    add("header-unusable", "a header with unusable gain, channels and rate, then one with keys missing",
        SettingsFor(device), input);
  }

  {
    // A short header first; later one longer than the receiver's 512 bytes:
    // it ends at 512, what follows is stray, and at STOP it is fitted to the
    // first one's length.
    SimOptions device = Device(100, 1, 3);
    device.headerOverride = HeaderText("V2.07", "015", "16", "1", "100");
    Bytes input = Stream(device);
    std::string header = HeaderText("V2.08", "016", "8", "1", "100");
    for (int i = 0; header.size() < 600; ++i) header += "X_ITEM" + std::to_string(i) + "=" + std::to_string(i * 7) + ";";
    input.push_back(voxa::sim::kHeaderMarker);
    Append(input, header);
    SimOptions later = Continuation(device, 3, 3);
    later.sendHeader = false;
    Append(input, Stream(later));
    add("header-long", "a short header, then a header record longer than 512 bytes", SettingsFor(device), input);
  }

  // config.txt, read at START with "Ext. Header" ticked. Without a device
  // header the header built from it goes into the recording.
  auto configCase = [&](const char* name, const char* about, std::optional<std::string> config, bool deviceHeader = false,
                        int deviceRate = 100, int deviceChannels = 1) {
    SimOptions device = Device(deviceRate, deviceChannels, 4);
    device.sendHeader = deviceHeader;
    Settings s = SettingsFor(device);
    s.rate = 100;
    s.channels = 1;
    s.extHeader = true;
    add(name, about, s, Stream(device), std::move(config));
  };
  configCase("config-full", "a config.txt with every key; the device header arrives later",
             "P_AMPL=8\nCH_NUM=1\nS_RATE=100\nD_FILT=63\nC_MODE=1\nA_CHOP=0\nF_TIME=60\nGPS_TI=10\nGPS_OF=2\n"
             "A_FILT=1\nA_PHAS=1\nGPS_ON=1\nACQ_ON=1\nPLL_XO=1\nV_TCXO=2500\nGPS_PO=5200000N0130000E\n",
             true);
  configCase("config-rate-only", "a config.txt with only S_RATE=200; the device sends 200 sps", "S_RATE=200\n", false,
             200);
  configCase("config-key-twice", "a config.txt naming S_RATE and P_AMPL twice",
             "S_RATE=200\nP_AMPL=4\nS_RATE=100\nP_AMPL=8\nCH_NUM=1\n");
  configCase("config-comments", "a config.txt with comment lines, one of them a commented-out key",
             "* VOXA configuration\nP_AMPL=2\n*S_RATE=800\nCH_NUM=1\n* end\n");
  {
    std::string config;
    for (int i = 0; i < 25; ++i) config += "D_FILT=" + std::to_string(i) + "\n";
    configCase("config-over-20-lines", "a config.txt of 25 items; only the first 20 are read", config);
  }
  configCase("config-long-lines", "a config.txt with lines over 512 characters; the header overflows",
             "P_AMPL=4\nGPS_PO=" + std::string(600, 'N') + "\nV_TCXO=" + std::string(300, '7') + "\nCH_NUM=1\n");
  configCase("config-empty-lines-crlf", "a config.txt with CR LF line ends and empty lines",
             "\r\nP_AMPL=2\r\n\r\n\r\nCH_NUM=1\r\nS_RATE=100\r\n\r\n");
  configCase("config-unusable", "a config.txt with a gain, channel count and rate the monitor cannot use",
             "P_AMPL=0\nCH_NUM=2\nS_RATE=0\n");
  configCase("config-missing", "Ext. Header ticked, no config.txt", std::nullopt);

  // Boot messages and text before the first marker.
  {
    SimOptions device = Device(100, 1, 3);
    device.bootLines.clear();
    Bytes input(device.preamble.begin(), device.preamble.end());
    device.preamble.clear();
    for (const std::string& line : {std::string("VOXA boot v2"), std::string(), std::string(252, 'L'),
                                    std::string(300, 'x') + "|end of a line longer than a record",
                                    std::string("GPS receiver found")}) {
      Append(input, BootRecord(line));
    }
    Append(input, Stream(device));
    add("boot-long-line", "boot messages: an empty line, one of 252 characters and one longer than a record",
        SettingsFor(device), input);
  }
  {
    SimOptions device = Device(100, 1, 3);
    device.preamble.clear();
    for (int round = 0; round < 3; ++round) {
      for (int c = 0; c < 0x80; ++c) device.preamble.push_back(static_cast<char>(c));
    }
    device.preamble += "\r\nVOXA firmware V2.07\r\nwaiting for GPS...\r\n";
    Settings s = SettingsFor(device);
    s.chunk = 64;
    add("preamble-text", "text and every byte below 0x80 before the first marker", s, Stream(device));
  }

  // The window's display options, from START and mid-run.
  {
    SimOptions device = Device(100, 3, 6);
    device.faults = {{FaultKind::kRepeatHeader, 3, 40, 0}};
    Settings s = SettingsFor(device);
    s.highPass = true;
    s.resetOffset = false;  // the window unticks "RST Offset" with "High Pass"
    add("high-pass-from-start", "high pass on from START; a repeated header sets the filter up again", s,
        Stream(device));
  }
  {
    SimOptions device = Device(100, 3, 8);
    device.offset = 50000;
    const Bytes input = Stream(device);
    Settings s = SettingsFor(device);
    s.actions = {At(SecondStart(input, 2) + 300, "high-pass-on"), At(SecondStart(input, 5) + 40, "high-pass-off")};
    add("high-pass-mid-run", "high pass ticked mid-run and unticked later, on a signal with a large offset", s, input);
  }
  {
    SimOptions device = Device(100, 3, 6);
    device.amplitude = 400000;
    Settings s = SettingsFor(device);
    s.autoScale = true;
    add("auto-scale", "each channel on its own scale", s, Stream(device));
  }
  {
    SimOptions device = Device(100, 3, 8);
    device.offset = -30000;
    const Bytes input = Stream(device);
    Settings s = SettingsFor(device);
    s.resetOffset = false;
    s.actions = {At(SecondStart(input, 3), "offset-on"), At(SecondStart(input, 5) + 13, "offset-off")};
    add("offset-reset-off", "RST Offset unticked at START, ticked and unticked mid-run", s, input);
  }
  {
    const SimOptions device = Device(100, 3, 9);
    const Bytes input = Stream(device);
    Settings s = SettingsFor(device);
    s.screenSeconds = 4;
    s.actions = {At(SecondStart(input, 1) + 100, "zoom-in"), At(SecondStart(input, 2) + 5, "amp-up"),
                 At(SecondStart(input, 3) + 5, "amp-down"),  At(SecondStart(input, 3) + 6, "amp-down"),
                 At(SecondStart(input, 4), "zoom-out"),      At(SecondStart(input, 6) + 700, "amp-up"),
                 At(SecondStart(input, 7) + 1, "zoom-out")};
    add("zoom-amplitude", "zoom and amplitude clicks mid-run", s, input);
  }
  {
    // 400 sps x 1 channel: a screen holds at most 192 s, not a power of two.
    const SimOptions device = Device(400, 1, 5);
    const Bytes input = Stream(device);
    Settings s = SettingsFor(device);
    s.screenSeconds = 96;
    s.actions = {At(SecondStart(input, 1) + 7, "zoom-out"), At(SecondStart(input, 2) + 7, "zoom-out"),
                 At(SecondStart(input, 3) + 7, "zoom-in")};
    add("zoom-out-limit", "zoom out up to the most seconds the sample buffer holds", s, input);
  }
  {
    const SimOptions device = Device(100, 3, 8);
    const Bytes input = Stream(device);
    Settings s = SettingsFor(device);
    // resize: the window's size with its frame (plot = width - 26, height - 221).
    s.actions = {At(SecondStart(input, 1) + 200, "resize 226x321"), At(SecondStart(input, 3) + 9, "resize 180x360"),
                 At(SecondStart(input, 4) + 9, "resize 10x10"), At(SecondStart(input, 6) + 2, "resize 336x381")};
    add("resize", "window resizes mid-run: smaller, narrower than at START, to nothing, larger", s, input);
  }

  // Streams that end in the middle of a record.
  {
    const SimOptions device = Device(100, 1, 4);
    const Bytes full = Stream(device);
    const size_t block = NthMarker(full, voxa::sim::kBlockMarker, 20, SecondStart(full, 3));
    Bytes input(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(block + 3));
    add("cut-in-block", "the stream ends two payload bytes into a sample block", SettingsFor(device), input);

    const size_t gps = NthMarker(full, voxa::sim::kGpsMarker, 2);
    input.assign(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(gps + 1 + 30));
    add("cut-in-gps", "the stream ends 30 characters into a GPS record, recording on", SettingsFor(device), input);
    Settings blind = SettingsFor(device);
    blind.saveStream = false;
    input.assign(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(gps + 1 + 70));
    add("cut-in-gps-blind", "the stream ends after 70 GPS characters, recording off", blind, input);

    const size_t shift = NthMarker(full, voxa::sim::kShiftMarker, 2);
    input.assign(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(shift + 2));
    add("cut-in-shift", "the stream ends after the first byte of a shift record", SettingsFor(device), input);
  }
  {
    SimOptions device = Device(100, 1, 4);
    device.faults = {{FaultKind::kRepeatHeader, 2, 30, 0}};
    const Bytes full = Stream(device);
    const size_t header = NthMarker(full, voxa::sim::kHeaderMarker, 1);
    const Bytes input(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(header + 40));
    add("cut-in-header", "the stream ends 39 characters into a repeated header record", SettingsFor(device), input);
  }
  {
    // The device restarts: its boot messages come again, and the stream ends in one.
    const SimOptions device = Device(100, 1, 3);
    Bytes input = Stream(device);
    Append(input, BootRecord("VOXA boot v2"));
    const Bytes cut = BootRecord("GPS receiver found");
    input.insert(input.end(), cut.begin(), cut.begin() + 8);
    add("cut-in-boot", "boot messages after the stream; it ends inside one", SettingsFor(device), input);
  }

  // Clock crossings and long screens.
  {
    SimOptions device = Device(100, 1, 6);
    device.start = {2026, 6, 30, 23, 59, 57};
    add("midnight", "the GPS clock crosses midnight at the end of a month", SettingsFor(device), Stream(device));
    device.start = {2025, 12, 31, 23, 59, 56};
    add("new-year", "the GPS clock crosses New Year", SettingsFor(device), Stream(device));
  }
  {
    const SimOptions device = Device(50, 1, 100);
    Settings s = SettingsFor(device);
    s.screenSeconds = 90;
    s.plotWidth = 600;
    add("long-screen-50sps", "a 90-second screen at 50 sps, 1 channel", s, Stream(device));
  }

  // Bytes that are not a good stream.
  {
    // Markers only of unlisted kinds: nothing in it is a record the monitor reads.
    uint64_t state = 11;
    Bytes input;
    Append(input, std::string("VOXA?\r\n"));
    const uint8_t unlisted[] = {0xA5, 0xC0, 0xC7, 0xD3, 0xE1, 0xEE, 0xF3, 0xFD, 0xFF};
    for (int i = 0; i < 6000; ++i) {
      const uint64_t r = NextRandom(state);
      input.push_back(r % 5 == 0 ? unlisted[(r >> 8) % sizeof unlisted] : static_cast<uint8_t>((r >> 16) & 0x7F));
    }
    Settings s;
    s.chunk = 333;
    add("no-valid-record", "random bytes with markers of unlisted kinds only", s, input);

    state = 12;
    input.clear();
    for (int i = 0; i < 3000; ++i) input.push_back(static_cast<uint8_t>(NextRandom(state) & 0x7F));
    add("text-only", "bytes below 0x80 only: the device is never heard", s, input);
  }
  // Hostile input: what line noise or a confused device can send.
  {
    SimOptions device = Device(100, 3, 6);
    Bytes input = Stream(device);
    // A 0xF0 in line noise before the first write, and a bare one later.
    const Bytes noise = {voxa::sim::kHeaderMarker, 0x05, 0x61, 0x7F};
    input.insert(input.begin() + static_cast<std::ptrdiff_t>(NthMarker(input, voxa::sim::kBlockMarker, 20)),
                 noise.begin(), noise.end());
    input.insert(input.begin() + static_cast<std::ptrdiff_t>(SecondStart(input, 4)), voxa::sim::kHeaderMarker);
    add("hostile-stray-header", "0xF0 bytes in line noise, before the first write and later", SettingsFor(device),
        input);
  }
  {
    // The shift record right before a second mark loses its second byte,
    // later one loses both.
    SimOptions device = Device(100, 1, 6);
    device.gpsAfterBlocks = 100;
    Bytes input = Stream(device);
    input.erase(input.begin() + static_cast<std::ptrdiff_t>(NthMarker(input, voxa::sim::kShiftMarker, 2)) + 2);
    const auto shift = input.begin() + static_cast<std::ptrdiff_t>(NthMarker(input, voxa::sim::kShiftMarker, 4));
    input.erase(shift + 1, shift + 3);
    add("hostile-shift-marker", "shift records cut short by the next second mark", SettingsFor(device), input);
  }
  {
    // GPS records with valid checksums but fields out of range, and one with
    // sound fields but a wrong checksum.
    SimOptions device = Device(100, 1, 9);
    Bytes input = Stream(device);
    EditGpsRecord(input, 0, {{55, "13"}});
    EditGpsRecord(input, 2, {{53, "32"}});
    EditGpsRecord(input, 3, {{44, "99"}});
    EditGpsRecord(input, 4, {{46, "61"}});
    EditGpsRecord(input, 5, {{48, "1a"}});
    EditGpsRecord(input, 6, {{5, "9999x"}});
    EditGpsRecord(input, 7, {{61, " 8"}, {64, "-1"}});
    const size_t checksum = NthMarker(input, voxa::sim::kGpsMarker, 1) + 74;
    input[checksum] = input[checksum] == '0' ? '1' : '0';
    add("hostile-gps-fields", "GPS records with valid checksums and bad fields, one with a wrong checksum",
        SettingsFor(device), input);
  }
  {
    SimOptions device = Device(100, 1, 4);
    device.headerOverride = HeaderText("V2.07", "015", "16", "1", "99999");
    add("hostile-header-rate", "a device header with S_RATE=99999; the device sends 100 sps", SettingsFor(device),
        Stream(device));
  }
  configCase("config-rate-garbage", "a config.txt with S_RATE=1 and S_RATE=100abc and no gain or channels",
             "S_RATE=1\nS_RATE=100abc\n");
  {
    const SimOptions device = Device(100, 3, 6);
    const Bytes good = Stream(device);
    uint64_t state = 13;
    // Replace, drop or insert bytes at random places after the start records.
    const size_t from = SecondStart(good, 0);
    Bytes input(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(from));
    for (size_t i = from; i < good.size(); ++i) {
      const uint64_t r = NextRandom(state);
      if (r % 97 != 0) {
        input.push_back(good[i]);
        continue;
      }
      switch ((r >> 8) % 3) {
        case 0: input.push_back(static_cast<uint8_t>(r >> 16)); break;  // replaced
        case 1: break;                                                  // lost
        default:                                                        // inserted
          input.push_back(static_cast<uint8_t>(r >> 24));
          input.push_back(good[i]);
          break;
      }
    }
    Settings s = SettingsFor(device);
    s.chunk = 1500;
    add("line-noise", "a good stream with about one byte in a hundred replaced, lost or inserted at random", s,
        input);
  }
  return cases;
}

// The streams of the end-to-end test, which keeps its own settings in code.
struct StoredStream {
  std::string folder;
  Bytes input;
};

std::vector<StoredStream> EndToEndStreams() {
  auto device = [] {
    SimOptions o = Device(100, 1, 12);
    o.start = {2026, 3, 7, 23, 59, 52};
    return o;
  };
  std::vector<StoredStream> streams;
  SimOptions faults = device();
  faults.faults = {
      {FaultKind::kDropByte, 3, 5, 0},       {FaultKind::kExtraByte, 4, 7, 0},
      {FaultKind::kBrokenGps, 5, 0, 0},      {FaultKind::kMissingMark, 6, 0, 0},
      {FaultKind::kUnlistedRecord, 7, 3, 0}, {FaultKind::kBlockCount, 9, 0, 150},
  };
  streams.push_back({"faults", Stream(faults)});
  SimOptions noHeader = device();
  noHeader.sendHeader = false;
  noHeader.start = {2026, 11, 2, 8, 15, 30};
  streams.push_back({"no-header", Stream(noHeader)});
  SimOptions lateGps = device();
  lateGps.start = {2026, 11, 2, 8, 15, 30};
  lateGps.withholdGpsSeconds = 10;
  lateGps.durationSeconds = 45;
  streams.push_back({"late-gps", Stream(lateGps)});
  SimOptions noGps = device();
  noGps.sendHeader = false;
  noGps.withholdGpsSeconds = 100;
  streams.push_back({"no-gps", Stream(noGps)});
  return streams;
}

// --- Writing ---------------------------------------------------------------------------

void WriteFile(const fs::path& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string CaseText(const Case& c) {
  const Settings& s = c.settings;
  std::string text = "# " + c.about + "\n";
  auto line = [&text](const std::string& key, const std::string& value) { text += key + "=" + value + "\n"; };
  line("rate", std::to_string(s.rate));
  line("channels", std::to_string(s.channels));
  line("gain", std::to_string(s.gain));
  line("screen_seconds", std::to_string(s.screenSeconds));
  line("save_stream", std::to_string(s.saveStream));
  line("save_errors", std::to_string(s.saveErrors));
  line("save_shift", std::to_string(s.saveShift));
  line("ext_header", std::to_string(s.extHeader));
  line("high_pass", std::to_string(s.highPass));
  line("auto_scale", std::to_string(s.autoScale));
  line("reset_offset", std::to_string(s.resetOffset));
  line("chunk", std::to_string(s.chunk));
  line("start_clock", s.startClock);
  line("plot", std::to_string(s.plotWidth) + "x" + std::to_string(s.plotHeight));
  for (const std::string& action : s.actions) line("action", action);
  return text;
}

void WriteCase(const fs::path& folder, const Case& c) {
  fs::create_directories(folder);
  WriteFile(folder / "input.bin", c.input.data(), c.input.size());
  const std::string text = CaseText(c);
  WriteFile(folder / "case.txt", text.data(), text.size());
  if (c.config) {
    WriteFile(folder / "config.txt", c.config->data(), c.config->size());
  } else {
    fs::remove(folder / "config.txt");
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DATA_DIR [CASE...]\n  DATA_DIR is tests/data of the source tree\n", argv[0]);
    return 2;
  }
  const fs::path data(argv[1]);
  const std::set<std::string> only(argv + 2, argv + argc);
  try {
    const std::vector<Case> cases = Corpus();
    std::set<std::string> names;
    for (const Case& c : cases) {
      if (!names.insert(c.name).second) throw std::runtime_error("case named twice: " + c.name);
      if (!only.empty() && only.count(c.name) == 0) continue;
      WriteCase(data / "corpus" / c.name, c);
      std::printf("%-26s %8zu bytes\n", c.name.c_str(), c.input.size());
    }
    for (const StoredStream& s : EndToEndStreams()) {
      if (!only.empty() && only.count(s.folder) == 0) continue;
      fs::create_directories(data / s.folder);
      WriteFile(data / s.folder / "input.bin", s.input.data(), s.input.size());
      std::printf("%-26s %8zu bytes (end-to-end)\n", s.folder.c_str(), s.input.size());
    }
    // A folder that no case writes any more would keep being tested with stale inputs.
    if (fs::exists(data / "corpus")) {
      for (const auto& entry : fs::directory_iterator(data / "corpus")) {
        if (entry.is_directory() && names.count(entry.path().filename().string()) == 0) {
          std::fprintf(stderr, "warning: %s is not in the table; remove it or add it back\n",
                       entry.path().string().c_str());
        }
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_corpus: %s\n", e.what());
    return 1;
  }
  return 0;
}
