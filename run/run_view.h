// What the run controller needs of its face: read-outs, the status bar and
// the boot window; the port box and the START/STOP panel; the check boxes
// and parameter buttons as the controller tells it to show them; the controls
// that are locked during a run; and the window geometry set at start-up. The
// main window implements it and never changes a choice on its own: it
// reports the operator's clicks, and shows what it is told. The station,
// which has no window, implements it too: it keeps the port's name and the
// panel's caption the controller asks back, and logs what a run shows.
#pragma once

#include <string>
#include <string_view>

#include "analysis/surface.h"
#include "device/device_settings.h"
#include "pipeline/host.h"
#include "pipeline/run_options.h"

namespace voxa {

// The outputs a run may write, for the check box that stands for each.
enum class OutputFile { ErrorList, ShiftList, Stream, Archive };

// Check boxes and parameter buttons, as the operator clicks them.
enum class Choice {
  SaveStream, SaveErrorList, SaveShift, SaveMseed, LoadExtHeader, AutoScale, ResetOffset, HighPass, Reconnect
};

class RunView {
 public:
  virtual ~RunView() = default;

  // --- Start-up -------------------------------------------------------------
  // Window placement by the screen height.
  virtual void SetSize() = 0;
  // The plot area as placed; the window keeps its own start-up width for the
  // narrow-window rule.
  virtual PlotSize InitPlotGeometry() = 0;

  // --- What a run shows -----------------------------------------------------
  virtual void ShowLabel(Label label, std::string_view text) = 0;
  virtual void ShowStatus(std::string_view text, StatusColour colour) = 0;
  virtual void ShowBootWindow() = 0;
  virtual void AppendBootLine(std::string_view line) = 0;
  virtual void RaiseMainWindow() = 0;
  virtual void Repaint() = 0;
  // A line of the error list (the window counts them in its labels; a face
  // without one logs them).
  virtual void NoteErrorLine(std::string_view /*line*/) {}
  // The device's number and firmware version.
  virtual void ShowDeviceIdentity(const std::string& number, const std::string& version) = 0;
  // The buttons of channels, gain and rate (a value no button offers leaves
  // its group as it is).
  virtual void ShowParameters(const DeviceParameters& parameters) = 0;
  // The check boxes ticked as the choices say ("RST Offset" locked while
  // "High Pass" is on).
  virtual void ShowChoices(const RunOptions& choices) = 0;
  // "Ext. Header": its colour (lime when the header was loaded or received,
  // red when config.txt was missing).
  virtual void SetLoadExtColour(StatusColour colour) = 0;
  // A file could not be created: its box turns red, and says why when the
  // mouse is on it.
  virtual void MarkOutputFileFailed(OutputFile file, const std::string& reason) = 0;

  // --- The port box ---------------------------------------------------------
  virtual std::string PortText() const = 0;
  virtual void SetPortText(const std::string& name) = 0;
  // Appends a port found by the scan and makes it the box's text.
  virtual void AddPort(const std::string& name) = 0;
  virtual void SetPortBoxEnabled(bool enabled) = 0;

  // --- The START/STOP panel and the locks of a run -----------------------------
  virtual std::string StartCaption() const = 0;
  virtual void ShowStartPanel(const std::string& caption, StatusColour colour, bool enabled) = 0;
  // The controls that would change the structure of a run in progress.
  virtual void SetParameterControlsEnabled(bool enabled) = 0;
  // Idle: the status bar follows the hints of the controls under the mouse.
  virtual void SetIdle(bool idle) = 0;

  // --- The plot ---------------------------------------------------------------
  // START gives the plot's surface the size of the screen.
  virtual void SetPlotToScreenSize() = 0;
  virtual Surface& PlotSurface() = 0;
};

}  // namespace voxa
