// The main window: the plot, the GPS, shift and temperature read-outs, the
// error counts and end-of-screen results, the zoom and amplitude panels, the
// parameter and file choices, START/STOP and the status bar. It reports each
// click on a control as a signal and shows what the run controller tells it
// (RunView); it changes no choice itself. Setting a control from code never
// counts as a click: the signals follow the operator's clicks only.
#pragma once

#include <QSize>
#include <QWidget>

#include <array>
#include <functional>
#include <utility>
#include <vector>

#include "analysis/raster.h"
#include "app/window_geometry.h"
#include "run/run_view.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QRadioButton;

namespace voxa {

class ClickPanel;
class PlotImage;
class BootWindow;

class MainWindow : public QWidget, public RunView {
  Q_OBJECT

 public:
  explicit MainWindow(BootWindow& boot, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Screen size used by SetSize and START; an invalid size means the primary screen's.
  void SetScreenSize(QSize size) { screenSize_ = size; }
  QSize ScreenSize() const;
  // Asked when the window is to be closed; false keeps it open.
  void SetCloseHandler(std::function<bool()> handler) { closeHandler_ = std::move(handler); }
  // A failure that ended a run, shown without blocking the event loop.
  void ShowFailure(const QString& text);

  // Window size in the classic convention (frame included, see window_geometry.h).
  int FormWidth() const;
  int FormHeight() const;
  void SetFormHeight(int height);
  void SetFormWidth(int width);
  // The plot area the window gives the plot now.
  // The monitor serves its stream: the page's address, in the caption.
  void ShowServingAddress(const std::string& address);
  PlotSize CurrentPlotSize() const { return plotSize_; }

  Raster& PlotRaster() { return raster_; }
  BootWindow& Boot() { return boot_; }

  // The window's own handlers.
  void FormDblClick();
  void FormResize();

  // RunView.
  void SetSize() override;
  PlotSize InitPlotGeometry() override;
  void ShowLabel(Label label, std::string_view text) override;
  void ShowStatus(std::string_view text, StatusColour colour) override;
  void ShowBootWindow() override;
  void AppendBootLine(std::string_view line) override;
  void RaiseMainWindow() override;
  void Repaint() override;
  void ShowDeviceIdentity(const std::string& number, const std::string& version) override;
  void ShowParameters(const DeviceParameters& parameters) override;
  void ShowChoices(const RunOptions& choices) override;
  void SetLoadExtColour(StatusColour colour) override;
  void MarkOutputFileFailed(OutputFile file, const std::string& reason) override;
  std::string PortText() const override;
  void SetPortText(const std::string& name) override;
  void AddPort(const std::string& name) override;
  void SetPortBoxEnabled(bool enabled) override;
  std::string StartCaption() const override;
  void ShowStartPanel(const std::string& caption, StatusColour colour, bool enabled) override;
  void SetParameterControlsEnabled(bool enabled) override;
  void SetIdle(bool idle) override { idle_ = idle; }
  void SetPlotToScreenSize() override;
  Surface& PlotSurface() override { return raster_; }

 signals:
  // The operator's clicks.
  void StartPanelClicked();
  void ChoiceClicked(voxa::Choice choice, bool ticked);
  void RateClicked(int32_t rate);
  void GainClicked(int32_t gain);
  void ChannelsClicked(int32_t channels);
  void ZoomInClicked();
  void ZoomOutClicked();
  void IncreaseAmplitudeClicked();
  void DecreaseAmplitudeClicked();
  // "Noise": the Noise window is asked for.
  void NoiseClicked();
  // The window's size changed the plot area.
  void PlotResized(int32_t width, int32_t height);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void BindChoice(QCheckBox* box, Choice choice);
  void PlaceAnchoredControls();
  void HandleResize();
  void PointAt(QWidget* widget);
  QCheckBox* OutputBox(OutputFile file) const;

  BootWindow& boot_;
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
  QCheckBox* saveMseedCheckBox_ = nullptr;
  QCheckBox* saveStreamCheckBox_ = nullptr;
  QCheckBox* reconnectCheckBox_ = nullptr;
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
  PlotSize plotSize_;
  // The plot's width at start-up minus 10: a narrower window shows a scroll bar.
  int32_t plotMinWidth_ = 0;
  bool idle_ = false;
  QString pointedHint_;
  std::function<bool()> closeHandler_;
};

}  // namespace voxa
