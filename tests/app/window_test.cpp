// The main window offscreen: its controls as laid out, its clicks reaching the
// run's choices and parameters (and code that sets a control never counting as
// a click), the geometry by screen height and on resize, the hints in the
// status bar, and what the window shows when it is told.
#include <QApplication>
#include <QCheckBox>
#include <QStyle>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStyleFactory>
#include <QTest>
#include <array>
#include <memory>
#include <vector>

#include "app/click_panel.h"
#include "app/window_style.h"
#include "app/command_line.h"
#include "app/monitor.h"

namespace voxa {
namespace {

// The controls as designed. In `at`, an x of 0 leaves x unchecked (a group
// box's value labels sit where their column puts them), an empty size leaves
// the size unchecked, and an empty rect the place too.
struct Control {
  const char* name;
  const char* caption;
  QRect at;
  int pixelSize;
  bool bold;
};
const Control kControls[] = {
    {"ImagePanel", "", {8, 0, 997, 377}, 16, false},
    {"GPSStampLabel", "GPS Clock", {240, 384, 81, 16}, 13, true},
    {"SatLabel", "00", {256, 424, 0, 0}, 13, true},
    {"SatNameLabel", "Sats", {280, 424, 0, 0}, 13, true},
    {"ShiftLabel", "Time Shift", {328, 384, 81, 16}, 13, true},
    {"TempLabel", "Temp.", {416, 384, 65, 16}, 13, true},
    {"TempCLabel", "\u00b0C", {456, 408, 25, 16}, 13, true},
    {"ZoomLabel", "Zoom", {488, 384, 57, 16}, 13, true},
    {"ZoomInPanel", "++", {488, 408, 25, 25}, 16, true},
    {"ZoomOutPanel", "- -", {520, 408, 25, 25}, 16, true},
    {"AmplitudeLabel", "Amplitude", {552, 384, 89, 16}, 13, true},
    {"DecAmpPanel", "- -", {568, 408, 25, 25}, 16, true},
    {"IncAmpPanel", "++", {600, 408, 25, 25}, 16, true},
    {"ReconnectCheckBox", "Reconnect", {8, 380, 97, 17}, 13, true},
    {"PortComboBox", "No ser. Port", {8, 400, 105, 24}, 16, false},
    {"AutoScaleCheckBox", "Auto Scale", {8, 432, 97, 17}, 13, true},
    {"OffsetCheckBox", "RST Offset", {8, 456, 97, 17}, 13, true},
    {"FilterCheckBox", "High Pass", {8, 483, 97, 17}, 13, true},
    {"StartPanel", "START", {10, 508, 89, 25}, 16, true},
    {"LoadGroupBox", " Load ", {112, 384, 117, 41}, 13, true},
    {"LoadExtCheckBox", "Ext. Header", {8, 18, 0, 0}, 13, false},
    {"SaveGroupBox", " Save ", {112, 428, 117, 109}, 13, true},
    {"SaveErrorCheckBox", "Save Err List", {8, 20, 0, 0}, 13, false},
    {"SaveShiftCheckBox", "Save Shift", {8, 42, 0, 0}, 13, false},
    {"SaveStreamCheckBox", "Save Stream", {8, 64, 0, 0}, 13, false},
    {"SaveMseedCheckBox", "Save miniSEED", {8, 86, 108, 17}, 12, false},
    {"ErrorGroupBox", " Error List ", {232, 440, 113, 97}, 13, true},
    {"BlockLabel", "Block Err", {8, 24, 0, 0}, 13, false},
    {"BlockErrorLabel", "0", {0, 24, 0, 0}, 13, true},
    {"spsLabel", "sps Err", {8, 48, 0, 0}, 13, false},
    {"spsErrorLabel", "0", {0, 48, 0, 0}, 13, true},
    {"SecLabel", "Sec Err", {8, 72, 0, 0}, 13, false},
    {"SecErrorLabel", "0", {0, 72, 0, 0}, 13, true},
    {"Ch1Label", "Ch 1", {352, 464, 0, 0}, 13, true},
    {"Ch2Label", "Ch 2", {352, 488, 0, 0}, 13, true},
    {"Ch3Label", "Ch 3", {352, 512, 0, 0}, 13, true},
    {"NoiseGroupBox", " Dynamic Range ", {384, 440, 161, 97}, 13, true},
    {"AmplitudeGroupBox", " Volt PP ", {552, 440, 89, 97}, 13, true},
    {"OffsetGroupBox", " Offset ", {648, 440, 89, 97}, 13, true},
    {"VersionGroupBox", " Version ", {648, 384, 89, 49}, 13, true},
    {"DevNoGroupBox", " Voxa No. ", {744, 384, 105, 49}, 13, true},
    {"DevNoLabel", "000", {0, 24, 0, 0}, 13, true},
    {"TypeGroupBox", " Voxa Type ", {744, 440, 105, 97}, 13, true},
    {"Ch1RadioButton", "1 Channel", {}, 13, false},
    {"Ch3RadioButton", "3 Channels", {}, 13, false},
    {"SrateGroupBox", " Srate ", {856, 384, 81, 153}, 13, true},
    {"sps50RadioButton", "  50 sps", {}, 13, false},
    {"sps100RadioButton", "100 sps", {}, 13, false},
    {"sps800RadioButton", "800 sps", {}, 13, false},
    {"GainGroupBox", " Gain ", {944, 384, 57, 153}, 13, true},
    {"Gain1RadioButton", "  1", {}, 13, false},
    {"Gain8RadioButton", "  8", {}, 13, false},
    {"Gain16RadioButton", "16", {}, 13, false},
    {"Gain64RadioButton", "64", {}, 13, false},
    {"StatusBar", "     Scanning Ports...   WAIT ", {0, 567 - 29, 1015, 29}, 16, true},
};
// Until the start-up has scanned the ports.
const QStringList kDisabledAtStart{"PortComboBox", "StartPanel"};
// Every other check box and radio button starts unticked.
const QStringList kTickedAtStart{"OffsetCheckBox", "LoadExtCheckBox", "Ch3RadioButton", "sps100RadioButton",
                                 "Gain16RadioButton"};

struct Zoom {
  const char* legend;
  int rate, channels, start;
  const char* panel;
  std::vector<int> steps;  // the screen seconds after each click
};
const Zoom kZooms[] = {
    {"zoom in from 8", 100, 3, 8, "ZoomInPanel", {4, 2, 1, 1}},
    {"zoom in from 3", 100, 3, 3, "ZoomInPanel", {1}},
    {"zoom out 100 sps 3 ch", 100, 3, 8, "ZoomOutPanel", {16, 32, 64, 128, 256, 256}},
    {"zoom out 800 sps 1 ch", 800, 1, 32, "ZoomOutPanel", {64, 96, 96}},
    {"zoom out 50 sps 1 ch", 50, 1, 512, "ZoomOutPanel", {1024, 1536, 1536}},
};

struct ShownParameters {
  const char* legend;
  DeviceParameters parameters;
  std::vector<const char*> selected;
};
const ShownParameters kShownParameters[] = {
    {"every value offered", {800, 1, 64}, {"Ch1RadioButton", "Gain64RadioButton", "sps800RadioButton"}},
    {"gain 128 keeps the button", {200, 3, 128}, {"Ch3RadioButton", "Gain16RadioButton", "sps200RadioButton"}},
    {"rate 300 keeps the button", {300, 3, 2}, {"Gain2RadioButton", "sps100RadioButton"}},
    {"2 channels keep the button", {100, 2, 16}, {"Ch3RadioButton"}},
};

// The boot window is as tall as the main window in every placement.
struct Placement {
  const char* legend;
  int screenHeight;
  QPoint position;
  int formHeight, plotHeight;
  QPoint bootPosition;
  int memoHeight;
};
const Placement kPlacements[] = {
    {"768: plot set by the resize", 768, {1, 1}, 595, 374, {140, 1}, 561},
    {"795: still the small placement", 795, {1, 1}, 595, 374, {140, 1}, 561},
    {"1080: plot set after the resize", 1080, {241, 114}, 795, 577, {450, 90}, 761},
};

// One QtTest data row per table row, named by its legend.
template <typename Row, size_t N>
void AddRows(const Row (&rows)[N]) {
  QTest::addColumn<int>("row");
  for (size_t i = 0; i < N; ++i) QTest::newRow(rows[i].legend) << static_cast<int>(i);
}

QString CaptionOf(const QWidget* widget) {
  if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
  if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
  if (auto* group = qobject_cast<const QGroupBox*>(widget)) return group->title();
  if (auto* combo = qobject_cast<const QComboBox*>(widget)) return combo->currentText();
  return {};
}

// The colour a widget is drawn with, taken from a pixel near its top right
// corner, where neither caption nor frame reaches.
QColor Painted(QWidget* widget) {
  const QImage image = widget->grab().toImage();
  return image.pixelColor(image.width() - 3, 2);
}

void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center()); }

