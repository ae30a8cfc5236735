// The main window: controls, the signals of their clicks, geometry, and what
// the run controller has it show.
#include "app/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QAbstractItemView>
#include <QPixmap>
#include <QRadioButton>
#include <QScreen>

#include "app/boot_window.h"
#include "app/click_panel.h"
#include "app/plot_image.h"
#include "app/window_style.h"
#include "format/number_text.h"

namespace voxa {
namespace {

// The window's size at design time, frame included, and the height of the
// client area it gives; the controls below the plot are placed for it.
constexpr int kDesignWidth = 1023;
constexpr int kDesignHeight = 598;
constexpr int kDesignClientHeight = kDesignHeight - kFrameHeight;
constexpr int kStatusBarHeight = 29;
// Smallest client area: the plot keeps a usable size and the controls stay
// on the window.
constexpr int kMinimumClientWidth = 640;
constexpr int kMinimumClientHeight = 400;
// Corner frequency of the high-pass filter, as its hint states it.
constexpr double kHighPassCorner = 0.5;

const char* const kTitle =
    "   VOXA  Monitor"
    "                                                                                        "
    "Ver.  30-Jan-2014";

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, const QRect& geometry,
                  Qt::Alignment alignment, bool bold = true) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  label->setFont(FormFont(13, bold));
  label->setAlignment(alignment | Qt::AlignVCenter);
  label->setGeometry(geometry);
  return label;
}

// A group box drawn the classic way: an etched frame whose top line runs
// through the middle of the caption, so the controls placed for that look
// (the first row 18 to 24 pixels down) sit well inside the frame.
class ClassicGroupBox : public QGroupBox {
 public:
  using QGroupBox::QGroupBox;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int lineY = metrics.height() / 2;
    const QRect frame(0, lineY, width() - 2, height() - lineY - 2);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(frame.translated(1, 1));
    const QRect caption(8, 0, metrics.horizontalAdvance(title()), metrics.height());
    painter.fillRect(caption, palette().color(QPalette::Window));
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter, title());
  }
};

QGroupBox* MakeGroup(QWidget* parent, const char* name, const QString& caption, const QRect& geometry) {
  auto* group = new ClassicGroupBox(caption, parent);
  group->setObjectName(name);
  group->setFont(FormFont(13, true));
  group->setGeometry(geometry);
  return group;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption, const QRect& geometry,
                        bool bold, bool ticked, const QString& hint) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  box->setFont(FormFont(13, bold));
  box->setGeometry(geometry);
  box->setChecked(ticked);
  box->setStatusTip(hint);
  return box;
}

QRadioButton* MakeRadio(QWidget* parent, const char* name, const QString& caption, const QRect& geometry) {
  auto* button = new QRadioButton(caption, parent);
  button->setObjectName(name);
  button->setFont(FormFont(13, false));
  button->setGeometry(geometry);
  return button;
}

ClickPanel* MakePanel(QWidget* parent, const char* name, const QString& caption, const QRect& geometry,
                      const QColor& colour) {
  auto* panel = new ClickPanel(caption, parent);
  panel->setObjectName(name);
  panel->setFont(FormFont(16, true));
  panel->setGeometry(geometry);
  panel->SetColour(colour);
  return panel;
}

// The window icon: a trace on a dark plot.
QIcon MonitorIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(QColor(0, 0, 64));
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(kLimeColour, 2));
  const QPointF trace[] = {{2, 16}, {7, 16}, {10, 6}, {14, 27}, {18, 10}, {21, 20}, {24, 16}, {30, 16}};
  painter.drawPolyline(trace, 8);
  return QIcon(pixmap);
}

}  // namespace

MainWindow::MainWindow(BootWindow& boot, QWidget* parent) : QWidget(parent), boot_(boot), raster_(993, 377) {
  setObjectName("MainWindow");
  setWindowTitle(kTitle);
  setWindowIcon(MonitorIcon());
  setFont(FormFont(16, false));
  setMinimumSize(kMinimumClientWidth, kMinimumClientHeight);
  move(231, 143);
  resize(kDesignWidth - kFrameWidth, kDesignHeight - kFrameHeight);
  BuildControls();
  raster_.SetRefreshCallback([this] { plotImage_->update(); });
  // The sizes set while the window is created count as resizes, before
  // start-up has set the plot's minimum width.
  HandleResize();
}

