// The stored corpus: whole runs of the core on stored device streams, each
// compared byte for byte with the outputs it gave when it was stored. It pins
// what the program does today, so a change that should not alter any output
// (a restructuring of the core) can show that it alters none.
//
// A case is a folder tests/data/corpus/<case>/ holding its inputs
//   input.bin   every byte the device sent, the text before its first marker included;
//   case.txt    the run's settings, one key=value a line ("#" starts a comment line),
//               every key below present:
//                 rate, channels, gain   the window's parameters before START
//                 screen_seconds         seconds across one screen, as --screen-seconds sets it
//                 save_stream, save_errors, save_shift, ext_header, high_pass,
//                 auto_scale, reset_offset
//                                        the check boxes at START, 0 or 1, set in the order
//                                        the command line sets them (so high_pass=1 unticks
//                                        "RST Offset" whatever reset_offset says)
//                 chunk                  bytes per read from the port (one Feed call each)
//                 start_clock            the computer's clock at START, YYYY-MM-DD hh:mm:ss
//                 plot                   the plot area WxH at START; the plot surface (the
//                                        screen in the program) is kRasterMargin pixels wider
//                                        and higher, so drawing past the plot area shows
//                 action=<offset> <what> any number, in offset order: once the first <offset>
//                                        bytes of input.bin have been read, and before the
//                                        next, what the window's handler does: zoom-in,
//                                        zoom-out, amp-up, amp-down, high-pass-on,
//                                        high-pass-off, offset-on, offset-off (clicks on the
//                                        "High Pass" and "RST Offset" boxes; a click that
//                                        would not change a box, or one on the disabled
//                                        "RST Offset", does nothing), or resize WxH (the
//                                        window's size with its frame, as FormResize passes it)
//   config.txt  read at START when ext_header=1; without it the run goes as with a
//               missing file
// and the outputs the run gave, beside them:
//   view.txt    what the window shows at the end of the input (before STOP puts up its own
//               status text), one key=value a line in a fixed order: every label, the status
//               text and colour, how often the boot window was shown and the main window
//               raised, the boot-window lines, the device-header updates and the device
//               number, version, rate, channels and gain the window shows, the counters, the
//               files left in the run's directory, an FNV-1a 64-bit hash of the plot
//               surface's pixels, and how often the stream rested after a header record;
//               bytes below 0x20 or above 0x7E and "\" are written as \xNN
//   error.csv, shift.csv         when saved
//   recording.bin, name.txt      when the stream is saved (the recording under whatever
//                                name it got, and that name)
//
// Every case is also run with the input fed one byte at a time (same actions):
// every output but the rest count must be the same. (A header record whose end
// is the last byte of a read asks for no rest, so the count depends on the reads.)
// The run in chunks also syncs the outputs after every read, as the program
// does twice a second wherever the stream stands; the run byte by byte never
// does. So the finished files cannot depend on when the outputs were synced.
//
// Adding a case: add it to the table in tests/corpus/make_corpus.cpp, then
//   cmake --build build --target make_corpus core_tests
//   build/tests/make_corpus tests/data <case>             # writes its inputs
//   VOXA_UPDATE_GOLDEN=1 build/tests/core_tests --gtest_filter='Stored/*/<case>'
// (in the test's name every character of <case> but letters and digits is
// "_") and read the new outputs before committing them. A case may also be
// written by hand: any bytes in input.bin, any settings in case.txt. `make_corpus tests/data`
// without names writes every case's inputs again (and the end-to-end test's
// streams); with an unchanged simulator that changes no byte. The test itself
// never writes inputs. VOXA_UPDATE_GOLDEN=1 rewrites every expected output
// from today's code: after a change that must not alter outputs, never use it,
// read the failures instead. A missing expected file is a failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "analysis/raster.h"
#include "app/window_geometry.h"
#include "pipeline/run_pipeline.h"
#include "whole_run_support.h"

