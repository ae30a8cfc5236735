// What the monitor knows of the device: the parameters that tell it what
// stream to expect (rate, channels, gain), the device's number and firmware
// version, and the header in force, which is written at the start of every
// recording. The header is built at START from config.txt or from the
// parameters, and every header record the device sends replaces it.
//
// The parameters persist from one run to the next; the operator changes them
// between runs, config.txt and the device's header records during a run.
// Values that cannot be used keep the previous value, with a note for the
// boot window. The only rates taken are the device's: 50, 100, 200, 400, 800.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "format/records.h"
#include "format/sample.h"

namespace voxa {

// One screen never holds more than this many sample values (a second of
// every device rate fits).
inline constexpr int32_t kSampleSlots = 76800;

// Lines for the boot window about values that could not be used.
using Notes = std::vector<std::string>;

// The operator's choice of what stream to expect.
struct DeviceParameters {
  int32_t rate = 100;     // frames per second: 50, 100, 200, 400, 800 (kDeviceRates)
  int32_t channels = 3;   // 1 or 3
  int32_t gain = 16;      // 1 ... 64
};

class DeviceSettings {
 public:
  static constexpr int32_t kHeaderCapacity = 512;
  static constexpr int32_t kConfigLineCapacity = 20;

  DeviceSettings();

  // Between runs, from the window or the command line.
  void SetParameters(const DeviceParameters& parameters) { parameters_ = parameters; }

  // START: the device is not known yet ("000", "n/a", no header record).
  void StartRun();

  // START: builds the header in force from the config.txt at path when
  // loadExtHeader is set and the file can be read (then true), else from the
  // parameters (then false).
  bool LoadConfiguration(const std::string& path, bool loadExtHeader, Notes& notes);

  // A header record from the device replaces the header in force and sets
  // channels, gain, rate, device number and firmware version from it. A
  // record without a single KEY=value; item (a 0xF0 byte in line noise) is
  // not the device's: it changes nothing, gets a note, and the result is false.
  bool ReplaceHeader(Bytes text, Notes& notes);

  const DeviceParameters& Parameters() const { return parameters_; }
  StreamFormat Format() const { return {parameters_.rate, parameters_.channels}; }
  const std::string& DeviceNumber() const { return deviceNumber_; }
  const std::string& FirmwareVersion() const { return firmwareVersion_; }
  // A header record has arrived in this run.
  bool DeviceHeaderReceived() const { return deviceHeaderReceived_; }

  // The header in force: its bytes, and the same as text.
  Bytes HeaderBytes() const { return Bytes(header_.data(), static_cast<size_t>(headerLength_)); }
  const std::string& HeaderText() const { return headerText_; }

  // The two builders, used by LoadConfiguration.
  void BuildDefaultHeader();
  void BuildHeaderFromConfig(const std::vector<std::string>& lines, Notes& notes);

 private:
  void StoreHeaderText();

  DeviceParameters parameters_;
  std::string deviceNumber_ = "000";     // at most 3 characters
  std::string firmwareVersion_ = "n/a";  // at most 10 characters
  bool deviceHeaderReceived_ = false;
  std::array<uint8_t, kHeaderCapacity> header_{};
  int32_t headerLength_ = 0;
  std::string headerText_;
};

}  // namespace voxa