MainWindow::~MainWindow() { raster_.SetRefreshCallback({}); }

void MainWindow::BuildControls() {
  imagePanel_ = new QFrame(this);
  imagePanel_->setObjectName("ImagePanel");
  imagePanel_->setGeometry(8, 0, 993, 377);
  PaintBackground(*imagePanel_, QApplication::palette().color(QPalette::Light));
  plotImage_ = new PlotImage(raster_, imagePanel_);
  plotImage_->setObjectName("PlotImage");
  plotImage_->setGeometry(0, 0, 993, 377);

  const auto centred = Qt::AlignHCenter;
  const auto right = Qt::AlignRight;
  const auto left = Qt::AlignLeft;
  std::vector<QWidget*> below;
  below.push_back(MakeLabel(this, "GPSStampLabel", "GPS Clock", {240, 384, 81, 16}, centred));
  below.push_back(labels_[size_t(Label::GpsClock)] = MakeLabel(this, "GPSLabel", "", {248, 408, 65, 16}, centred));
  // Right-aligned and sized to its text at design time, so its right edge stays put.
  below.push_back(labels_[size_t(Label::Sats)] = MakeLabel(this, "SatLabel", "00", {256, 424, 18, 16}, right));
  below.push_back(MakeLabel(this, "SatNameLabel", "Sats", {280, 424, 30, 16}, left));
  below.push_back(MakeLabel(this, "ShiftLabel", "Time Shift", {328, 384, 81, 16}, centred));
  below.push_back(labels_[size_t(Label::Shift)] = MakeLabel(this, "ShiftValLabel", "", {336, 408, 73, 16}, right));
  below.push_back(MakeLabel(this, "TempLabel", "Temp.", {416, 384, 65, 16}, centred));
  below.push_back(labels_[size_t(Label::Temp)] = MakeLabel(this, "TempValLabel", "", {416, 408, 41, 16}, right));
  below.push_back(MakeLabel(this, "TempCLabel", QString::fromUtf8("°C"), {456, 408, 25, 16}, centred));
  below.push_back(MakeLabel(this, "ZoomLabel", "Zoom", {488, 384, 57, 16}, centred));
  below.push_back(MakeLabel(this, "AmplitudeLabel", "Amplitude", {552, 384, 89, 16}, centred));

  auto* zoomIn = MakePanel(this, "ZoomInPanel", "++", {488, 408, 25, 25}, kZoomOrange);
  auto* zoomOut = MakePanel(this, "ZoomOutPanel", "- -", {520, 408, 25, 25}, kZoomOrange);
  auto* decAmp = MakePanel(this, "DecAmpPanel", "- -", {568, 408, 25, 25}, kAmplitudeOrange);
  auto* incAmp = MakePanel(this, "IncAmpPanel", "++", {600, 408, 25, 25}, kAmplitudeOrange);
  connect(zoomIn, &ClickPanel::clicked, this, &MainWindow::ZoomInClicked);
  connect(zoomOut, &ClickPanel::clicked, this, &MainWindow::ZoomOutClicked);
  connect(decAmp, &ClickPanel::clicked, this, &MainWindow::DecreaseAmplitudeClicked);
  connect(incAmp, &ClickPanel::clicked, this, &MainWindow::IncreaseAmplitudeClicked);
  below.insert(below.end(), {zoomIn, zoomOut, decAmp, incAmp});
  // Under the time shift, the one free place in the rows of read-outs.
  auto* noise = MakePanel(this, "NoisePanel", "Noise", {328, 424, 81, 15}, StandardColour());
  connect(noise, &ClickPanel::clicked, this, &MainWindow::NoiseClicked);
  below.push_back(noise);

  portComboBox_ = new QComboBox(this);
  portComboBox_->setObjectName("PortComboBox");
  portComboBox_->setEditable(true);
  portComboBox_->setInsertPolicy(QComboBox::NoInsert);
  portComboBox_->setGeometry(8, 400, 105, 24);
  portComboBox_->setEditText("No ser. Port");
  portComboBox_->setEnabled(false);
  below.push_back(portComboBox_);

  // Above the port box it belongs to, in the row of the read-outs' titles.
  reconnectCheckBox_ = MakeCheckBox(this, "ReconnectCheckBox", "Reconnect", {8, 380, 97, 17}, true, false,
                                    " Reconnect: when the VOXA is lost, start a new run as soon as its port is back");
  BindChoice(reconnectCheckBox_, Choice::Reconnect);
  below.push_back(reconnectCheckBox_);

  autoScaleCheckBox_ = MakeCheckBox(this, "AutoScaleCheckBox", "Auto Scale", {8, 432, 97, 17}, true, false,
                                    " Auto Scale: Different Scale at each Channel");
  offsetCheckBox_ = MakeCheckBox(this, "OffsetCheckBox", "RST Offset", {8, 456, 97, 17}, true, true,
                                 " Reset Offset:  Offset Check before each Screen Cycle");
  filterCheckBox_ = MakeCheckBox(this, "FilterCheckBox", "High Pass", {8, 483, 97, 17}, true, false, "");
  BindChoice(autoScaleCheckBox_, Choice::AutoScale);
  BindChoice(offsetCheckBox_, Choice::ResetOffset);
  BindChoice(filterCheckBox_, Choice::HighPass);
  below.insert(below.end(), {autoScaleCheckBox_, offsetCheckBox_, filterCheckBox_});

  startPanel_ = MakePanel(this, "StartPanel", "START", {10, 508, 89, 25}, StandardColour());
  startPanel_->setEnabled(false);
  connect(startPanel_, &ClickPanel::clicked, this, &MainWindow::StartPanelClicked);
  below.push_back(startPanel_);

  // The Load group gives up some height so that the Save group holds its
  // fourth box ("Save miniSEED") at the same spacing as the others; both are
  // a little wider than the column beside them so that its caption fits.
  loadGroupBox_ = MakeGroup(this, "LoadGroupBox", " Load ", {112, 384, 117, 41});
  loadExtCheckBox_ = MakeCheckBox(loadGroupBox_, "LoadExtCheckBox", "Ext. Header", {8, 18, 97, 17}, false, true,
                                  " Load VOXA Config File (if available) to generate VOXA Data File Header");
  saveGroupBox_ = MakeGroup(this, "SaveGroupBox", " Save ", {112, 428, 117, 109});
  saveErrorCheckBox_ = MakeCheckBox(saveGroupBox_, "SaveErrorCheckBox", "Save Err List", {8, 20, 97, 17}, false,
                                    false, " Save Error List to 'error.csv'");
  saveShiftCheckBox_ = MakeCheckBox(saveGroupBox_, "SaveShiftCheckBox", "Save Shift", {8, 42, 97, 17}, false,
                                    false, " Save Shift Values to 'shift.csv'");
  saveStreamCheckBox_ = MakeCheckBox(saveGroupBox_, "SaveStreamCheckBox", "Save Stream", {8, 64, 97, 17}, false,
                                     false, " Save received VOXA Data (VOXA Data Format)");
  saveMseedCheckBox_ = MakeCheckBox(saveGroupBox_, "SaveMseedCheckBox", "Save miniSEED", {8, 86, 108, 17}, false,
                                    false, " Save the samples as miniSEED in an SDS archive (mseed/ or --mseed DIR)");
  BindChoice(loadExtCheckBox_, Choice::LoadExtHeader);
  BindChoice(saveErrorCheckBox_, Choice::SaveErrorList);
  BindChoice(saveShiftCheckBox_, Choice::SaveShift);
  BindChoice(saveStreamCheckBox_, Choice::SaveStream);
  // The longest caption of the column: a pixel smaller, it fits beside the others.
  saveMseedCheckBox_->setFont(FormFont(12, false));
  BindChoice(saveMseedCheckBox_, Choice::SaveMseed);
  below.insert(below.end(), {loadGroupBox_, saveGroupBox_});

  auto* errorGroup = MakeGroup(this, "ErrorGroupBox", " Error List ", {232, 440, 113, 97});
  const struct {
    const char* title;
    const char* titleName;
    const char* countName;
    Label label;
  } errorRows[] = {{"Block Err", "BlockLabel", "BlockErrorLabel", Label::BlockErrors},
                   {"sps Err", "spsLabel", "spsErrorLabel", Label::SpsErrors},
                   {"Sec Err", "SecLabel", "SecErrorLabel", Label::SecErrors}};
  for (int row = 0; row < 3; ++row) {
    const int top = 24 + 24 * row;
    MakeLabel(errorGroup, errorRows[row].titleName, errorRows[row].title, {8, top, 56, 16}, left, false);
    labels_[size_t(errorRows[row].label)] =
        MakeLabel(errorGroup, errorRows[row].countName, "0", {64, top, 41, 16}, right);
  }
  below.push_back(errorGroup);

  for (int row = 0; row < 3; ++row) {
    const QByteArray name = "Ch" + QByteArray::number(row + 1) + "Label";
    below.push_back(MakeLabel(this, name.constData(), QString("Ch %1").arg(row + 1), {352, 464 + 24 * row, 28, 16},
                              left));
  }
  auto* noiseGroup = MakeGroup(this, "NoiseGroupBox", " Dynamic Range ", {384, 440, 161, 97});
  auto* voltGroup = MakeGroup(this, "AmplitudeGroupBox", " Volt PP ", {552, 440, 89, 97});
  auto* offsetGroup = MakeGroup(this, "OffsetGroupBox", " Offset ", {648, 440, 89, 97});
  for (int row = 0; row < 3; ++row) {
    const int top = 24 + 24 * row;
    const QByteArray n = QByteArray::number(row + 1);
    labels_[size_t(NoiseLabel(row))] = MakeLabel(noiseGroup, ("Noise" + n + "Label").constData(), "",
                                                 {4, top, 153, 16}, right);
    labels_[size_t(VoltLabel(row))] = MakeLabel(voltGroup, ("Volt" + n + "Label").constData(), "",
                                                {4, top, 81, 16}, right);
    labels_[size_t(OffsetLabel(row))] = MakeLabel(offsetGroup, ("Offset" + n + "Label").constData(), "",
                                                  {4, top, 81, 16}, right);
  }
  below.insert(below.end(), {noiseGroup, voltGroup, offsetGroup});

  auto* versionGroup = MakeGroup(this, "VersionGroupBox", " Version ", {648, 384, 89, 49});
  versionLabel_ = MakeLabel(versionGroup, "VersionLabel", "", {4, 24, 81, 16}, centred);
  auto* devNoGroup = MakeGroup(this, "DevNoGroupBox", " Voxa No. ", {744, 384, 105, 49});
  devNoLabel_ = MakeLabel(devNoGroup, "DevNoLabel", "000", {4, 24, 97, 16}, centred);
  below.insert(below.end(), {versionGroup, devNoGroup});

  typeGroupBox_ = MakeGroup(this, "TypeGroupBox", " Voxa Type ", {744, 440, 105, 97});
  ch1RadioButton_ = MakeRadio(typeGroupBox_, "Ch1RadioButton", "1 Channel", {8, 28, 93, 17});
  ch3RadioButton_ = MakeRadio(typeGroupBox_, "Ch3RadioButton", "3 Channels", {8, 56, 93, 17});
  ch3RadioButton_->setChecked(true);
  connect(ch1RadioButton_, &QRadioButton::clicked, this, [this] { emit ChannelsClicked(1); });
  connect(ch3RadioButton_, &QRadioButton::clicked, this, [this] { emit ChannelsClicked(3); });

  srateGroupBox_ = MakeGroup(this, "SrateGroupBox", " Srate ", {856, 384, 81, 153});
  const struct {
    const char* name;
    const char* caption;
    int32_t value;
  } rates[] = {{"sps50RadioButton", "  50 sps", 50},
               {"sps100RadioButton", "100 sps", 100},
               {"sps200RadioButton", "200 sps", 200},
               {"sps400RadioButton", "400 sps", 400},
               {"sps800RadioButton", "800 sps", 800}};
  for (int i = 0; i < 5; ++i) {
    auto* button = MakeRadio(srateGroupBox_, rates[i].name, rates[i].caption, {8, 22 + 25 * i, 69, 17});
    const int32_t value = rates[i].value;
    button->setChecked(value == 100);
    connect(button, &QRadioButton::clicked, this, [this, value] { emit RateClicked(value); });
    rateButtons_.emplace_back(button, value);
  }

  gainGroupBox_ = MakeGroup(this, "GainGroupBox", " Gain ", {944, 384, 57, 153});
  const struct {
    const char* name;
    const char* caption;
    int32_t value;
  } gains[] = {{"Gain1RadioButton", "  1", 1},   {"Gain2RadioButton", "  2", 2},   {"Gain4RadioButton", "  4", 4},
               {"Gain8RadioButton", "  8", 8},   {"Gain16RadioButton", "16", 16}, {"Gain32RadioButton", "32", 32},
               {"Gain64RadioButton", "64", 64}};
  for (int i = 0; i < 7; ++i) {
    auto* button = MakeRadio(gainGroupBox_, gains[i].name, gains[i].caption, {8, 18 + 19 * i, 45, 17});
    const int32_t value = gains[i].value;
    button->setChecked(value == 16);
    connect(button, &QRadioButton::clicked, this, [this, value] { emit GainClicked(value); });
    gainButtons_.emplace_back(button, value);
  }
  below.insert(below.end(), {typeGroupBox_, srateGroupBox_, gainGroupBox_});

  statusBar_ = new QLabel("     Scanning Ports...   WAIT ", this);
  statusBar_->setObjectName("StatusBar");
  statusBar_->setTextFormat(Qt::PlainText);
  statusBar_->setFont(StatusFont());
  statusBar_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  statusBar_->setIndent(2);
  statusBar_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  PaintBackground(*statusBar_, StandardColour());

  for (QWidget* widget : below) anchored_.emplace_back(widget, widget->y());

  // The hint of the control under the mouse: every widget reports entering and leaving.
  installEventFilter(this);
  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

void MainWindow::BindChoice(QCheckBox* box, Choice choice) {
  // clicked, not toggled: only the operator's click is a choice.
  connect(box, &QCheckBox::clicked, this, [this, choice](bool ticked) { emit ChoiceClicked(choice, ticked); });
}

QSize MainWindow::ScreenSize() const {
  if (screenSize_.isValid()) return screenSize_;
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->geometry().size() : QSize(1280, 1024);
}

void MainWindow::ShowFailure(const QString& text) {
  auto* box = new QMessageBox(QMessageBox::Critical, "VOXA Monitor", text, QMessageBox::Ok, this);
  box->setObjectName("FailureBox");
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

int MainWindow::FormWidth() const { return width() + kFrameWidth; }
int MainWindow::FormHeight() const { return height() + kFrameHeight; }

void MainWindow::SetFormHeight(int height) {
  resize(width(), height - kFrameHeight);
  HandleResize();
}

void MainWindow::SetFormWidth(int width) {
  resize(width - kFrameWidth, height());
  HandleResize();
}

// --- The window's own handlers ------------------------------------------------

void MainWindow::FormDblClick() {
  boot_.show();
  boot_.raise();
  boot_.activateWindow();
}

void MainWindow::FormResize() {
  plotSize_ = PlotSizeForWindow(FormWidth(), FormHeight(), plotMinWidth_);
  imagePanel_->resize(plotSize_.width, plotSize_.height);
  plotImage_->resize(plotSize_.width, plotSize_.height);
  emit PlotResized(plotSize_.width, plotSize_.height);
}

void MainWindow::HandleResize() {
  PlaceAnchoredControls();
  // A size already handled is not a change: a resize made while the window
  // was hidden is reported again when it is shown.
  if (size() == handledSize_) return;
  handledSize_ = size();
  FormResize();
}

void MainWindow::PlaceAnchoredControls() {
  const int shift = height() - kDesignClientHeight;
  for (const auto& [widget, designTop] : anchored_) widget->move(widget->x(), designTop + shift);
  statusBar_->setGeometry(0, height() - kStatusBarHeight, width(), kStatusBarHeight);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  HandleResize();
}

void MainWindow::mouseDoubleClickEvent(QMouseEvent* event) {
  // Only the window's free area: a double click on a control is the control's.
  if (childAt(event->position().toPoint()) == nullptr) FormDblClick();
  event->accept();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (closeHandler_ && !closeHandler_()) {
    event->ignore();
    return;
  }
  event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Enter || event->type() == QEvent::Leave) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget != nullptr) {
      // Leaving a control puts the mouse back on the control around it.
      PointAt(event->type() == QEvent::Enter ? widget : (widget == this ? nullptr : widget->parentWidget()));
    }
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::PointAt(QWidget* widget) {
  // A control without a hint shows the hint of the control around it.
  QString hint;
  for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
    if (!w->statusTip().isEmpty()) {
      hint = w->statusTip();
      break;
    }
    if (w == this) break;
  }
  if (hint == pointedHint_) return;
  pointedHint_ = hint;
  if (idle_) statusBar_->setText(hint);
}