namespace voxa::test {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpusDir = fs::path(VOXA_TEST_DATA_DIR) / "corpus";

// The plot surface is the plot area plus this many pixels to the right and below.
constexpr int kRasterMargin = 40;

// --- A case's settings and outputs (plain values, no core types) -------------------

struct Action {
  size_t offset = 0;
  std::string what;  // zoom-in, zoom-out, amp-up, amp-down, high-pass-on, ..., resize
  int width = 0, height = 0;  // resize only
};

struct CaseSettings {
  int rate = 0, channels = 0, gain = 0, screenSeconds = 0;
  bool saveStream = false, saveErrors = false, saveShift = false, extHeader = false;
  bool highPass = false, autoScale = false, resetOffset = false;
  size_t chunk = 0;
  bool syncEveryRead = false;  // the outputs synced after every read, not only at STOP
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;  // start_clock
  int plotWidth = 0, plotHeight = 0;
  std::vector<Action> actions;
};

struct CaseOutputs {
  std::map<std::string, std::vector<uint8_t>> files;       // error.csv, ... as saved
  std::vector<std::pair<std::string, std::string>> view;   // view.txt without the rests
  int rests = 0;
};

// --- Running a case ---------------------------------------------------------------------
// Everything that touches the core is in this section; a change of the core's
// API rewrites RunCase and nothing else.

const char* LabelName(Label label) {
  static const char* const names[] = {"BlockErrors", "SecErrors", "SpsErrors", "GpsClock", "Sats",   "Temp",
                                      "Shift",       "Noise1",    "Noise2",    "Noise3",   "Volt1",  "Volt2",
                                      "Volt3",       "Offset1",   "Offset2",   "Offset3"};
  return names[static_cast<int>(label)];
}
constexpr int kLabelCount = 16;

const char* ColourName(StatusColour colour) {
  switch (colour) {
    case StatusColour::Standard: return "Standard";
    case StatusColour::Yellow: return "Yellow";
    case StatusColour::Aqua: return "Aqua";
    case StatusColour::Silver: return "Silver";
    case StatusColour::Lime: return "Lime";
    case StatusColour::Red: return "Red";
  }
  return "?";
}

// The window as far as the run shows on it: labels, status, boot window and
// the parameter read-outs, initially the window's own parameters.
class WindowHost : public Host {
 public:
  explicit WindowHost(const CaseSettings& s) : rate(s.rate), channels(s.channels), gain(s.gain) {
    // The captions the labels have before anything is shown in them.
    for (int i = 0; i < kLabelCount; ++i) labels[static_cast<Label>(i)] = "";
    labels[Label::Sats] = "00";
    for (Label label : {Label::BlockErrors, Label::SecErrors, Label::SpsErrors}) labels[label] = "0";
  }
  void ShowLabel(Label label, std::string_view text) override { labels[label] = std::string(text); }
  void ShowStatus(std::string_view text, StatusColour colour) override {
    status = std::string(text);
    statusColour = colour;
  }
  void ShowDeviceHeader(const DeviceSettings& device) override {
    ++deviceHeaders;
    ShowDevice(device);
  }
  void ShowBootWindow() override { ++bootWindowShown; }
  void AppendBootLine(std::string_view line) override { bootLines.emplace_back(line); }
  void RaiseMainWindow() override { ++mainRaised; }
  void Repaint() override {}

  // As the window's read-outs and buttons show the device: a gain or rate no
  // button offers leaves the previous button selected.
  void ShowDevice(const DeviceSettings& device) {
    number = device.DeviceNumber();
    version = device.FirmwareVersion();
    const DeviceParameters& p = device.Parameters();
    if (p.channels == 1 || p.channels == 3) channels = p.channels;
    for (int g : {1, 2, 4, 8, 16, 32, 64}) {
      if (g == p.gain) gain = g;
    }
    for (int r : {50, 100, 200, 400, 800}) {
      if (r == p.rate) rate = r;
    }
  }

