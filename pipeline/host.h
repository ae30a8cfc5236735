// What a run shows: the window's read-outs, the status bar, the boot window
// and a repaint. The run controller implements it (it passes what is shown
// on to the window); tests record the calls.
#pragma once

#include <string_view>

#include "device/device_settings.h"

namespace voxa {

enum class Label {
  BlockErrors, SecErrors, SpsErrors,
  GpsClock, Sats, Temp, Shift,
  Noise1, Noise2, Noise3,
  Volt1, Volt2, Volt3,
  Offset1, Offset2, Offset3,
};

inline Label NoiseLabel(int channel) { return static_cast<Label>(static_cast<int>(Label::Noise1) + channel); }
inline Label VoltLabel(int channel) { return static_cast<Label>(static_cast<int>(Label::Volt1) + channel); }
inline Label OffsetLabel(int channel) { return static_cast<Label>(static_cast<int>(Label::Offset1) + channel); }

// Status bar background colours; Standard is the system's button face.
enum class StatusColour { Standard, Yellow, Aqua, Silver, Lime, Red };

class Host {
 public:
  virtual ~Host() = default;
  virtual void ShowLabel(Label label, std::string_view text) = 0;
  virtual void ShowStatus(std::string_view text, StatusColour colour) = 0;
  // A device header record was taken: the device's number, version and
  // parameters are now these.
  virtual void ShowDeviceHeader(const DeviceSettings& device) = 0;
  virtual void ShowBootWindow() = 0;
  virtual void AppendBootLine(std::string_view line) = 0;
  virtual void RaiseMainWindow() = 0;
  // The plot or labels changed: bring them to the screen.
  virtual void Repaint() = 0;
  // A line of the error list, as the list has it, whether or not the list
  // is saved; a face without a window logs it.
  virtual void NoteErrorLine(std::string_view /*line*/) {}
};

// A host that shows nothing, for benchmarks and tools.
class NullHost : public Host {
 public:
  void ShowLabel(Label, std::string_view) override {}
  void ShowStatus(std::string_view, StatusColour) override {}
  void ShowDeviceHeader(const DeviceSettings&) override {}
  void ShowBootWindow() override {}
  void AppendBootLine(std::string_view) override {}
  void RaiseMainWindow() override {}
  void Repaint() override {}
};

}  // namespace voxa