// --- Start-up ----------------------------------------------------------------

void MainWindow::SetSize() {
  if (ScreenSize().height() <= 795) {
    move(1, 1);
    plotImage_->resize(plotImage_->width(), 369);
    imagePanel_->resize(imagePanel_->width(), 369);
    SetFormHeight(595);
    boot_.move(140, 1);
    boot_.SetMemoHeight(561);
    boot_.SetFormHeight(595);
  } else {
    move(241, 114);
    SetFormHeight(795);
    imagePanel_->resize(imagePanel_->width(), 577);
    plotImage_->resize(plotImage_->width(), 577);
    boot_.move(450, 90);
    boot_.SetFormHeight(795);
    boot_.SetMemoHeight(761);
  }
}

void MainWindow::ShowServingAddress(const std::string& address) {
  setWindowTitle(QString(kTitle) + "   " + QString::fromStdString(address));
}

PlotSize MainWindow::InitPlotGeometry() {
  const QString hint = " 1st Order High Pass @ " + QString::fromStdString(FixedText(kHighPassCorner, 3, 1)) + " Hz";
  filterCheckBox_->setStatusTip(hint);
  filterCheckBox_->setToolTip(hint);
  plotSize_ = {plotImage_->width(), plotImage_->height()};
  plotMinWidth_ = plotSize_.width - 10;
  return plotSize_;
}

