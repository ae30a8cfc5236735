// The operator's choices, in one vocabulary from the command line (or the
// window) to the run: what to save, where the header comes from and how the
// stream is shown (RunOptions, the check boxes), and what stream to expect and
// how much of it a screen shows (the parameters, which persist from one run
// to the next and which config.txt or the device's header change).
#pragma once

#include <cstdint>
#include <string>

#include "analysis/psd.h"
#include "analysis/sensor_response.h"
#include "device/device_settings.h"
#include "mseed/codes.h"

namespace voxa {

// The check boxes. START copies the first six; "RST Offset" and "High Pass"
// also act during a run, and "Reconnect" when the device is lost. "High Pass" takes "RST Offset" over: while the
// filter is on, offsets are not measured again at every screen.
struct RunOptions {
  bool saveStream = false;     // "Save Stream": the recording
  bool saveMseed = false;      // "Save miniSEED": the SDS archive
  bool saveErrorList = false;  // "Save Err List": error.csv
  bool saveShift = false;      // "Save Shift": shift.csv
  bool loadExtHeader = true;   // "Ext. Header": the header from config.txt
  bool autoScale = false;      // "Auto Scale": each channel on its own scale
  bool resetOffset = true;     // "RST Offset": offsets measured at every screen
  bool highPass = false;       // "High Pass"
  bool reconnect = false;      // "Reconnect": after a lost device, a new run when its port is back
};

// The noise PSD of every channel: on unless switched off (its cost is a
// small fraction of the run's), over short windows so a first result comes
// within minutes, in ground acceleration when a sensor is given.
struct NoiseOptions {
  bool enabled = true;
  double windowSeconds = PsdSettings::kShortWindowSeconds;
  double keepSeconds = 6.0 * 3600.0;  // the percentile summary's span
  SensorResponse sensor;
};

// Everything the operator can set before the first run.
struct MonitorOptions {
  NoiseOptions noise;
  RunOptions run;
  DeviceParameters parameters;
  int32_t screenSeconds = 8;
  // "Save miniSEED": the archive's root ("" : mseed/ in the working
  // directory) and the codes it files the stream under.
  std::string mseedDirectory;
  CodeChoices codes;
};

}  // namespace voxa