  std::map<Label, std::string> labels;
  std::string status;
  StatusColour statusColour = StatusColour::Standard;
  std::vector<std::string> bootLines;
  int deviceHeaders = 0, bootWindowShown = 0, mainRaised = 0;
  std::string number = "000", version;
  int rate, channels, gain;
};

std::vector<uint8_t> FileOrEmpty(const fs::path& path) {
  return fs::exists(path) ? ReadFileBytes(path.string()) : std::vector<uint8_t>();
}

uint64_t Fnv1a64(const Raster& raster) {
  uint64_t hash = 0xCBF29CE484222325ULL;
  const uint32_t* pixels = raster.Data();
  const size_t count = static_cast<size_t>(raster.Width()) * static_cast<size_t>(raster.Height());
  for (size_t i = 0; i < count; ++i) {
    for (int shift = 0; shift < 32; shift += 8) {
      hash ^= (pixels[i] >> shift) & 0xFFu;
      hash *= 0x100000001B3ULL;
    }
  }
  return hash;
}

// One run as the run controller makes it (RunController's start-up, Start,
// ContinueStart, Connect2Voxa, Take, Deliver, EndRun), with the window's
// clicks on its controls.
CaseOutputs RunCase(const CaseSettings& s, const std::vector<uint8_t>& input, const std::string& configPath) {
  ScratchDir dir;
  WindowHost host(s);
  Raster raster(s.plotWidth + kRasterMargin, s.plotHeight + kRasterMargin);
  RunPipeline pipeline(host, raster);

  // Program start: the command line's choices ("High Pass" takes "RST Offset"
  // over), the parameters, and the plot size as the window is placed.
  MonitorOptions options;
  options.parameters = {s.rate, s.channels, s.gain};
  options.screenSeconds = s.screenSeconds;
  RunOptions& run = options.run;
  run.saveStream = s.saveStream;
  run.saveErrorList = s.saveErrors;
  run.saveShift = s.saveShift;
  run.loadExtHeader = s.extHeader;
  run.autoScale = s.autoScale;
  run.resetOffset = s.resetOffset && !s.highPass;
  run.highPass = s.highPass;
  pipeline.Configure(options);
  pipeline.ResizePlot(s.plotWidth, s.plotHeight);
  const int32_t plotMinWidth = s.plotWidth - 10;
  bool running = false;
  // Clicks on "High Pass" and on "RST Offset" (disabled while the filter is on).
  const auto clickFilter = [&](bool tick) {
    if (tick == run.highPass) return;
    run.highPass = tick;
    run.resetOffset = !tick;
    pipeline.SetHighPass(tick, running);
    pipeline.SetResetOffset(run.resetOffset);
  };
  const auto clickOffset = [&](bool tick) {
    if (run.highPass || tick == run.resetOffset) return;
    run.resetOffset = tick;
    pipeline.SetResetOffset(tick);
  };

  // START.
  running = true;
  host.ShowStatus("", StatusColour::Standard);
  host.ShowLabel(Label::GpsClock, "");
  host.ShowLabel(Label::Shift, "");
  for (Label label : {Label::BlockErrors, Label::SecErrors, Label::SpsErrors}) host.ShowLabel(label, "0");
  for (int channel = 0; channel < kMaxChannels; ++channel) {
    host.ShowLabel(NoiseLabel(channel), "");
    host.ShowLabel(VoltLabel(channel), "");
    host.ShowLabel(OffsetLabel(channel), "");
  }
  if (pipeline.StartRun(run, configPath)) {
    host.ShowDevice(pipeline.Device());
  } else if (run.loadExtHeader) {
    host.ShowStatus(" Ext. Header File missed; Screen Params loaded ", StatusColour::Red);
  }
  pipeline.Arm({s.year, s.month, s.day, s.hour, s.minute, s.second});
  host.ShowStatus("  waiting for VOXA... ", StatusColour::Silver);
  const OutputFailures failures = pipeline.OpenOutputs(OutputPaths::In(dir.Path()));
  EXPECT_FALSE(failures.errorList || failures.shiftList || failures.stream);
  if (!failures.keptUnfinished.empty()) {
    host.AppendBootLine(std::string("Unfinished recording ") + kWorkingRecordingName + " kept as " +
                        failures.keptUnfinished);
  }

  // Receiving: reads of `chunk` bytes, split again where an action falls.
  bool streaming = false;
  int rests = 0;
  const auto take = [&](const uint8_t* data, size_t count) {
    size_t next = 0;
    if (!streaming) {
      // Before the first marker: dropped, neither recorded nor counted.
      while (next < count && data[next] < kMarkerBlock) ++next;
      if (next == count) return;
      host.ShowStatus("  Connected to VOXA ... ", StatusColour::Yellow);
      pipeline.StartStream(data[next++]);
      streaming = true;
    }
    while (next < count) {
      const size_t taken = pipeline.Feed(data + next, count - next);
      if (taken < count - next) ++rests;  // the rest's length does not matter here
      next += taken;
    }
    if (s.syncEveryRead) pipeline.SyncOutputs();
  };
  const auto act = [&](const Action& action) {
    if (action.what == "zoom-in") pipeline.ZoomIn();
    else if (action.what == "zoom-out") pipeline.ZoomOut();
    else if (action.what == "amp-up") pipeline.IncreaseAmplitude();
    else if (action.what == "amp-down") pipeline.DecreaseAmplitude();
    else if (action.what == "high-pass-on") clickFilter(true);
    else if (action.what == "high-pass-off") clickFilter(false);
    else if (action.what == "offset-on") clickOffset(true);
    else if (action.what == "offset-off") clickOffset(false);
    else if (action.what == "resize") {
      const PlotSize plot = PlotSizeForWindow(action.width, action.height, plotMinWidth);
      pipeline.ResizePlot(plot.width, plot.height);
    }
  };
  size_t at = 0;
  size_t nextAction = 0;
  for (;;) {
    while (nextAction < s.actions.size() && s.actions[nextAction].offset <= at) act(s.actions[nextAction++]);
    if (at == input.size()) break;
    size_t end = std::min(at + s.chunk, input.size());
    if (nextAction < s.actions.size()) end = std::min(end, s.actions[nextAction].offset);
    take(input.data() + at, end - at);
    at = end;
  }
  const std::string status = host.status;
  const StatusColour statusColour = host.statusColour;

  // STOP.
  if (streaming) pipeline.Finish();
  pipeline.CloseOutputs();
  const std::string name = pipeline.SavedRecording();

  CaseOutputs out;
  if (s.saveErrors) out.files["error.csv"] = FileOrEmpty(fs::path(dir.Path()) / "error.csv");
  if (s.saveShift) out.files["shift.csv"] = FileOrEmpty(fs::path(dir.Path()) / "shift.csv");
  if (s.saveStream) {
    // Without a first marker the recording stays behind, empty, under its working name.
    out.files["recording.bin"] = FileOrEmpty(fs::path(dir.Path()) / (name.empty() ? kWorkingRecordingName : name));
    const std::string line = name + "\n";
    out.files["name.txt"].assign(line.begin(), line.end());
  }

  auto& v = out.view;
  for (int i = 0; i < kLabelCount; ++i) {
    const Label label = static_cast<Label>(i);
    v.emplace_back(std::string("label.") + LabelName(label), host.labels[label]);
  }
  v.emplace_back("status", status);
  v.emplace_back("status.colour", ColourName(statusColour));
  v.emplace_back("boot.shown", std::to_string(host.bootWindowShown));
  v.emplace_back("main.raised", std::to_string(host.mainRaised));
  for (const std::string& line : host.bootLines) v.emplace_back("boot", line);
  v.emplace_back("device.headers", std::to_string(host.deviceHeaders));
  v.emplace_back("device.number", host.number);
  v.emplace_back("device.version", host.version);
  v.emplace_back("device.rate", std::to_string(host.rate));
  v.emplace_back("device.channels", std::to_string(host.channels));
  v.emplace_back("device.gain", std::to_string(host.gain));
  const BlockStatistics& statistics = pipeline.Statistics();
  v.emplace_back("counter.GoodBlocks", std::to_string(statistics.GoodBlocks()));
  v.emplace_back("counter.BlockErrors", std::to_string(statistics.BlockErrors()));
  v.emplace_back("counter.SecErrors", std::to_string(statistics.SecondErrors()));
  v.emplace_back("counter.SpsErrors", std::to_string(statistics.RateErrors()));
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(dir.Path())) files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  std::string list;
  for (const std::string& file : files) list += (list.empty() ? "" : " ") + file;
  v.emplace_back("files", list);
  v.emplace_back("raster", std::to_string(raster.Width()) + "x" + std::to_string(raster.Height()));
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a64(raster)));
  v.emplace_back("raster.fnv1a64", hash);
  out.rests = rests;
  return out;
}

