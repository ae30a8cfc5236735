// The operator's choices for a run, in one type from the command line (or
// the window) to the run: what to save, where the header comes from, and how
// the stream is expected and shown.
#pragma once

#include <cstdint>

#include "device/device_settings.h"

namespace voxa {

struct RunOptions {
  // Copied from the check boxes at START.
  bool saveStream = false;     // "Save Stream": the recording
  bool saveErrorList = false;  // "Save Err List": error.csv
  bool saveShift = false;      // "Save Shift": shift.csv
  bool loadExtHeader = true;   // "Ext. Header": the header from config.txt
  bool autoScale = false;      // "Auto Scale": each channel on its own scale
  // Also changed during a run.
  bool resetOffset = true;     // "RST Offset": offsets measured at every screen
  bool highPass = false;       // "High Pass"
  // What stream to expect and how much of it a screen shows; these persist
  // from one run to the next, and config.txt or the device's header change them.
  DeviceParameters parameters;
  int32_t screenSeconds = 8;
};

}  // namespace voxa
