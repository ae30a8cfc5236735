// The main window offscreen: its controls as laid out, the handlers that set
// the acquisition parameters, the geometry by screen height and on resize,
// the hints in the status bar, and the window side of the stream code's Host.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStyleFactory>
#include <QTest>

#include <memory>
#include <vector>

#include "app/click_panel.h"
#include "app/look.h"
#include "app/monitor.h"

namespace voxa {
namespace {

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

void Leave(QWidget* widget) {
  QEvent event(QEvent::Leave);
  QApplication::sendEvent(widget, &event);
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<Monitor> monitor_;
  TVelmoraForm& Form() { return monitor_->Form(); }
  Acquisition& A() { return monitor_->State(); }
  template <typename T = QWidget>
  T* Find(const char* name) {
    T* widget = Form().findChild<T*>(name);
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
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("ticked");  // -1: not a check box or radio button
    struct Row {
      const char* name;
      const char* caption;
      QRect geometry;  // an empty size is not checked
      int pixelSize;
      bool bold;
      bool enabled;
      int ticked;
    };
    const Row rows[] = {
        {"ImagePanel", "", {8, 0, 997, 377}, 16, false, true, -1},
        {"GPSStampLabel", "GPS Clock", {240, 384, 81, 16}, 13, true, true, -1},
        {"GPSLabel", "", {248, 408, 65, 16}, 13, true, true, -1},
        {"SatLabel", "00", {256, 424, 0, 0}, 13, true, true, -1},
        {"SatNameLabel", "Sats", {280, 424, 0, 0}, 13, true, true, -1},
        {"ShiftLabel", "Time Shift", {328, 384, 81, 16}, 13, true, true, -1},
        {"ShiftValLabel", "", {336, 408, 73, 16}, 13, true, true, -1},
        {"TempLabel", "Temp.", {416, 384, 65, 16}, 13, true, true, -1},
        {"TempValLabel", "", {416, 408, 41, 16}, 13, true, true, -1},
        {"TempCLabel", "\u00b0C", {456, 408, 25, 16}, 13, true, true, -1},
        {"ZoomLabel", "Zoom", {488, 384, 57, 16}, 13, true, true, -1},
        {"ZoomInPanel", "++", {488, 408, 25, 25}, 16, true, true, -1},
        {"ZoomOutPanel", "- -", {520, 408, 25, 25}, 16, true, true, -1},
        {"AmplitudeLabel", "Amplitude", {552, 384, 89, 16}, 13, true, true, -1},
        {"DecAmpPanel", "- -", {568, 408, 25, 25}, 16, true, true, -1},
        {"IncAmpPanel", "++", {600, 408, 25, 25}, 16, true, true, -1},
        {"PortComboBox", "No ser. Port", {8, 400, 105, 24}, 16, false, false, -1},
        {"AutoScaleCheckBox", "Auto Scale", {8, 432, 97, 17}, 13, true, true, 0},
        {"OffsetCheckBox", "RST Offset", {8, 456, 97, 17}, 13, true, true, 1},
        {"FilterCheckBox", "High Pass", {8, 483, 97, 17}, 13, true, true, 0},
        {"StartPanel", "START", {10, 508, 89, 25}, 16, true, false, -1},
        {"LoadGroupBox", " Load ", {112, 384, 113, 49}, 13, true, true, -1},
        {"LoadExtCheckBox", "Ext. Header", {8, 24, 0, 0}, 13, false, true, 1},
        {"SaveGroupBox", " Save ", {112, 440, 113, 97}, 13, true, true, -1},
        {"SaveErrorCheckBox", "Save Err List", {8, 24, 0, 0}, 13, false, true, 0},
        {"SaveShiftCheckBox", "Save Shift", {8, 48, 0, 0}, 13, false, true, 0},
        {"SaveStreamCheckBox", "Save Stream", {8, 72, 0, 0}, 13, false, true, 0},
        {"ErrorGroupBox", " Error List ", {232, 440, 113, 97}, 13, true, true, -1},
        {"BlockLabel", "Block Err", {8, 24, 0, 0}, 13, false, true, -1},
        {"BlockErrorLabel", "0", {0, 24, 0, 0}, 13, true, true, -1},
        {"spsLabel", "sps Err", {8, 48, 0, 0}, 13, false, true, -1},
        {"spsErrorLabel", "0", {0, 48, 0, 0}, 13, true, true, -1},
        {"SecLabel", "Sec Err", {8, 72, 0, 0}, 13, false, true, -1},
        {"SecErrorLabel", "0", {0, 72, 0, 0}, 13, true, true, -1},
        {"Ch1Label", "Ch 1", {352, 464, 0, 0}, 13, true, true, -1},
        {"Ch2Label", "Ch 2", {352, 488, 0, 0}, 13, true, true, -1},
        {"Ch3Label", "Ch 3", {352, 512, 0, 0}, 13, true, true, -1},
        {"NoiseGroupBox", " Dynamic Range ", {384, 440, 161, 97}, 13, true, true, -1},
        {"Noise3Label", "", {0, 72, 0, 0}, 13, true, true, -1},
        {"AmplitudeGroupBox", " Volt PP ", {552, 440, 89, 97}, 13, true, true, -1},
        {"Volt2Label", "", {0, 48, 0, 0}, 13, true, true, -1},
        {"OffsetGroupBox", " Offset ", {648, 440, 89, 97}, 13, true, true, -1},
        {"Offset1Label", "", {0, 24, 0, 0}, 13, true, true, -1},
        {"VersionGroupBox", " Version ", {648, 384, 89, 49}, 13, true, true, -1},
        {"VersionLabel", "", {0, 24, 0, 0}, 13, true, true, -1},
        {"DevNoGroupBox", " Voxa No. ", {744, 384, 105, 49}, 13, true, true, -1},
        {"DevNoLabel", "000", {0, 24, 0, 0}, 13, true, true, -1},
        {"TypeGroupBox", " Voxa Type ", {744, 440, 105, 97}, 13, true, true, -1},
        {"Ch1RadioButton", "1 Channel", {}, 13, false, true, 0},
        {"Ch3RadioButton", "3 Channels", {}, 13, false, true, 1},
        {"SrateGroupBox", " Srate ", {856, 384, 81, 153}, 13, true, true, -1},
        {"sps50RadioButton", "  50 sps", {}, 13, false, true, 0},
        {"sps100RadioButton", "100 sps", {}, 13, false, true, 1},
        {"sps800RadioButton", "800 sps", {}, 13, false, true, 0},
        {"GainGroupBox", " Gain ", {944, 384, 57, 153}, 13, true, true, -1},
        {"Gain1RadioButton", "  1", {}, 13, false, true, 0},
        {"Gain8RadioButton", "  8", {}, 13, false, true, 0},
        {"Gain16RadioButton", "16", {}, 13, false, true, 1},
        {"Gain64RadioButton", "64", {}, 13, false, true, 0},
        {"StatusBar", "     Scanning Ports...   WAIT ", {0, 567 - 29, 1015, 29}, 16, true, true, -1},
    };
    for (const Row& row : rows) {
      QTest::newRow(row.name) << QString(row.name) << QString::fromUtf8(row.caption) << row.geometry
                              << row.pixelSize << row.bold << row.enabled << row.ticked;
    }
  }

  void controlsAsDesigned() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, geometry);
    QFETCH(int, pixelSize);
    QFETCH(bool, bold);
    QFETCH(bool, enabled);
    QFETCH(int, ticked);
    QWidget* widget = Find(name.toLatin1().constData());
    QCOMPARE(CaptionOf(widget), caption);
    if (!geometry.isNull()) {
      if (geometry.x() != 0 || geometry.y() != 0) {
        if (geometry.x() != 0) QCOMPARE(widget->x(), geometry.x());
        QCOMPARE(widget->y(), geometry.y());
      }
      if (!geometry.size().isEmpty()) QCOMPARE(widget->size(), geometry.size());
    }
    QCOMPARE(widget->font().pixelSize(), pixelSize);
    QCOMPARE(widget->font().bold(), bold);
    QCOMPARE(widget->isEnabled(), enabled);
    if (ticked >= 0) QCOMPARE(qobject_cast<QAbstractButton*>(widget)->isChecked(), ticked == 1);
  }