void SendMouse(QWidget* widget, QEvent::Type type, QPoint at) {
  QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                    type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &event);
}

void Enter(QWidget* widget) {
  QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
  QApplication::sendEvent(widget, &event);
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<Monitor> monitor_;
  MainWindow& Window() { return monitor_->Window(); }
  const RunPipeline& Pipeline() { return monitor_->Pipeline(); }
  Screen& MutableScreen() { return monitor_->Controller().MutablePipeline().MutableScreen(); }
  const Screen& ScreenState() { return Pipeline().ScreenState(); }
  const DeviceParameters& Parameters() { return Pipeline().Device().Parameters(); }
  void Rebuild(const MonitorOptions& options) { monitor_ = std::make_unique<Monitor>(options); }
  template <typename T = QWidget>
  T* Find(const char* name) {
    T* widget = Window().findChild<T*>(name);
    if (widget == nullptr) qFatal("no control named %s", name);
    return widget;
  }
  QString Status() { return Find<QLabel>("StatusBar")->text(); }

 private slots:
  void initTestCase() {
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    InstallFontFallbacks();
  }
  void init() { monitor_ = std::make_unique<Monitor>(); }
  void cleanup() { monitor_.reset(); }

  void controlsAsDesigned_data() {
    QTest::addColumn<int>("row");
    for (size_t i = 0; i < std::size(kControls); ++i) QTest::newRow(kControls[i].name) << static_cast<int>(i);
  }
  void controlsAsDesigned() {
    QFETCH(int, row);
    const Control& c = kControls[row];
    QWidget* widget = Find(c.name);
    QCOMPARE(CaptionOf(widget), QString::fromUtf8(c.caption));
    if (c.at.x() != 0) QCOMPARE(widget->x(), c.at.x());
    if (c.at.topLeft() != QPoint()) QCOMPARE(widget->y(), c.at.y());
    if (!c.at.size().isEmpty()) QCOMPARE(widget->size(), c.at.size());
    QCOMPARE(widget->font().pixelSize(), c.pixelSize);
    QCOMPARE(widget->font().bold(), c.bold);
    QCOMPARE(widget->isEnabled(), !kDisabledAtStart.contains(c.name));
    if (auto* box = qobject_cast<QAbstractButton*>(widget)) QCOMPARE(box->isChecked(), kTickedAtStart.contains(c.name));
  }

  // A caption cut short hides what a box does: every check box holds its
  // indicator and its whole caption, and fits inside its group.
  void captionsFit() {
    for (QCheckBox* box : Window().findChildren<QCheckBox*>()) {
      const QStyle* style = box->style();
      const int needed = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box) +
                         style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box) +
                         box->fontMetrics().horizontalAdvance(box->text());
      QVERIFY2(needed <= box->width(), qPrintable(box->text() + " needs " + QString::number(needed) + " px, has " +
                                                    QString::number(box->width())));
      const QWidget* parent = box->parentWidget();
      if (parent != &Window()) QVERIFY2(box->geometry().right() < parent->width(), qPrintable(box->text()));
    }
  }

  void windowsAsDesigned() {
    QCOMPARE(Window().windowTitle(), QString("   VOXA  Monitor") + QString(88, ' ') + "Ver.  30-Jan-2014");
    QCOMPARE(QSize(Window().FormWidth(), Window().FormHeight()), QSize(1023, 598));
    QCOMPARE(Window().pos(), QPoint(231, 143));
    QVERIFY(!Window().windowIcon().isNull());
    QCOMPARE(Find("StatusBar")->font().family(), QString("Tahoma"));
    QCOMPARE(Find("GPSStampLabel")->font().family(), QString("MS Sans Serif"));

    BootWindow& boot = monitor_->Boot();
    QCOMPARE(boot.windowTitle(), QString(" Velmora Boot"));
    QVERIFY(!boot.isVisible());
    QVERIFY(!(boot.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint)));
    QCOMPARE(boot.pos(), QPoint(394, 108));
    QCOMPARE(boot.FormHeight(), 595);
    const QFont memoFont = boot.BootMemo()->font();
    QCOMPARE(boot.BootMemo()->geometry(), QRect(0, 0, 569, 561));
    QCOMPARE(memoFont.family(), QString("Courier New"));
    QCOMPARE(memoFont.pixelSize(), 12);
    QVERIFY(memoFont.bold());
  }

  void radioButtonsSetTheParameters() {
    const struct {
      const char* name;
      int32_t DeviceParameters::*parameter;
      int32_t value;
    } rows[] = {{"sps50RadioButton", &DeviceParameters::rate, 50},   {"sps400RadioButton", &DeviceParameters::rate, 400},
                {"Gain1RadioButton", &DeviceParameters::gain, 1},    {"Gain32RadioButton", &DeviceParameters::gain, 32},
                {"Ch1RadioButton", &DeviceParameters::channels, 1}, {"Ch3RadioButton", &DeviceParameters::channels, 3}};
    for (const auto& row : rows) {
      Click(Find(row.name));
      QVERIFY2(Parameters().*row.parameter == row.value, row.name);
    }
  }

  void zoomPanels_data() { AddRows(kZooms); }
  void zoomPanels() {
    QFETCH(int, row);
    const Zoom& zoom = kZooms[row];
    MonitorOptions options;
    options.parameters = {zoom.rate, zoom.channels, 16};
    options.screenSeconds = zoom.start;
    Rebuild(options);
    for (int expected : zoom.steps) {
      MutableScreen().SetNewScreenDue(false);
      Click(Find(zoom.panel));
      QCOMPARE(ScreenState().ScreenSeconds(), expected);
      // The screen in progress ends with the next completed second.
      QCOMPARE(ScreenState().ScreenSecond(), expected);
      QVERIFY(ScreenState().NewScreenDue());
    }
  }

  void amplitudePanels() {
    const struct {
      const char* legend;
      const char* panel;
      int32_t channels;
      std::array<int32_t, 3> before, after;
    } rows[] = {
        {"up: quarter, halves to even", "IncAmpPanel", 3, {2, 6, 10}, {1, 2, 2}},
        {"up: 14 gives 4", "IncAmpPanel", 3, {14, 1, 4}, {4, 1, 1}},
        {"up: only the channels in use", "IncAmpPanel", 1, {400, 400, 400}, {100, 400, 400}},
        {"down: times four, at most 100000", "DecAmpPanel", 3, {30000, 100000, 5}, {100000, 100000, 20}},
    };
    for (const auto& row : rows) {
      MonitorOptions options;
      options.parameters.channels = row.channels;
      Rebuild(options);
      MutableScreen().SetScale(row.before);
      MutableScreen().SetNewScreenDue(false);
      Click(Find(row.panel));
      QVERIFY2(ScreenState().Scale() == row.after, row.legend);
      QVERIFY2(!ScreenState().NewScreenDue(), row.legend);
    }
  }

  void panelClicksOnlyWhenPressedAndReleasedInside() {
    auto* panel = Find<ClickPanel>("ZoomInPanel");
    int clicks = 0;
    connect(panel, &ClickPanel::clicked, this, [&clicks] { ++clicks; });
    const QPoint inside = panel->rect().center();
    // A double click is one click: the second press belongs to the double click.
    SendMouse(panel, QEvent::MouseButtonPress, inside);
    SendMouse(panel, QEvent::MouseButtonRelease, inside);
    SendMouse(panel, QEvent::MouseButtonDblClick, inside);
    SendMouse(panel, QEvent::MouseButtonRelease, inside);
    QCOMPARE(clicks, 1);
    SendMouse(panel, QEvent::MouseButtonPress, inside);
    SendMouse(panel, QEvent::MouseButtonRelease, QPoint(-5, -5));  // released outside
    QCOMPARE(clicks, 1);
    panel->setEnabled(false);  // as START is while a run is prepared
    Click(panel);
    QCOMPARE(clicks, 1);
    QCOMPARE(ScreenState().ScreenSeconds(), 4);
  }

  void offsetResetAndTheHighPassThatTakesItOver() {
    MonitorOptions options;
    options.parameters.rate = 400;
    Rebuild(options);
    auto* filter = Find<QCheckBox>("FilterCheckBox");
    auto* offset = Find<QCheckBox>("OffsetCheckBox");
    Click(filter);
    QVERIFY(ScreenState().HighPassOn() && !ScreenState().ResetOffset());
    QVERIFY(monitor_->Controller().Choices().highPass && !monitor_->Controller().Choices().resetOffset);
    QVERIFY(!offset->isChecked() && !offset->isEnabled());
    QCOMPARE(ScreenState().HighPass().Rate(), 0);  // while idle the filter is set up at START, not here

    Click(filter);
    QVERIFY(!ScreenState().HighPassOn() && ScreenState().ResetOffset());
    QVERIFY(offset->isChecked() && offset->isEnabled());
    Click(offset);
    QVERIFY(!ScreenState().ResetOffset());
    Click(offset);
    QVERIFY(ScreenState().ResetOffset());

    // Ticked during a run, the filter starts from a set-up for the rate in
    // force: here the run waits in the pause after a missing config.txt.
    RunController& controller = monitor_->Controller();
    controller.SetPortScan([] { return std::vector<std::string>{}; }, [](const std::string&) { return false; });
    controller.SetConfigPath("no-such-config.txt");
    controller.SetConfigMissingPause(3600 * 1000);
    controller.StartTimerTimer();
    controller.StartPanelClick();
    QCOMPARE(controller.CurrentPhase(), RunController::Phase::Preparing);
    Click(filter);
    QVERIFY(ScreenState().HighPassOn());
    QCOMPARE(ScreenState().HighPass().Rate(), 400);
  }

  // The window shows what it is told; showing is never a click.
  void shownParametersAreNotChosenOnes_data() { AddRows(kShownParameters); }
  void shownParametersAreNotChosenOnes() {
    QFETCH(int, row);
    const ShownParameters& shown = kShownParameters[row];
    Window().ShowDeviceIdentity("015", "V2.07");
    Window().ShowParameters(shown.parameters);
    QCOMPARE(Find<QLabel>("DevNoLabel")->text(), QString("015"));
    QCOMPARE(Find<QLabel>("VersionLabel")->text(), QString("V2.07"));
    for (const char* name : shown.selected) QVERIFY2(Find<QRadioButton>(name)->isChecked(), name);
    QCOMPARE((QList<int>{Parameters().rate, Parameters().channels, Parameters().gain}), (QList<int>{100, 3, 16}));

    RunOptions all;
    all.saveStream = all.saveErrorList = all.saveShift = all.autoScale = all.highPass = true;
    all.loadExtHeader = all.resetOffset = false;
    Window().ShowChoices(all);
    QVERIFY(Find<QCheckBox>("SaveStreamCheckBox")->isChecked() && !Find<QCheckBox>("LoadExtCheckBox")->isChecked());
    QVERIFY(!Find("OffsetCheckBox")->isEnabled());
    const RunOptions& choices = monitor_->Controller().Choices();
    QVERIFY(!choices.saveStream && !choices.saveErrorList && !choices.highPass && choices.loadExtHeader);
    QVERIFY(!ScreenState().HighPassOn() && ScreenState().ResetOffset());
  }

  void checkBoxClicksAreTheChoices() {
    const struct {
      const char* name;
      bool RunOptions::*choice;
    } rows[] = {{"SaveStreamCheckBox", &RunOptions::saveStream},
                {"SaveErrorCheckBox", &RunOptions::saveErrorList},
                {"SaveShiftCheckBox", &RunOptions::saveShift},
                {"SaveMseedCheckBox", &RunOptions::saveMseed},
                {"LoadExtCheckBox", &RunOptions::loadExtHeader},
                {"AutoScaleCheckBox", &RunOptions::autoScale},
                {"ReconnectCheckBox", &RunOptions::reconnect}};
    for (const auto& row : rows) {
      const bool before = monitor_->Controller().Choices().*row.choice;
      Click(Find(row.name));
      QVERIFY2(monitor_->Controller().Choices().*row.choice == !before, row.name);
      QVERIFY2(Find<QCheckBox>(row.name)->isChecked() == !before, row.name);
    }
  }

  void placementByScreenHeightAndResize_data() { AddRows(kPlacements); }
  void placementByScreenHeightAndResize() {
    QFETCH(int, row);
    const Placement& p = kPlacements[row];
    Window().SetScreenSize(QSize(1920, p.screenHeight));
    RunController& controller = monitor_->Controller();
    controller.SetPortScan([] { return std::vector<std::string>{}; }, [](const std::string&) { return false; });
    controller.StartTimerTimer();  // placement and plot geometry
    QCOMPARE(Window().pos(), p.position);
    QCOMPARE(Window().FormHeight(), p.formHeight);
    QCOMPARE(ScreenState().PlotHeight(), p.plotHeight);
    QCOMPARE(Find("ImagePanel")->height(), p.plotHeight);
    QCOMPARE(Find("PlotImage")->height(), p.plotHeight);
    QCOMPARE(ScreenState().PlotWidth(), 1023 - 26);
    // The controls below the plot keep their distance to the bottom edge.
    const int clientHeight = p.formHeight - kFrameHeight;
    QCOMPARE(Find("StartPanel")->y(), 508 + clientHeight - 567);
    QCOMPARE(Find("GainGroupBox")->y(), 384 + clientHeight - 567);
    QCOMPARE(Find("StatusBar")->geometry().bottom(), clientHeight - 1);
    QVERIFY(Find("GPSStampLabel")->y() > p.plotHeight);
    BootWindow& boot = monitor_->Boot();
    QCOMPARE(boot.pos(), p.bootPosition);
    QCOMPARE(boot.FormHeight(), p.formHeight);
    QCOMPARE(boot.BootMemo()->height(), p.memoHeight);

    // Narrowing below the plot's start width minus 10 takes 15 more pixels off the height.
    const struct {
      int width;
      int plotHeightBelow;  // window height - 221 - PlotHeight
    } widths[] = {{1023 - 10, 0}, {1023 - 11, 15}, {1100, 0}};
    for (const auto& step : widths) {
      MutableScreen().SetNewScreenDue(false);
      Window().SetFormWidth(step.width);
      QCOMPARE(ScreenState().PlotWidth(), step.width - 26);
      QCOMPARE(Window().FormHeight() - 221 - ScreenState().PlotHeight(), step.plotHeightBelow);
      QCOMPARE(Find("PlotImage")->size(), QSize(ScreenState().PlotWidth(), ScreenState().PlotHeight()));
      QVERIFY(ScreenState().NewScreenDue());
    }
    // A tiny window stops at its minimum size, where the plot still has room.
    Window().resize(10, 10);
    QVERIFY(ScreenState().PlotWidth() >= 600 && ScreenState().PlotHeight() >= 150);
    QVERIFY(Find("StartPanel")->y() > ScreenState().PlotHeight());
  }

  void hintsFollowTheMouseWhileIdle() {
    Window().InitPlotGeometry();
    auto* filter = Find<QCheckBox>("FilterCheckBox");
    QCOMPARE(filter->statusTip(), QString(" 1st Order High Pass @ 0.5 Hz"));
    QCOMPARE(filter->toolTip(), filter->statusTip());

    Window().SetIdle(true);
    Window().ShowStatus("  Check Port No.", StatusColour::Yellow);
    Enter(Find("SaveStreamCheckBox"));
    QCOMPARE(Status(), QString(" Save received VOXA Data (VOXA Data Format)"));
    QEvent leave(QEvent::Leave);  // back on the group box, which has no hint
    QApplication::sendEvent(Find("SaveStreamCheckBox"), &leave);
    QCOMPARE(Status(), QString(""));
    Enter(Find("LoadExtCheckBox"));
    QCOMPARE(Status(), QString(" Load VOXA Config File (if available) to generate VOXA Data File Header"));
    Enter(Find("ZoomInPanel"));
    QCOMPARE(Status(), QString(""));
    Enter(filter);
    QCOMPARE(Status(), filter->statusTip());
    // The colour is the status bar's own; a hint changes only the text.
    QCOMPARE(Painted(Find("StatusBar")), kYellowColour);

    // During a run the status bar is the run's.
    Window().SetIdle(false);
    Window().ShowStatus("  waiting for VOXA... ", StatusColour::Silver);
    Enter(Find("OffsetCheckBox"));
    QCOMPARE(Status(), QString("  waiting for VOXA... "));
  }

  void showsWhatTheRunReports() {
    const struct {
      Label label;
      const char* control;
    } rows[] = {{Label::BlockErrors, "BlockErrorLabel"},
                {Label::SecErrors, "SecErrorLabel"},
                {Label::SpsErrors, "spsErrorLabel"},
                {Label::GpsClock, "GPSLabel"},
                {Label::Sats, "SatLabel"},
                {Label::Temp, "TempValLabel"},
                {Label::Shift, "ShiftValLabel"},
                {Label::Noise2, "Noise2Label"},
                {Label::Volt3, "Volt3Label"},
                {Label::Offset1, "Offset1Label"}};
    for (const auto& row : rows) {
      const QString text = QString("v%1 \u00b5V").arg(static_cast<int>(row.label));
      Window().ShowLabel(row.label, text.toStdString());
      QCOMPARE(Find<QLabel>(row.control)->text(), text);
    }

    Window().ShowStatus(" Ext. Header File missed; Screen Params loaded ", StatusColour::Red);
    QCOMPARE(Status(), QString(" Ext. Header File missed; Screen Params loaded "));
    QCOMPARE(Painted(Find("StatusBar")), kRedColour);

    auto* loadExt = Find<QCheckBox>("LoadExtCheckBox");
    Window().SetLoadExtColour(StatusColour::Lime);
    QCOMPARE(Painted(loadExt), kLimeColour);
    Window().MarkOutputFileFailed(OutputFile::ShiftList, "Cannot create '/media/sd/shift.csv': Read-only file system");
    QCOMPARE(Painted(Find("SaveShiftCheckBox")), kRedColour);
    QCOMPARE(Find("SaveShiftCheckBox")->toolTip(), QString("Cannot create '/media/sd/shift.csv': Read-only file system"));

    Window().AppendBootLine("VOXA boot 1");
    Window().AppendBootLine("SRATE=100");
    QCOMPARE(monitor_->Boot().BootMemo()->toPlainText(), QString("VOXA boot 1\nSRATE=100"));
  }

  void doubleClickOnTheFreeAreaShowsTheBootWindow() {
    Window().show();
    QVERIFY(QTest::qWaitForWindowExposed(&Window()));
    QTest::mouseDClick(Find("ZoomLabel"), Qt::LeftButton);  // on a control it is the control's
    QVERIFY(!monitor_->Boot().isVisible());
    QTest::mouseDClick(&Window(), Qt::LeftButton, {}, QPoint(3, 200));
    QVERIFY(monitor_->Boot().isVisible());
  }

  void commandLineOptionsReachTheRunAndTheControls() {
    const CommandLine commandLine = ParseCommandLine({"--save-stream", "--no-ext-header", "--high-pass", "--channels=1",
                                                      "--rate=800", "--gain=2", "--screen-seconds=50", "--reconnect"});
    Rebuild(commandLine.options);
    QVERIFY(Find<QCheckBox>("SaveStreamCheckBox")->isChecked());
    QVERIFY(!Find<QCheckBox>("LoadExtCheckBox")->isChecked());
    QVERIFY(Find<QCheckBox>("ReconnectCheckBox")->isChecked());
    QVERIFY(Find<QRadioButton>("sps800RadioButton")->isChecked());
    QVERIFY(Find<QRadioButton>("Ch1RadioButton")->isChecked());
    QVERIFY(Find<QRadioButton>("Gain2RadioButton")->isChecked());
    QVERIFY(Find<QCheckBox>("FilterCheckBox")->isChecked() && !Find<QCheckBox>("OffsetCheckBox")->isChecked());
    QVERIFY(!Find("OffsetCheckBox")->isEnabled());
    QVERIFY(ScreenState().HighPassOn() && !ScreenState().ResetOffset());
    QCOMPARE((QList<int>{Parameters().channels, Parameters().rate, Parameters().gain, ScreenState().ScreenSeconds()}),
             (QList<int>{1, 800, 2, 50}));
    const RunOptions& run = monitor_->Controller().Choices();
    QVERIFY(run.saveStream && !run.saveErrorList && !run.loadExtHeader && !run.resetOffset && run.highPass &&
            run.reconnect);
  }
};

}  // namespace voxa

QTEST_MAIN(voxa::WindowTest)
#include "window_test.moc"
