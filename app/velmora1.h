// The main window: the plot, the GPS, shift and temperature read-outs, the
// error counts and end-of-screen results, the zoom and amplitude panels, the
// parameter and file choices, START/STOP and the status bar. It binds each
// control to its handler and shows what it is told; the run itself belongs
// to the run controller, which reaches the window through RunView.
#pragma once

#include <QSize>
#include <QWidget>

#include <array>
#include <functional>
#include <utility>
#include <vector>

#include "analysis/raster.h"
#include "app/command_line.h"
#include "app/run_view.h"
#include "stream/acquisition.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QRadioButton;

namespace voxa {

class ClickPanel;
class PlotImage;
class TVelmoraBootForm;

class TVelmoraForm : public QWidget, public RunView {
  Q_OBJECT

 public:
  TVelmoraForm(Acquisition& a, TVelmoraBootForm& boot, QWidget* parent = nullptr);
  ~TVelmoraForm() override;

  // Presets the controls from the command line, each through its handler.
  void ApplyStartOptions(const StartOptions& options);
  // Screen size used by SetSize and START; an invalid size means the primary screen's.
  void SetScreenSize(QSize size) { screenSize_ = size; }
  QSize ScreenSize() const;
  // Asked when the window is to be closed; false keeps it open.
  void SetCloseHandler(std::function<bool()> handler) { closeHandler_ = std::move(handler); }
  // A failure that ended a run, shown without blocking the event loop.
  void ShowFailure(const QString& text);

  // Window size in the classic convention (frame included, see look.h).
  int FormWidth() const;
  int FormHeight() const;
  void SetFormHeight(int height);
  void SetFormWidth(int width);

  Raster& PlotRaster() { return raster_; }
  TVelmoraBootForm& BootForm() { return boot_; }

  // Handlers.
  void SrateRadioButtonClick(int32_t rate);
  void GainRadioButtonClick(int32_t gain);
  void ChannelRadioButtonClick(int32_t channels);
  void OffsetCheckBoxClick();
  void FilterCheckBoxClick();
  void ZoomInPanelClick();
  void ZoomOutPanelClick();
  void IncAmpPanelClick();
  void DecAmpPanelClick();
  void FormDblClick();
  void FormResize();

  // RunView.
  void SetSize() override;
  void InitParams() override;
  std::string PortText() const override;
  void SetPortText(const std::string& name) override;
  void AddPort(const std::string& name) override;
  void SetPortBoxEnabled(bool enabled) override;
  std::string StartCaption() const override;
  void ShowStartPanel(const std::string& caption, StatusColour colour, bool enabled) override;
  void SetParameterControlsEnabled(bool enabled) override;
  void SetIdle(bool idle) override { idle_ = idle; }
  void SetRunInProgress(bool running) override { runInProgress_ = running; }
  RunOptions ReadRunOptions() const override;
  void SetLoadExtColour(StatusColour colour) override;
  void UntickLoadExt() override;
  void RejectOutputFile(OutputFile file) override;
  void SetFormParams() override;
  void SetPlotToScreenSize() override;
  Surface& PlotSurface() override { return raster_; }

  // Host.
  void ShowLabel(Label label, std::string_view text) override;
  void ShowStatus(std::string_view text, StatusColour colour) override;
  void ShowDeviceHeader() override;
  void ShowBootWindow() override;
  void AppendBootLine(std::string_view line) override;
  void RaiseMainWindow() override;
  void Repaint() override;

 signals:
  void StartPanelClicked();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void PlaceAnchoredControls();
  void HandleResize();
  void PointAt(QWidget* widget);
  QCheckBox* OutputBox(OutputFile file) const;

  Acquisition& a_;
  TVelmoraBootForm& boot_;
  Raster raster_;

  QFrame* imagePanel_ = nullptr;
  PlotImage* plotImage_ = nullptr;
  QLabel* statusBar_ = nullptr;
  QComboBox* portComboBox_ = nullptr;
  ClickPanel* startPanel_ = nullptr;
  QCheckBox* autoScaleCheckBox_ = nullptr;
  QCheckBox* offsetCheckBox_ = nullptr;
  QCheckBox* filterCheckBox_ = nullptr;
  QCheckBox* loadExtCheckBox_ = nullptr;
  QCheckBox* saveErrorCheckBox_ = nullptr;
  QCheckBox* saveShiftCheckBox_ = nullptr;
  QCheckBox* saveStreamCheckBox_ = nullptr;
  QGroupBox* loadGroupBox_ = nullptr;
  QGroupBox* saveGroupBox_ = nullptr;
  QGroupBox* typeGroupBox_ = nullptr;
  QGroupBox* srateGroupBox_ = nullptr;
  QGroupBox* gainGroupBox_ = nullptr;
  QLabel* devNoLabel_ = nullptr;
  QLabel* versionLabel_ = nullptr;
  QRadioButton* ch1RadioButton_ = nullptr;
  QRadioButton* ch3RadioButton_ = nullptr;
  std::vector<std::pair<QRadioButton*, int32_t>> rateButtons_;
  std::vector<std::pair<QRadioButton*, int32_t>> gainButtons_;
  std::array<QLabel*, 16> labels_{};  // indexed by Label

  // Controls below the plot keep their distance to the bottom edge: their
  // top at the design size of the window.
  std::vector<std::pair<QWidget*, int>> anchored_;

  QSize screenSize_;
  QSize handledSize_;
  int32_t startScreenSeconds_ = 8;
  bool idle_ = false;
  bool runInProgress_ = false;
  QString pointedHint_;
  std::function<bool()> closeHandler_;
};

}  // namespace voxa
