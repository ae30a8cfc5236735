#include "stream/header.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <string_view>

#include "stream/number_text.h"

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
// A rate must be positive and one second of it must fit the sample buffer.
bool UsableRate(int32_t value, int32_t channels) {
  return value >= 1 && int64_t{value} * std::max(channels, 1) <= kSampleSlots;
}

void StoreHeader(Acquisition& a) {
  const size_t length = std::min(a.HeaderText.size(), static_cast<size_t>(kHeaderCapacity));
  std::copy_n(a.HeaderText.begin(), length, a.HeaderBuffer.begin());
  a.HeaderLength = static_cast<int32_t>(length);
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

void BuildDefaultHeader(Acquisition& a) {
  a.HeaderText.assign(kPrefix);
  a.HeaderText += "P_AMPL=" + std::to_string(a.Gain);
  a.HeaderText += ";CH_NUM=" + std::to_string(a.ChannelCount).substr(0, 1);
  a.HeaderText += ";S_RATE=" + std::to_string(a.SampleRate);
  a.HeaderText += kTemplateTail;
  StoreHeader(a);
}

void BuildHeaderFromConfig(Acquisition& a, Host& host) {
  a.HeaderText.assign(kPrefix);
  // The suffix carries the start time that is filled in at STOP, so it must
  // always fit: items that would push it out of the header are left out.
  const size_t room = static_cast<size_t>(kHeaderCapacity) - kConfigSuffix.size();
  auto append = [&](const std::string& item) {
    if (a.HeaderText.size() + item.size() > room) {
      host.AppendBootLine("config.txt: " + Quoted(item.substr(0, 40)) + " left out, the header is full");
      return false;
    }
    a.HeaderText += item;
    return true;
  };

  for (const std::string_view key : kConfigKeys) {
    bool matched = false;
    for (int32_t i = 0; i < a.ConfigLineCount; ++i) {
      const std::string& line = a.ConfigLines[static_cast<size_t>(i)];
      if (line.size() < key.size() || std::string_view(line).substr(0, key.size()) != key) continue;
      matched = true;
      std::string item = line;
      const int32_t value = TextToInt(std::string_view(line).substr(key.size()));
      if (key == "P_AMPL=") {
        if (UsableGain(value)) {
          a.Gain = value;
        } else {
          item = std::string(key) + std::to_string(a.Gain);
          host.AppendBootLine("config.txt: " + Quoted(line) + " is not a usable gain; gain " +
                              std::to_string(a.Gain) + " kept");
        }
      } else if (key == "CH_NUM=") {
        if (UsableChannelCount(value)) {
          a.ChannelCount = value;
        } else {
          item = std::string(key) + std::to_string(a.ChannelCount);
          host.AppendBootLine("config.txt: " + Quoted(line) + " is not 1 or 3 channels; " +
                              std::to_string(a.ChannelCount) + " kept");
        }
      } else if (key == "S_RATE=") {
        if (UsableRate(value, a.ChannelCount)) {
          a.SampleRate = value;
        } else {
          item = std::string(key) + std::to_string(a.SampleRate);
          host.AppendBootLine("config.txt: " + Quoted(line) + " is not a usable sample rate; " +
                              std::to_string(a.SampleRate) + " sps kept");
        }
      }
      append(item + ";");
    }
    if (!matched) append(std::string(key) + (key == "GPS_PO=" ? "N/A;" : "0;"));
  }
  a.BlockSize = 4 * a.ChannelCount;
  a.HeaderText += kConfigSuffix;
  StoreHeader(a);
}

void LoadConfiguration(Acquisition& a, const std::string& path, Host& host) {
  std::ifstream file;
  if (a.LoadExtHeader) {
    file.open(path, std::ios::binary);
    if (file.is_open()) a.ExtHeaderLoaded = true;
  }
  if (!a.ExtHeaderLoaded) {
    BuildDefaultHeader(a);
    RestoreScreenCapacity(a);
    return;
  }

  a.ConfigLineCount = 0;
  int32_t ignored = 0;
  std::string line;
  while (std::getline(file, line)) {
    // CR LF and LF line ends alike.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Empty lines and comments carry nothing.
    if (line.empty() || line[0] == '*') continue;
    if (a.ConfigLineCount >= kConfigLineCapacity) {
      ++ignored;
      continue;
    }
    // No line can be longer than the header it goes into.
    if (line.size() > static_cast<size_t>(kHeaderCapacity)) line.resize(kHeaderCapacity);
    a.ConfigLines[static_cast<size_t>(a.ConfigLineCount++)] = line;
  }
  if (ignored > 0) {
    host.AppendBootLine("config.txt: only the first " + std::to_string(kConfigLineCapacity) + " items are read; " +
                        std::to_string(ignored) + " more ignored");
  }
  BuildHeaderFromConfig(a, host);
  RestoreScreenCapacity(a);
}

void ParseHeader(Acquisition& a, Host& host) {
  const size_t length = static_cast<size_t>(std::clamp(a.HeaderLength, 0, kHeaderCapacity));
  a.HeaderText.assign(a.HeaderBuffer.begin(), a.HeaderBuffer.begin() + static_cast<std::ptrdiff_t>(length));
  const std::string_view text(a.HeaderText);

  // Position of the value of key, or npos when the key is missing or the text
  // ends where its value should begin.
  auto valueAt = [&](std::string_view key) -> size_t {
    const size_t p = text.find(key);
    if (p == std::string_view::npos || p + key.size() >= text.size()) {
      host.AppendBootLine("Header: no " + std::string(key.substr(0, key.size() - 1)) + " value; previous value kept");
      return std::string_view::npos;
    }
    return p + key.size();
  };
  auto charAt = [&](size_t at) { return at < text.size() ? text[at] : ';'; };

  if (const size_t v = valueAt("CH_NUM="); v != std::string_view::npos) {
    const int32_t value = TextToInt(text.substr(v, 1));
    if (UsableChannelCount(value)) {
      a.ChannelCount = value;
    } else {
      host.AppendBootLine("Header: CH_NUM=" + std::string(text.substr(v, 1)) + " is not 1 or 3 channels; " +
                          std::to_string(a.ChannelCount) + " kept");
    }
  }
  if (const size_t v = valueAt("P_AMPL="); v != std::string_view::npos) {
    // One digit when a ";" follows it, else two.
    const size_t width = charAt(v + 1) == ';' ? 1 : 2;
    const int32_t value = TextToInt(text.substr(v, width));
    if (UsableGain(value)) {
      a.Gain = value;
    } else {
      host.AppendBootLine("Header: P_AMPL=" + std::string(text.substr(v, width)) + " is not a usable gain; " +
                          std::to_string(a.Gain) + " kept");
    }
  }
  if (const size_t v = valueAt("S_RATE="); v != std::string_view::npos) {
    // Two digits when a ";" follows them, else three.
    const size_t width = charAt(v + 2) == ';' ? 2 : 3;
    const int32_t value = TextToInt(text.substr(v, width));
    if (UsableRate(value, a.ChannelCount)) {
      a.SampleRate = value;
    } else {
      host.AppendBootLine("Header: S_RATE=" + std::string(text.substr(v, width)) +
                          " is not a usable sample rate; " + std::to_string(a.SampleRate) + " sps kept");
    }
  }
  if (const size_t v = valueAt("DEV_NO="); v != std::string_view::npos) {
    a.DeviceNumber.assign(text.substr(v, 3));
  }
  if (const size_t v = valueAt("ZELK_V="); v != std::string_view::npos) {
    const size_t end = text.find(';', v);
    const size_t width = std::min<size_t>(end == std::string_view::npos ? text.size() - v : end - v, 10);
    a.FirmwareVersion.assign(text.substr(v, width));
  }
  a.BlockSize = 4 * a.ChannelCount;
}

}  // namespace voxa