// --- RunView -----------------------------------------------------------------

std::string MainWindow::PortText() const { return portComboBox_->currentText().toStdString(); }

void MainWindow::SetPortText(const std::string& name) { portComboBox_->setEditText(QString::fromStdString(name)); }

void MainWindow::AddPort(const std::string& name) {
  const QString text = QString::fromStdString(name);
  portComboBox_->addItem(text);
  portComboBox_->setItemData(portComboBox_->count() - 1, text, Qt::ToolTipRole);
  portComboBox_->setCurrentIndex(portComboBox_->count() - 1);
  // The stable names under /dev/serial/by-id/ carry the adapter's name and
  // are long: the list opens as wide as its longest name.
  const int wanted = portComboBox_->fontMetrics().horizontalAdvance(text) + 40;
  if (wanted > portComboBox_->view()->minimumWidth()) portComboBox_->view()->setMinimumWidth(wanted);
}

void MainWindow::SetPortBoxEnabled(bool enabled) { portComboBox_->setEnabled(enabled); }

std::string MainWindow::StartCaption() const { return startPanel_->text().toStdString(); }

void MainWindow::ShowStartPanel(const std::string& caption, StatusColour colour, bool enabled) {
  startPanel_->setText(QString::fromStdString(caption));
  startPanel_->SetColour(ColourOf(colour));
  startPanel_->setEnabled(enabled);
}

