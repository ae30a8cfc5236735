// The Noise window: it draws the picture LayOutNoise lays out.
#include "app/noise_window.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace voxa {
namespace {

constexpr int kMarginLeft = 56, kMarginRight = 16, kMarginTop = 16, kMarginBottom = 40;
const QColor kChannelColours[] = {QColor(0, 90, 200), QColor(200, 40, 40), QColor(0, 140, 60)};

QPolygonF Polyline(const std::vector<NoisePoint>& points, const QPointF& origin) {
  QPolygonF polygon;
  for (const NoisePoint& p : points) polygon << origin + QPointF(p.x, p.y);
  return polygon;
}

}  // namespace

NoiseWindow::NoiseWindow(const RunPipeline& pipeline, QWidget* parent) : QWidget(parent), pipeline_(pipeline) {
  setObjectName("NoiseWindow");
  setWindowTitle("Noise");
  resize(720, 520);
  auto* fields = new QHBoxLayout;
  fields->addWidget(new QLabel("Sensor:"));
  sensitivity_ = new QLineEdit;
  sensitivity_->setObjectName("SensitivityEdit");
  sensitivity_->setPlaceholderText("V per unit");
  unit_ = new QComboBox;
  unit_->setObjectName("SensorUnitBox");
  unit_->addItems({"m/s", "m/s**2"});
  corner_ = new QLineEdit;
  corner_->setObjectName("CornerPeriodEdit");
  corner_->setPlaceholderText("corner s (flat)");
  auto* apply = new QPushButton("Use for the next run");
  apply->setObjectName("SensorApplyButton");
  fields->addWidget(sensitivity_);
  fields->addWidget(unit_);
  fields->addWidget(corner_);
  fields->addWidget(apply);
  sensorLine_ = new QLabel;
  sensorLine_->setObjectName("SensorLine");
  auto* column = new QVBoxLayout(this);
  column->addStretch(1);
  column->addLayout(fields);
  column->addWidget(sensorLine_);
  connect(apply, &QPushButton::clicked, this, &NoiseWindow::ApplyClicked);
  connect(&timer_, &QTimer::timeout, this, &NoiseWindow::Refresh);
  ShowSensor(pipeline_.NoiseSettings().sensor);
}

void NoiseWindow::ShowSensor(const SensorResponse& sensor) {
  sensitivity_->setText(sensor.Present() ? QString::number(sensor.sensitivity) : QString());
  unit_->setCurrentIndex(sensor.unit == SensorUnit::Acceleration ? 1 : 0);
  corner_->setText(sensor.cornerPeriod ? QString::number(*sensor.cornerPeriod) : QString());
  sensorLine_->setText(QString::fromStdString("Next run: " + SensorText(sensor)));
}

void NoiseWindow::ApplyClicked() {
  std::string problem;
  const std::optional<SensorResponse> sensor = ReadSensorFields(sensitivity_->text().toStdString(),
                                                                unit_->currentText().toStdString(),
                                                                corner_->text().toStdString(), problem);
  if (!sensor) {
    sensorLine_->setText(QString::fromStdString("Not used: " + problem));
    return;
  }
  emit SensorClicked(*sensor);
  ShowSensor(pipeline_.NoiseSettings().sensor);
}

QRect NoiseWindow::PlotArea() const {
  const int bottom = sensitivity_->geometry().top() - 8;
  return QRect(kMarginLeft, kMarginTop, std::max(40, width() - kMarginLeft - kMarginRight),
               std::max(40, bottom - kMarginTop - kMarginBottom));
}

void NoiseWindow::Refresh() {
  std::vector<NoiseChannelView> channels;
  streams_ = pipeline_.StreamCodeTexts();
  bool acceleration = pipeline_.NoiseSettings().sensor.Present();
  for (int32_t ch = 0; ch < pipeline_.NoiseChannels(); ++ch) {
    const ChannelPsd& psd = pipeline_.Noise(ch);
    NoiseChannelView view;
    view.stream = static_cast<size_t>(ch) < streams_.size() ? streams_[static_cast<size_t>(ch)] : "";
    view.periods = psd.Layout().periods;
    if (const PsdWindow* latest = psd.Latest()) view.latest.assign(latest->decibels.begin(), latest->decibels.end());
    const PsdSummary summary = psd.Summary();
    view.p5 = summary.p5;
    view.p95 = summary.p95;
    acceleration = psd.Acceleration();
    channels.push_back(std::move(view));
  }
  const QRect area = PlotArea();
  picture_ = LayOutNoise(channels, acceleration, area.width(), area.height());
  update();
}

void NoiseWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Refresh();
  timer_.start(1000);
}

void NoiseWindow::hideEvent(QHideEvent* event) {
  timer_.stop();
  QWidget::hideEvent(event);
}

void NoiseWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRect area = PlotArea();
  const QPointF origin = area.topLeft();
  painter.fillRect(area, Qt::white);
  painter.setPen(QPen(QColor(225, 225, 225), 1));
  for (const NoiseTick& t : picture_.periodTicks) painter.drawLine(QPointF(origin.x() + t.at, area.top()), QPointF(origin.x() + t.at, area.bottom()));
  for (const NoiseTick& t : picture_.dbTicks) painter.drawLine(QPointF(area.left(), origin.y() + t.at), QPointF(area.right(), origin.y() + t.at));
  painter.setPen(Qt::black);
  painter.drawRect(area);
  for (const NoiseTick& t : picture_.periodTicks) {
    painter.drawText(QRectF(origin.x() + t.at - 20, area.bottom() + 4, 40, 16), Qt::AlignCenter, QString::fromStdString(t.text));
  }
  for (const NoiseTick& t : picture_.dbTicks) {
    painter.drawText(QRectF(0, origin.y() + t.at - 8, kMarginLeft - 6, 16), Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(t.text));
  }
  painter.drawText(QRectF(area.left(), area.bottom() + 20, area.width(), 16), Qt::AlignCenter,
                   QString::fromStdString("period, s      " + picture_.unitLine));
  painter.setClipRect(area);
  painter.setPen(QPen(QColor(130, 130, 130), 2));
  painter.drawPolyline(Polyline(picture_.lowModel, origin));
  painter.drawPolyline(Polyline(picture_.highModel, origin));
  for (size_t ch = 0; ch < picture_.latest.size(); ++ch) {
    QColor colour = kChannelColours[ch % 3];
    QColor band = colour;
    band.setAlpha(50);
    painter.setPen(Qt::NoPen);
    painter.setBrush(band);
    painter.drawPolygon(Polyline(picture_.band[ch], origin));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(colour, 1.5));
    painter.drawPolyline(Polyline(picture_.latest[ch], origin));
  }
  painter.setClipping(false);
  for (size_t ch = 0; ch < picture_.latest.size() && ch < streams_.size(); ++ch) {
    painter.setPen(kChannelColours[ch % 3]);
    painter.drawText(QPointF(area.right() - 150, area.top() + 16 + 16 * static_cast<double>(ch)),
                     QString::fromStdString(streams_[ch]));
  }
  if (picture_.latest.empty() || std::all_of(picture_.latest.begin(), picture_.latest.end(), [](const auto& l) { return l.empty(); })) {
    painter.setPen(Qt::darkGray);
    painter.drawText(area, Qt::AlignCenter, "No PSD yet: the first comes after a whole window of a run");
  }
}

}  // namespace voxa