// --- Case files ---------------------------------------------------------------------

std::vector<uint8_t> ReadOrThrow(const fs::path& path) {
  if (!fs::exists(path)) throw std::runtime_error("missing " + path.string());
  return ReadFileBytes(path.string());
}

int ToInt(const std::string& key, const std::string& text) {
  size_t used = 0;
  int value = 0;
  try {
    value = std::stoi(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size()) throw std::runtime_error(key + ": not a number: " + text);
  return value;
}

bool ToFlag(const std::string& key, const std::string& text) {
  if (text != "0" && text != "1") throw std::runtime_error(key + ": 0 or 1 expected, not " + text);
  return text == "1";
}

std::pair<int, int> ToSize(const std::string& key, const std::string& text) {
  const size_t x = text.find('x');
  if (x == std::string::npos) throw std::runtime_error(key + ": WxH expected, not " + text);
  return {ToInt(key, text.substr(0, x)), ToInt(key, text.substr(x + 1))};
}

Action ToAction(const std::string& text, size_t inputSize) {
  std::istringstream in(text);
  std::string offset, what, size, more;
  in >> offset >> what >> size >> more;
  Action action;
  action.offset = static_cast<size_t>(ToInt("action", offset));
  action.what = what;
  static const char* const simple[] = {"zoom-in",      "zoom-out",      "amp-up",    "amp-down",
                                       "high-pass-on", "high-pass-off", "offset-on", "offset-off"};
  const bool isSimple = std::find(std::begin(simple), std::end(simple), what) != std::end(simple);
  if (what == "resize" && !size.empty() && more.empty()) {
    std::tie(action.width, action.height) = ToSize("action", size);
  } else if (!isSimple || !size.empty()) {
    throw std::runtime_error("action: unknown: " + text);
  }
  if (action.offset > inputSize) throw std::runtime_error("action: offset past the input: " + text);
  return action;
}

CaseSettings ReadSettings(const fs::path& path, size_t inputSize) {
  const std::vector<uint8_t> bytes = ReadOrThrow(path);
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  std::map<std::string, std::string> values;
  CaseSettings s;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) throw std::runtime_error("case.txt: not key=value: " + line);
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "action") {
      s.actions.push_back(ToAction(value, inputSize));
      if (s.actions.size() > 1 && s.actions.back().offset < s.actions[s.actions.size() - 2].offset) {
        throw std::runtime_error("case.txt: actions out of offset order");
      }
    } else if (!values.emplace(key, value).second) {
      throw std::runtime_error("case.txt: " + key + " twice");
    }
  }
  auto take = [&values](const std::string& key) {
    const auto it = values.find(key);
    if (it == values.end()) throw std::runtime_error("case.txt: no " + key);
    std::string value = it->second;
    values.erase(it);
    return value;
  };
  s.rate = ToInt("rate", take("rate"));
  s.channels = ToInt("channels", take("channels"));
  s.gain = ToInt("gain", take("gain"));
  s.screenSeconds = ToInt("screen_seconds", take("screen_seconds"));
  s.saveStream = ToFlag("save_stream", take("save_stream"));
  s.saveErrors = ToFlag("save_errors", take("save_errors"));
  s.saveShift = ToFlag("save_shift", take("save_shift"));
  s.extHeader = ToFlag("ext_header", take("ext_header"));
  s.highPass = ToFlag("high_pass", take("high_pass"));
  s.autoScale = ToFlag("auto_scale", take("auto_scale"));
  s.resetOffset = ToFlag("reset_offset", take("reset_offset"));
  const int chunk = ToInt("chunk", take("chunk"));
  if (chunk < 1) throw std::runtime_error("case.txt: chunk must be at least 1");
  s.chunk = static_cast<size_t>(chunk);
  const std::string clock = take("start_clock");
  char tail = 0;
  if (std::sscanf(clock.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &s.year, &s.month, &s.day, &s.hour, &s.minute,
                  &s.second, &tail) != 6) {
    throw std::runtime_error("case.txt: start_clock not YYYY-MM-DD hh:mm:ss: " + clock);
  }
  std::tie(s.plotWidth, s.plotHeight) = ToSize("plot", take("plot"));
  if (!values.empty()) throw std::runtime_error("case.txt: unknown key " + values.begin()->first);
  return s;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7E || c == '\\') {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

std::map<std::string, std::vector<uint8_t>> OutputFiles(const CaseOutputs& outputs) {
  std::map<std::string, std::vector<uint8_t>> files = outputs.files;
  std::string view;
  for (const auto& [key, value] : outputs.view) view += key + "=" + Escaped(value) + "\n";
  view += "rests=" + std::to_string(outputs.rests) + "\n";
  files["view.txt"].assign(view.begin(), view.end());
  return files;
}

const char* const kOutputNames[] = {"view.txt", "error.csv", "shift.csv", "recording.bin", "name.txt"};

// Where two outputs first differ, for the failure message.
std::string FirstDifference(const std::string& name, const std::vector<uint8_t>& expected,
                            const std::vector<uint8_t>& actual) {
  const size_t n = std::min(expected.size(), actual.size());
  const size_t at = static_cast<size_t>(std::mismatch(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(n),
                                                      actual.begin()).first -
                                        expected.begin());
  std::ostringstream message;
  message << name << ": " << actual.size() << " bytes, expected " << expected.size() << "; first difference at byte "
          << at;
  if (name.ends_with(".txt") || name.ends_with(".csv")) {
    // The whole line on both sides.
    const auto lineOf = [at](const std::vector<uint8_t>& bytes) {
      size_t begin = std::min(at, bytes.size());
      while (begin > 0 && bytes[begin - 1] != '\n') --begin;
      size_t end = begin;
      while (end < bytes.size() && bytes[end] != '\n') ++end;
      return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(begin), bytes.begin() + static_cast<std::ptrdiff_t>(end));
    };
    message << "\n  expected: " << lineOf(expected) << "\n  actual:   " << lineOf(actual);
  }
  return message.str();
}