void MainWindow::SetParameterControlsEnabled(bool enabled) {
  for (QWidget* widget : std::initializer_list<QWidget*>{portComboBox_, typeGroupBox_, srateGroupBox_, gainGroupBox_,
                                                         saveGroupBox_, autoScaleCheckBox_, loadGroupBox_}) {
    widget->setEnabled(enabled);
  }
}

void MainWindow::ShowChoices(const RunOptions& choices) {
  saveStreamCheckBox_->setChecked(choices.saveStream);
  saveErrorCheckBox_->setChecked(choices.saveErrorList);
  saveShiftCheckBox_->setChecked(choices.saveShift);
  saveMseedCheckBox_->setChecked(choices.saveMseed);
  loadExtCheckBox_->setChecked(choices.loadExtHeader);
  autoScaleCheckBox_->setChecked(choices.autoScale);
  offsetCheckBox_->setChecked(choices.resetOffset);
  filterCheckBox_->setChecked(choices.highPass);
  reconnectCheckBox_->setChecked(choices.reconnect);
  // While the filter is on, "RST Offset" is its business.
  offsetCheckBox_->setEnabled(!choices.highPass);
}

void MainWindow::SetLoadExtColour(StatusColour colour) { PaintBackground(*loadExtCheckBox_, ColourOf(colour)); }

