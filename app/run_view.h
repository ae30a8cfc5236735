// What the run controller needs of the main window, beyond what the stream
// code needs (Host): the port box, the START/STOP panel, the controls that
// are locked during a run, the check boxes copied at START, and the window
// geometry set at start-up. The window implements it; the controller never
// touches a widget itself.
#pragma once

#include <string>

#include "analysis/surface.h"
#include "stream/acquisition.h"
#include "stream/host.h"

namespace voxa {

// The three files a run may write, for the check box that stands for each.
enum class OutputFile { ErrorList, ShiftList, Stream };

class RunView : public Host {
 public:
  // Start-up: window placement by the screen height, then program-start values.
  virtual void SetSize() = 0;
  virtual void InitParams() = 0;

  // The port box.
  virtual std::string PortText() const = 0;
  virtual void SetPortText(const std::string& name) = 0;
  // Appends a port found by the scan and makes it the box's text.
  virtual void AddPort(const std::string& name) = 0;
  virtual void SetPortBoxEnabled(bool enabled) = 0;

  // The START/STOP panel.
  virtual std::string StartCaption() const = 0;
  virtual void ShowStartPanel(const std::string& caption, StatusColour colour, bool enabled) = 0;

  // The controls that would change the structure of a run in progress.
  virtual void SetParameterControlsEnabled(bool enabled) = 0;
  // Idle: the status bar follows the hints of the controls under the mouse.
  virtual void SetIdle(bool idle) = 0;
  // A run is in progress: ticking "High Pass" then also sets the filter up.
  virtual void SetRunInProgress(bool running) = 0;

  // The check boxes as START copies them.
  virtual RunOptions ReadRunOptions() const = 0;
  // "Ext. Header": its colour, and unticking it when the file was missing.
  virtual void SetLoadExtColour(StatusColour colour) = 0;
  virtual void UntickLoadExt() = 0;
  // A file could not be created: its box is unticked and turns red.
  virtual void RejectOutputFile(OutputFile file) = 0;

  // Shows device number, version and the parameters on the controls.
  virtual void SetFormParams() = 0;
  // START gives the plot's surface the size of the screen.
  virtual void SetPlotToScreenSize() = 0;
  virtual Surface& PlotSurface() = 0;
};

}  // namespace voxa