  void windowsAsDesigned() {
    const QString title = Form().windowTitle();
    QCOMPARE(title, QString("   VOXA  Monitor") + QString(88, ' ') + "Ver.  30-Jan-2014");
    QCOMPARE(Form().FormWidth(), 1023);
    QCOMPARE(Form().FormHeight(), 598);
    QCOMPARE(Form().pos(), QPoint(231, 143));
    QVERIFY(!Form().windowIcon().isNull());
    QCOMPARE(Find<QLabel>("StatusBar")->font().family(), QString("Tahoma"));
    QCOMPARE(Find<QLabel>("GPSStampLabel")->font().family(), QString("MS Sans Serif"));

    TVelmoraBootForm& boot = monitor_->Boot();
    QCOMPARE(boot.windowTitle(), QString(" Velmora Boot"));
    QVERIFY(!boot.isVisible());
    QVERIFY(!(boot.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint)));
    QCOMPARE(boot.pos(), QPoint(394, 108));
    QCOMPARE(boot.FormHeight(), 595);
    QCOMPARE(boot.BootMemo()->geometry(), QRect(0, 0, 569, 561));
    QCOMPARE(boot.BootMemo()->font().family(), QString("Courier New"));
    QCOMPARE(boot.BootMemo()->font().pixelSize(), 12);
    QVERIFY(boot.BootMemo()->font().bold());
  }

  void radioButtonsAndOffsetBoxSetTheirVariables() {
    const struct {
      const char* name;
      int32_t Acquisition::*variable;
      int32_t value;
    } rows[] = {{"sps50RadioButton", &Acquisition::SampleRate, 50},  {"sps400RadioButton", &Acquisition::SampleRate, 400},
                {"Gain1RadioButton", &Acquisition::Gain, 1},         {"Gain32RadioButton", &Acquisition::Gain, 32},
                {"Ch1RadioButton", &Acquisition::ChannelCount, 1},   {"Ch3RadioButton", &Acquisition::ChannelCount, 3}};
    for (const auto& row : rows) {
      Click(Find(row.name));
      QVERIFY2(A().*row.variable == row.value, row.name);
    }
    // Selected by the program, a button runs the same handler.
    Find<QRadioButton>("sps800RadioButton")->setChecked(true);
    QCOMPARE(A().SampleRate, 800);

    auto* offset = Find<QCheckBox>("OffsetCheckBox");
    offset->setChecked(false);
    QCOMPARE(A().ResetOffset, false);
    Click(offset);
    QCOMPARE(A().ResetOffset, true);
  }

  void zoomPanels_data() {
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QList<int>>("steps");
    QTest::newRow("zoom in from 8") << 100 << 3 << 8 << "ZoomInPanel" << QList<int>{4, 2, 1, 1};
    QTest::newRow("zoom in from 3") << 100 << 3 << 3 << "ZoomInPanel" << QList<int>{1};
    QTest::newRow("zoom out 100 sps 3 ch") << 100 << 3 << 8 << "ZoomOutPanel"
                                           << QList<int>{16, 32, 64, 128, 256, 256};
    QTest::newRow("zoom out 800 sps 1 ch") << 800 << 1 << 32 << "ZoomOutPanel" << QList<int>{64, 96, 96};
    QTest::newRow("zoom out 50 sps 1 ch") << 50 << 1 << 512 << "ZoomOutPanel" << QList<int>{1024, 1536, 1536};
  }

  void zoomPanels() {
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(int, start);
    QFETCH(QString, panel);
    QFETCH(QList<int>, steps);
    A().SampleRate = rate;
    A().ChannelCount = channels;
    A().ScreenSeconds = start;
    for (int expected : steps) {
      A().NewScreen = false;
      Click(Find(panel.toLatin1().constData()));
      QCOMPARE(A().ScreenSeconds, expected);
      // The screen in progress ends with the next completed second.
      QCOMPARE(A().ScreenSecond, expected);
      QVERIFY(A().NewScreen);
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
      A().ChannelCount = row.channels;
      A().Scale = row.before;
      A().NewScreen = false;
      Click(Find(row.panel));
      QVERIFY2(A().Scale == row.after, row.legend);
      QVERIFY2(!A().NewScreen, row.legend);
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
    // Released outside: no click.
    SendMouse(panel, QEvent::MouseButtonPress, inside);
    SendMouse(panel, QEvent::MouseButtonRelease, QPoint(-5, -5));
    QCOMPARE(clicks, 1);
    // Disabled (START while a run is prepared): no click.
    panel->setEnabled(false);
    Click(panel);
    QCOMPARE(clicks, 1);
    QCOMPARE(A().ScreenSeconds, 4);
  }

  void highPassTakesOverTheOffsetReset() {
    auto* filter = Find<QCheckBox>("FilterCheckBox");
    auto* offset = Find<QCheckBox>("OffsetCheckBox");
    A().SampleRate = 400;
    A().HighPassRate = 0;
    Click(filter);
    QVERIFY(A().HighPass);
    QVERIFY(!offset->isChecked());
    QVERIFY(!offset->isEnabled());
    QVERIFY(!A().ResetOffset);
    // While idle the filter is set up at START, not here.
    QCOMPARE(A().HighPassRate, 0);

    Click(filter);
    QVERIFY(!A().HighPass);
    QVERIFY(offset->isEnabled());
    QVERIFY(offset->isChecked());
    QVERIFY(A().ResetOffset);

    // Ticked during a run, the filter starts from a set-up for the rate in force.
    Form().SetRunInProgress(true);
    Click(filter);
    QVERIFY(A().HighPass);
    QCOMPARE(A().HighPassRate, 400);
  }

  void setFormParams_data() {
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("gain");
    QTest::addColumn<int>("rate");
    QTest::addColumn<QStringList>("selected");
    QTest::addColumn<QList<int>>("after");  // ChannelCount, Gain, SampleRate
    QTest::newRow("every value offered") << 1 << 64 << 800
                                         << QStringList{"Ch1RadioButton", "Gain64RadioButton", "sps800RadioButton"}
                                         << QList<int>{1, 64, 800};
    QTest::newRow("gain 128 leaves the previous button")
        << 3 << 128 << 200 << QStringList{"Ch3RadioButton", "Gain16RadioButton", "sps200RadioButton"}
        << QList<int>{3, 128, 200};
    QTest::newRow("rate 300 leaves the previous button")
        << 3 << 2 << 300 << QStringList{"Gain2RadioButton", "sps100RadioButton"} << QList<int>{3, 2, 300};
    QTest::newRow("2 channels select one channel")
        << 2 << 16 << 100 << QStringList{"Ch1RadioButton"} << QList<int>{1, 16, 100};
  }

  void setFormParams() {
    QFETCH(int, channels);
    QFETCH(int, gain);
    QFETCH(int, rate);
    QFETCH(QStringList, selected);
    QFETCH(QList<int>, after);
    A().DeviceNumber = "015";
    A().FirmwareVersion = "V2.07";
    A().ChannelCount = channels;
    A().Gain = gain;
    A().SampleRate = rate;
    Form().SetFormParams();
    QCOMPARE(Find<QLabel>("DevNoLabel")->text(), QString("015"));
    QCOMPARE(Find<QLabel>("VersionLabel")->text(), QString("V2.07"));
    for (const QString& name : selected) QVERIFY2(Find<QRadioButton>(name.toLatin1())->isChecked(), qPrintable(name));
    QCOMPARE((QList<int>{A().ChannelCount, A().Gain, A().SampleRate}), after);
  }

  void placementByScreenHeight_data() {
    QTest::addColumn<int>("screenHeight");
    QTest::addColumn<QPoint>("position");
    QTest::addColumn<int>("formHeight");
    QTest::addColumn<int>("plotHeight");
    QTest::addColumn<QPoint>("bootPosition");
    QTest::addColumn<int>("bootHeight");
    QTest::addColumn<int>("memoHeight");
    QTest::newRow("768: plot set by the resize") << 768 << QPoint(1, 1) << 595 << 374 << QPoint(140, 1) << 595 << 561;
    QTest::newRow("795: still the small placement") << 795 << QPoint(1, 1) << 595 << 374 << QPoint(140, 1) << 595
                                                    << 561;
    QTest::newRow("1080: plot set after the resize")
        << 1080 << QPoint(241, 114) << 795 << 577 << QPoint(450, 90) << 795 << 761;
  }

  void placementByScreenHeight() {
    QFETCH(int, screenHeight);
    QFETCH(QPoint, position);
    QFETCH(int, formHeight);
    QFETCH(int, plotHeight);
    QFETCH(QPoint, bootPosition);
    QFETCH(int, bootHeight);
    QFETCH(int, memoHeight);
    Form().SetScreenSize(QSize(1920, screenHeight));
    Form().SetSize();
    Form().InitParams();
    QCOMPARE(Form().pos(), position);
    QCOMPARE(Form().FormHeight(), formHeight);
    QCOMPARE(A().PlotHeight, plotHeight);
    QCOMPARE(Find("ImagePanel")->height(), plotHeight);
    QCOMPARE(Find("PlotImage")->height(), plotHeight);
    QCOMPARE(A().PlotWidth, 1023 - 26);
    QCOMPARE(A().PlotMinWidth, 1023 - 36);
    // The controls below the plot keep their distance to the bottom edge.
    const int clientHeight = formHeight - kFrameHeight;
    QCOMPARE(Find("StartPanel")->y(), 508 + clientHeight - 567);
    QCOMPARE(Find("GainGroupBox")->y(), 384 + clientHeight - 567);
    QCOMPARE(Find("StatusBar")->geometry().bottom(), clientHeight - 1);
    QVERIFY(Find("GPSStampLabel")->y() > plotHeight);
    TVelmoraBootForm& boot = monitor_->Boot();
    QCOMPARE(boot.pos(), bootPosition);
    QCOMPARE(boot.FormHeight(), bootHeight);
    QCOMPARE(boot.BootMemo()->height(), memoHeight);
  }

  void resizeKeepsThePlotUsable() {
    Form().SetScreenSize(QSize(1920, 1080));
    Form().SetSize();
    Form().InitParams();
    // Narrowing below the plot's start width minus 10 takes 15 more pixels off the height.
    const struct {
      int width;
      int plotHeightBelow;  // window height - 221 - PlotHeight
    } rows[] = {{1023 - 10, 0}, {1023 - 11, 15}, {1100, 0}};
    for (const auto& row : rows) {
      A().Resized = false;
      Form().SetFormWidth(row.width);
      QCOMPARE(A().PlotWidth, row.width - 26);
      QCOMPARE(Form().FormHeight() - 221 - A().PlotHeight, row.plotHeightBelow);
      QCOMPARE(Find("PlotImage")->size(), QSize(A().PlotWidth, A().PlotHeight));
      QVERIFY(A().Resized && A().NewScreen);
    }
    // A tiny window stops at its minimum size, where the plot still has room.
    Form().resize(10, 10);
    QVERIFY(A().PlotWidth >= 600);
    QVERIFY(A().PlotHeight >= 150);
    QVERIFY(Find("StartPanel")->y() > A().PlotHeight);
  }

  void hintsFollowTheMouseWhileIdle() {
    Form().InitParams();
    auto* filter = Find<QCheckBox>("FilterCheckBox");
    QCOMPARE(filter->statusTip(), QString(" 1st Order High Pass @ 0.5 Hz"));
    QCOMPARE(filter->toolTip(), filter->statusTip());

    Form().SetIdle(true);
    Form().ShowStatus("  Check Port No.", StatusColour::Yellow);
    Enter(Find("SaveStreamCheckBox"));
    QCOMPARE(Status(), QString(" Save received VOXA Data (VOXA Data Format)"));
    Leave(Find("SaveStreamCheckBox"));  // back on the group box, which has no hint
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
    Form().SetIdle(false);
    Form().ShowStatus("  waiting for VOXA... ", StatusColour::Silver);
    Enter(Find("OffsetCheckBox"));
    QCOMPARE(Status(), QString("  waiting for VOXA... "));
  }

  void hostShowsWhatTheStreamReports() {
    const struct {
      Label label;
      const char* control;
    } rows[] = {{Label::BlockErrors, "BlockErrorLabel"}, {Label::SecErrors, "SecErrorLabel"},
                {Label::SpsErrors, "spsErrorLabel"},     {Label::GpsClock, "GPSLabel"},
                {Label::Sats, "SatLabel"},               {Label::Temp, "TempValLabel"},
                {Label::Shift, "ShiftValLabel"},         {Label::Noise2, "Noise2Label"},
                {Label::Volt3, "Volt3Label"},            {Label::Offset1, "Offset1Label"}};
    for (const auto& row : rows) {
      const QString text = QString("v%1 \u00b5V").arg(static_cast<int>(row.label));
      Form().ShowLabel(row.label, text.toStdString());
      QCOMPARE(Find<QLabel>(row.control)->text(), text);
    }

    Form().ShowStatus(" Ext. Header File missed; Screen Params loaded ", StatusColour::Red);
    QCOMPARE(Status(), QString(" Ext. Header File missed; Screen Params loaded "));
    QCOMPARE(Painted(Find("StatusBar")), kRedColour);

    A().DeviceNumber = "042";
    A().Gain = 4;
    Form().ShowDeviceHeader();
    auto* loadExt = Find<QCheckBox>("LoadExtCheckBox");
    QVERIFY(!loadExt->isChecked());
    QCOMPARE(Painted(loadExt), kLimeColour);
    QCOMPARE(Find<QLabel>("DevNoLabel")->text(), QString("042"));
    QVERIFY(Find<QRadioButton>("Gain4RadioButton")->isChecked());

    Form().AppendBootLine("VOXA boot 1");
    Form().AppendBootLine("SRATE=100");
    QCOMPARE(monitor_->Boot().BootMemo()->toPlainText(), QString("VOXA boot 1\nSRATE=100"));
  }

  void doubleClickOnTheFreeAreaShowsTheBootWindow() {
    Form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form()));
    // On a control it is the control's.
    QTest::mouseDClick(Find("ZoomLabel"), Qt::LeftButton);
    QVERIFY(!monitor_->Boot().isVisible());
    QTest::mouseDClick(&Form(), Qt::LeftButton, {}, QPoint(3, 200));
    QVERIFY(monitor_->Boot().isVisible());
  }

  void startOptionsGoThroughTheControls() {
    StartOptions options;
    options.saveStream = true;
    options.extHeader = false;
    options.highPass = true;
    options.channels = 1;
    options.rate = 800;
    options.gain = 2;
    options.screenSeconds = 50;
    Form().ApplyStartOptions(options);
    Form().InitParams();  // the start timer's program-start values keep them
    QVERIFY(Find<QCheckBox>("SaveStreamCheckBox")->isChecked());
    QVERIFY(!Find<QCheckBox>("LoadExtCheckBox")->isChecked());
    QVERIFY(Find<QRadioButton>("sps800RadioButton")->isChecked());
    QVERIFY(A().HighPass && !A().ResetOffset);
    QVERIFY(!Find("OffsetCheckBox")->isEnabled());
    QCOMPARE((QList<int>{A().ChannelCount, A().SampleRate, A().Gain, A().ScreenSeconds}),
             (QList<int>{1, 800, 2, 50}));
    const RunOptions run = Form().ReadRunOptions();
    QVERIFY(run.saveStream && !run.saveErrorList && !run.loadExtHeader && !run.resetOffset);
  }
};

}  // namespace voxa

QTEST_MAIN(voxa::WindowTest)
#include "window_test.moc"