// --- The tests ----------------------------------------------------------------------------

std::vector<std::string> CaseNames() {
  std::vector<std::string> names;
  if (fs::is_directory(kCorpusDir)) {
    for (const auto& entry : fs::directory_iterator(kCorpusDir)) {
      if (entry.is_directory()) names.push_back(entry.path().filename().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

class CorpusCase : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusCase, GivesTheStoredOutputsInChunksAndByteByByte) {
  const fs::path folder = kCorpusDir / GetParam();
  std::vector<uint8_t> input;
  CaseSettings settings;
  try {
    input = ReadOrThrow(folder / "input.bin");
    settings = ReadSettings(folder / "case.txt", input.size());
  } catch (const std::exception& e) {
    FAIL() << GetParam() << ": " << e.what();
  }
  const std::string config = (folder / "config.txt").string();

  settings.syncEveryRead = true;
  const CaseOutputs outputs = RunCase(settings, input, config);
  const std::map<std::string, std::vector<uint8_t>> files = OutputFiles(outputs);
  const bool update = std::getenv("VOXA_UPDATE_GOLDEN") != nullptr;
  for (const char* name : kOutputNames) {
    const fs::path path = folder / name;
    const auto produced = files.find(name);
    if (update) {
      if (produced == files.end()) {
        fs::remove(path);
      } else {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(produced->second.data()),
                   static_cast<std::streamsize>(produced->second.size()));
      }
      continue;
    }
    if (produced == files.end()) {
      EXPECT_FALSE(fs::exists(path)) << path << " is stored, but the case saves no such file";
      continue;
    }
    if (!fs::exists(path)) {
      ADD_FAILURE() << "missing expected file " << path << " (VOXA_UPDATE_GOLDEN=1 writes it)";
      continue;
    }
    const std::vector<uint8_t> expected = ReadFileBytes(path.string());
    EXPECT_TRUE(expected == produced->second) << FirstDifference(path.string(), expected, produced->second);
  }

  // The split of the stream into reads must not matter.
  CaseSettings byteByByte = settings;
  byteByByte.chunk = 1;
  byteByByte.syncEveryRead = false;
  const CaseOutputs single = RunCase(byteByByte, input, config);
  EXPECT_EQ(single.view, outputs.view) << "fed byte by byte, the window shows something else";
  for (const auto& [name, bytes] : outputs.files) {
    const auto other = single.files.find(name);
    ASSERT_NE(other, single.files.end()) << name << " is not saved when fed byte by byte";
    EXPECT_TRUE(other->second == bytes) << "fed byte by byte, " << FirstDifference(name, bytes, other->second);
  }
  EXPECT_EQ(single.files.size(), outputs.files.size());
}

INSTANTIATE_TEST_SUITE_P(Stored, CorpusCase, ::testing::ValuesIn(CaseNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace voxa::test