QCheckBox* MainWindow::OutputBox(OutputFile file) const {
  switch (file) {
    case OutputFile::ErrorList: return saveErrorCheckBox_;
    case OutputFile::ShiftList: return saveShiftCheckBox_;
    case OutputFile::Archive: return saveMseedCheckBox_;
    case OutputFile::Stream: break;
  }
  return saveStreamCheckBox_;
}

void MainWindow::MarkOutputFileFailed(OutputFile file, const std::string& reason) {
  QCheckBox* box = OutputBox(file);
  PaintBackground(*box, kRedColour);
  box->setToolTip(QString::fromStdString(reason));
  box->setStatusTip(" " + QString::fromStdString(reason));
}

void MainWindow::ShowDeviceIdentity(const std::string& number, const std::string& version) {
  devNoLabel_->setText(QString::fromStdString(number));
  versionLabel_->setText(QString::fromStdString(version));
}

void MainWindow::ShowParameters(const DeviceParameters& parameters) {
  // A value no button offers (gain 128 from a header) selects none, so the
  // previous button stays selected.
  if (parameters.channels == 1) ch1RadioButton_->setChecked(true);
  if (parameters.channels == 3) ch3RadioButton_->setChecked(true);
  for (const auto& [button, value] : gainButtons_) {
    if (value == parameters.gain) button->setChecked(true);
  }
  for (const auto& [button, value] : rateButtons_) {
    if (value == parameters.rate) button->setChecked(true);
  }
}

void MainWindow::SetPlotToScreenSize() {
  const QSize screen = ScreenSize();
  raster_.Resize(screen.width(), screen.height());
  plotImage_->update();
}

// --- Host --------------------------------------------------------------------

void MainWindow::ShowLabel(Label label, std::string_view text) {
  QLabel* target = labels_[static_cast<size_t>(label)];
  if (target != nullptr) target->setText(Text(text));
}

void MainWindow::ShowStatus(std::string_view text, StatusColour colour) {
  statusBar_->setText(Text(text));
  PaintBackground(*statusBar_, ColourOf(colour));
}

void MainWindow::ShowBootWindow() {
  boot_.show();
  boot_.raise();
}

void MainWindow::AppendBootLine(std::string_view line) { boot_.AppendLine(Text(line)); }

void MainWindow::RaiseMainWindow() {
  raise();
  activateWindow();
}

void MainWindow::Repaint() { plotImage_->update(); }

}  // namespace voxa
