#include "device/device_settings.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <optional>
#include <string_view>
#include <vector>

#include "format/number_text.h"

namespace voxa {
namespace {

constexpr std::string_view kPrefix = "ZELK_V=V0.0xxx;DEV_NO=000;E_NAME=N/A;";
constexpr std::string_view kConfigSuffix =
    "S_TIME=11:11:00;S_DATE=11/11/11;D_VOLT=0;E_VOLT=0;B_VOLT=0;DAT_NO=000";
// What follows the three parameters in the built-in template.
constexpr std::string_view kTemplateTail =
    ";D_FILT=31;C_MODE=0;A_CHOP=1;F_TIME=30;GPS_TI=5;GPS_OF=0;A_FILT=0;A_PHAS=0;GPS_ON=0;"
    "ACQ_ON=0;PLL_XO=0;V_TCXO=0;GPS_PO=N/A;S_TIME=11:11:00;S_DATE=11/11/11;D_VOLT=0;E_VOLT=0;"
    "B_VOLT=0;DAT_NO=000";

constexpr std::array<std::string_view, 16> kConfigKeys = {
    "P_AMPL=", "CH_NUM=", "S_RATE=", "D_FILT=", "C_MODE=", "A_CHOP=", "F_TIME=", "GPS_TI=",
    "GPS_OF=", "A_FILT=", "A_PHAS=", "GPS_ON=", "ACQ_ON=", "PLL_XO=", "V_TCXO=", "GPS_PO="};

bool UsableChannelCount(int32_t value) { return value == 1 || value == 3; }
bool UsableGain(int32_t value) { return value >= 1; }

// A rate value as written: its digits, blanks around them allowed, and
// nothing else ("100abc" is no rate). Only the device's own rates are taken:
// any other would make every second look like a sample-rate error and move
// the recording's end time.
std::optional<int32_t> DeviceRate(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  text = text.substr(first, text.find_last_not_of(" \t") + 1 - first);
  if (text.size() > 4) return std::nullopt;
  int32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (!IsDeviceRate(value)) return std::nullopt;
  return value;
}

// A header record carries its settings as KEY=value items, each ended by
// ";". Line noise can hold a 0xF0 byte, which opens a "header record" of
// whatever follows it; a record with not one such item is not the device's.
bool IsKeyCharacter(uint8_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}
bool HasHeaderItem(Bytes text) {
  size_t itemStart = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != ';') continue;
    const Bytes item = text.subspan(itemStart, i - itemStart);
    size_t key = 0;
    while (key < item.size() && IsKeyCharacter(item[key])) ++key;
    if (key > 0 && key < item.size() && item[key] == '=') return true;
    itemStart = i + 1;
  }
  return false;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

DeviceSettings::DeviceSettings() { headerText_.reserve(kHeaderCapacity); }

void DeviceSettings::StartRun() {
  deviceNumber_ = "000";
  firmwareVersion_ = "n/a";
  deviceHeaderReceived_ = false;
}

void DeviceSettings::StoreHeaderText() {
  const size_t length = std::min(headerText_.size(), static_cast<size_t>(kHeaderCapacity));
  std::copy_n(headerText_.begin(), length, header_.begin());
  headerLength_ = static_cast<int32_t>(length);
}

void DeviceSettings::BuildDefaultHeader() {
  headerText_.assign(kPrefix);
  headerText_ += "P_AMPL=" + std::to_string(parameters_.gain);
  headerText_ += ";CH_NUM=" + std::to_string(parameters_.channels).substr(0, 1);
  headerText_ += ";S_RATE=" + std::to_string(parameters_.rate);
  headerText_ += kTemplateTail;
  StoreHeaderText();
}

void DeviceSettings::BuildHeaderFromConfig(const std::vector<std::string>& lines, Notes& notes) {
  headerText_.assign(kPrefix);
  // The suffix carries the start time that is filled in at STOP, so it must
  // always fit: items that would push it out of the header are left out.
  const size_t room = static_cast<size_t>(kHeaderCapacity) - kConfigSuffix.size();
  auto append = [&](const std::string& item) {
    if (headerText_.size() + item.size() > room) {
      notes.push_back("config.txt: " + Quoted(item.substr(0, 40)) + " left out, the header is full");
      return false;
    }
    headerText_ += item;
    return true;
  };

  DeviceParameters& p = parameters_;
  for (const std::string_view key : kConfigKeys) {
    // Gain, channel count and rate are the run's own: each is written once,
    // with the value the run uses (the last usable line, or the value in
    // force when no line gives one).
    bool matched = false;
    for (const std::string& line : lines) {
      if (line.size() < key.size() || std::string_view(line).substr(0, key.size()) != key) continue;
      matched = true;
      const std::string_view text = std::string_view(line).substr(key.size());
      if (key == "P_AMPL=") {
        const int32_t value = TextToInt(text);
        if (UsableGain(value)) {
          p.gain = value;
        } else {
          notes.push_back("config.txt: " + Quoted(line) + " is not a usable gain; gain " + std::to_string(p.gain) +
                          " kept");
        }
      } else if (key == "CH_NUM=") {
        const int32_t value = TextToInt(text);
        if (UsableChannelCount(value)) {
          p.channels = value;
        } else {
          notes.push_back("config.txt: " + Quoted(line) + " is not 1 or 3 channels; " +
                          std::to_string(p.channels) + " kept");
        }
      } else if (key == "S_RATE=") {
        if (const std::optional<int32_t> rate = DeviceRate(text)) {
          p.rate = *rate;
        } else {
          notes.push_back("config.txt: " + Quoted(line) + " is not a usable sample rate; " +
                          std::to_string(p.rate) + " sps kept");
        }
      } else {
        append(line + ";");
      }
    }
    if (key == "P_AMPL=") {
      append(std::string(key) + std::to_string(p.gain) + ";");
    } else if (key == "CH_NUM=") {
      append(std::string(key) + std::to_string(p.channels) + ";");
    } else if (key == "S_RATE=") {
      append(std::string(key) + std::to_string(p.rate) + ";");
    } else if (!matched) {
      append(std::string(key) + (key == "GPS_PO=" ? "N/A;" : "0;"));
    }
  }
  headerText_ += kConfigSuffix;
  StoreHeaderText();
}

bool DeviceSettings::LoadConfiguration(const std::string& path, bool loadExtHeader, Notes& notes) {
  std::ifstream file;
  if (loadExtHeader) file.open(path, std::ios::binary);
  if (!file.is_open()) {
    BuildDefaultHeader();
    return false;
  }

  std::vector<std::string> lines;
  int32_t ignored = 0;
  bool markerBytes = false;
  std::string line;
  while (std::getline(file, line)) {
    // CR LF and LF line ends alike.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Empty lines and comments carry nothing.
    if (line.empty() || line[0] == '*') continue;
    if (static_cast<int32_t>(lines.size()) >= kConfigLineCapacity) {
      ++ignored;
      continue;
    }
    // No line can be longer than the header it goes into.
    if (line.size() > static_cast<size_t>(kHeaderCapacity)) line.resize(kHeaderCapacity);
    // The header goes into the recording as a record's text: a byte of 0x80
    // or above (a UTF-8 degree sign in GPS_PO) would read as a marker there.
    for (char& c : line) {
      if (static_cast<unsigned char>(c) >= 0x80) {
        c = '?';
        markerBytes = true;
      }
    }
    lines.push_back(line);
  }
  if (markerBytes) notes.push_back("config.txt: bytes above 0x7F written as ?");
  if (ignored > 0) {
    notes.push_back("config.txt: only the first " + std::to_string(kConfigLineCapacity) + " items are read; " +
                    std::to_string(ignored) + " more ignored");
  }
  BuildHeaderFromConfig(lines, notes);
  return true;
}

bool DeviceSettings::ReplaceHeader(Bytes text, Notes& notes) {
  if (!HasHeaderItem(text.first(std::min(text.size(), static_cast<size_t>(kHeaderCapacity))))) {
    notes.push_back("Header: a record without KEY=value; items ignored");
    return false;
  }
  const size_t length = std::min(text.size(), static_cast<size_t>(kHeaderCapacity));
  std::copy_n(text.begin(), length, header_.begin());
  headerLength_ = static_cast<int32_t>(length);
  headerText_.assign(header_.begin(), header_.begin() + static_cast<std::ptrdiff_t>(length));
  deviceHeaderReceived_ = true;
  const std::string_view view(headerText_);

  // Position of the value of key, or npos when the key is missing or the text
  // ends where its value should begin.
  auto valueAt = [&](std::string_view key) -> size_t {
    const size_t p = view.find(key);
    if (p == std::string_view::npos || p + key.size() >= view.size()) {
      notes.push_back("Header: no " + std::string(key.substr(0, key.size() - 1)) + " value; previous value kept");
      return std::string_view::npos;
    }
    return p + key.size();
  };
  auto charAt = [&](size_t at) { return at < view.size() ? view[at] : ';'; };

  DeviceParameters& p = parameters_;
  if (const size_t v = valueAt("CH_NUM="); v != std::string_view::npos) {
    const int32_t value = TextToInt(view.substr(v, 1));
    if (UsableChannelCount(value)) {
      p.channels = value;
    } else {
      notes.push_back("Header: CH_NUM=" + std::string(view.substr(v, 1)) + " is not 1 or 3 channels; " +
                      std::to_string(p.channels) + " kept");
    }
  }
  if (const size_t v = valueAt("P_AMPL="); v != std::string_view::npos) {
    // One digit when a ";" follows it, else two.
    const size_t width = charAt(v + 1) == ';' ? 1 : 2;
    const int32_t value = TextToInt(view.substr(v, width));
    if (UsableGain(value)) {
      p.gain = value;
    } else {
      notes.push_back("Header: P_AMPL=" + std::string(view.substr(v, width)) + " is not a usable gain; " +
                      std::to_string(p.gain) + " kept");
    }
  }
  if (const size_t v = valueAt("S_RATE="); v != std::string_view::npos) {
    // The whole value up to its ";": "S_RATE=1000;" is no rate, not 100.
    const size_t end = view.find(';', v);
    const std::string_view value = view.substr(v, end == std::string_view::npos ? view.size() - v : end - v);
    if (const std::optional<int32_t> rate = DeviceRate(value)) {
      p.rate = *rate;
    } else {
      notes.push_back("Header: S_RATE=" + std::string(value.substr(0, 10)) + " is not a usable sample rate; " +
                      std::to_string(p.rate) + " sps kept");
    }
  }
  if (const size_t v = valueAt("DEV_NO="); v != std::string_view::npos) {
    deviceNumber_.assign(view.substr(v, 3));
  }
  if (const size_t v = valueAt("ZELK_V="); v != std::string_view::npos) {
    const size_t end = view.find(';', v);
    const size_t width = std::min<size_t>(end == std::string_view::npos ? view.size() - v : end - v, 10);
    firmwareVersion_.assign(view.substr(v, width));
  }
  return true;
}

}  // namespace voxa
