// voxa-psd: the noise of a station as a PPSD: the probability density of
// its PSDs (one per window, by Welch's method) against the low and high
// noise models, over any span of an SDS archive, miniSEED day files or VOXA
// recordings. Writes a picture (PNG) and the percentiles (CSV).
//
// Exit status: 0 written; 1 an input gave no samples or could not be read,
// or an output could not be written; 2 a bad command line.
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "analysis/noise_models.h"
#include "mseed/utc_time.h"
#include "tools/psd_report.h"

namespace {

using namespace voxa;

constexpr int kExitInput = 1;
constexpr int kExitUsage = 2;

void Usage(std::FILE* out) {
  std::fputs(
      "Usage: voxa-psd [options] INPUT... [--png FILE] [--csv FILE]\n"
      "\n"
      "The noise of each data channel as a PPSD: one PSD per window (Welch's method,\n"
      "segments of the largest power of two up to a quarter window, 75% overlap,\n"
      "linear detrend, 10% cosine taper, full-octave means every 1/8 octave), their\n"
      "probability density in 1 dB bins, and its 5th/50th/95th percentile and mode,\n"
      "in dB re 1 (m/s^2)^2/Hz against the NLNM and NHNM (or dB re 1 V^2/Hz without\n"
      "a sensor). INPUT: an SDS archive (a directory), miniSEED files, or VOXA\n"
      "recordings.\n"
      "\n"
      "Options:\n"
      "  --png FILE             the probability density with the models, as a picture\n"
      "  --csv FILE             stream,period_s,p5_db,p50_db,p95_db,mode_db,unit per channel and period\n"
      "  --sensitivity V        the sensor's sensitivity, V/(m/s) or V/(m/s^2)\n"
      "  --sensor-unit U        m/s (geophone, seismometer; default) or m/s**2 (accelerometer)\n"
      "  --corner-period S      a geophone's natural period, seconds\n"
      "  --gain G               the digitiser's gain (default: a recording's header, else 16)\n"
      "  --window S             seconds per PSD window (default 3600; 300 for a short look)\n"
      "  --start TIME --end TIME  the span, UTC, e.g. 2024-01-01T06:00:00\n"
      "  --channel C            one channel: EHZ, or a stream code XX.V015..EHZ\n"
      "  --help                 show this text\n"
      "\n"
      "Exit status: 0 written; 1 an input without samples, unreadable, or an output\n"
      "that could not be written; 2 bad command line.\n",
      out);
}

bool ParseNumber(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(value);
}

// --- The picture -----------------------------------------------------------------

QColor Density(double fraction) {
  // White through blue, cyan, yellow to red.
  static const QColor stops[] = {QColor(255, 255, 255), QColor(40, 60, 220), QColor(0, 200, 230),
                                 QColor(250, 230, 0), QColor(220, 20, 20)};
  const double at = std::clamp(fraction, 0.0, 1.0) * 4.0;
  const int i = std::min(3, static_cast<int>(at));
  const double t = at - i;
  const auto mix = [&](int a, int b) { return static_cast<int>(a + (b - a) * t); };
  return QColor(mix(stops[i].red(), stops[i + 1].red()), mix(stops[i].green(), stops[i + 1].green()),
                mix(stops[i].blue(), stops[i + 1].blue()));
}

void DrawChannel(QPainter& painter, const QRect& area, const ChannelReportPsd& channel, bool acceleration) {
  const PsdSummary& s = channel.summary;
  painter.save();
  const QRect plot = area.adjusted(70, 34, -20, -44);
  const double logLow = std::floor(std::log10(s.periods.front()));
  const double logHigh = std::ceil(std::log10(s.periods.back()));
  double dbLow = -200, dbHigh = -50;
  if (!acceleration) {
    dbLow = std::floor((*std::min_element(s.p5.begin(), s.p5.end()) - 15) / 10) * 10;
    dbHigh = std::ceil((*std::max_element(s.p95.begin(), s.p95.end()) + 15) / 10) * 10;
  }
  const auto x = [&](double period) {
    return plot.left() + (std::log10(period) - logLow) / (logHigh - logLow) * plot.width();
  };
  const auto y = [&](double db) { return plot.bottom() - (db - dbLow) / (dbHigh - dbLow) * plot.height(); };

  painter.fillRect(plot, Qt::white);
  // The density: each period's column split into 1 dB cells, coloured by the
  // share of windows in the cell, against the largest share in the picture.
  int64_t most = 1;
  for (size_t p = 0; p < s.periods.size(); ++p) {
    for (int b = 0; b < PsdHistogram::kBins; ++b) most = std::max(most, channel.histogram->Count(p, b));
  }
  painter.save();
  painter.setClipRect(plot);
  for (size_t p = 0; p < s.periods.size(); ++p) {
    const double left = p == 0 ? x(s.periods[p]) : (x(s.periods[p - 1]) + x(s.periods[p])) / 2;
    const double right = p + 1 == s.periods.size() ? x(s.periods[p]) : (x(s.periods[p]) + x(s.periods[p + 1])) / 2;
    for (int b = 0; b < PsdHistogram::kBins; ++b) {
      const int64_t count = channel.histogram->Count(p, b);
      if (count == 0) continue;
      const double low = PsdHistogram::kLowestDecibel + b;
      painter.fillRect(QRectF(QPointF(left, y(low + 1)), QPointF(right + 0.5, y(low))),
                       Density(0.15 + 0.85 * static_cast<double>(count) / static_cast<double>(most)));
    }
  }
  const auto curve = [&](const std::vector<double>& values, QPen pen) {
    QPainterPath path;
    for (size_t p = 0; p < values.size(); ++p) {
      const QPointF point(x(s.periods[p]), y(values[p]));
      if (p == 0) path.moveTo(point); else path.lineTo(point);
    }
    painter.setPen(pen);
    painter.drawPath(path);
  };
  if (acceleration) {
    for (const NoiseModel model : {NoiseModel::Low, NoiseModel::High}) {
      QPainterPath path;
      bool started = false;
      for (double lp = logLow; lp <= logHigh; lp += 0.01) {
        const std::optional<double> db = ModelDecibels(model, std::pow(10.0, lp));
        if (!db) continue;
        const QPointF point(x(std::pow(10.0, lp)), y(*db));
        if (!started) path.moveTo(point); else path.lineTo(point);
        started = true;
      }
      painter.setPen(QPen(QColor(90, 90, 90), 2.5));
      painter.drawPath(path);
    }
  }
  curve(s.p5, QPen(QColor(60, 60, 60), 1, Qt::DashLine));
  curve(s.p95, QPen(QColor(60, 60, 60), 1, Qt::DashLine));
  curve(s.p50, QPen(Qt::black, 2));
  painter.restore();

  // Axes, ticks and labels.
  painter.setPen(Qt::black);
  painter.drawRect(plot);
  QFont font = painter.font();
  font.setPixelSize(12);
  painter.setFont(font);
  for (double lp = logLow; lp <= logHigh + 1e-9; lp += 1) {
    const double px = x(std::pow(10.0, lp));
    painter.drawLine(QPointF(px, plot.bottom()), QPointF(px, plot.bottom() + 5));
    painter.drawText(QRectF(px - 40, plot.bottom() + 6, 80, 16), Qt::AlignHCenter, QString::number(std::pow(10.0, lp), 'g', 4));
  }
  for (double db = dbLow; db <= dbHigh + 1e-9; db += 10) {
    const double py = y(db);
    painter.drawLine(QPointF(plot.left() - 5, py), QPointF(plot.left(), py));
    painter.drawText(QRectF(plot.left() - 48, py - 8, 40, 16), Qt::AlignRight, QString::number(db));
  }
  painter.drawText(QRectF(plot.left(), plot.bottom() + 22, plot.width(), 16), Qt::AlignHCenter, "Period (s)");
  painter.save();
  painter.translate(area.left() + 14, plot.center().y());
  painter.rotate(-90);
  painter.drawText(QRectF(-150, -8, 300, 16), Qt::AlignHCenter,
                   acceleration ? "dB re 1 (m/s\u00B2)\u00B2/Hz" : "dB re 1 V\u00B2/Hz (no sensor)");
  painter.restore();
  font.setPixelSize(14);
  font.setBold(true);
  painter.setFont(font);
  const QString title = QString::fromStdString(channel.stream) +
                        QString("   %1 sps, %2 windows of the span %3 to %4%5")
                            .arg(channel.rate)
                            .arg(s.windows)
                            .arg(QString::fromStdString(IsoText(channel.firstMicros).substr(0, 19)))
                            .arg(QString::fromStdString(IsoText(channel.lastMicros).substr(0, 19)))
                            .arg(acceleration ? "   grey: NLNM, NHNM" : "");
  painter.drawText(QRectF(area.left() + 70, area.top() + 8, area.width() - 90, 20), Qt::AlignLeft, title);
  painter.restore();
}

bool WritePng(const std::string& path, const PsdReport& report) {
  std::vector<const ChannelReportPsd*> drawn;
  for (const ChannelReportPsd& channel : report.Channels()) {
    if (channel.summary.windows > 0) drawn.push_back(&channel);
  }
  constexpr int kWidth = 1000;
  constexpr int kPanel = 420;
  QImage image(kWidth, kPanel * static_cast<int>(drawn.size()), QImage::Format_RGB32);
  image.fill(QColor(245, 245, 245));
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  for (size_t i = 0; i < drawn.size(); ++i) {
    DrawChannel(painter, QRect(0, static_cast<int>(i) * kPanel, kWidth, kPanel), *drawn[i], report.Acceleration());
  }
  painter.end();
  return image.save(QString::fromStdString(path), "PNG");
}

}  // namespace

int main(int argc, char** argv) {
  PsdReportOptions options;
  std::vector<std::string> inputs;
  std::string png, csv;
  bool unitGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&]() -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "voxa-psd: %s needs a value\n", arg.c_str());
        std::exit(kExitUsage);
      }
      return argv[++i];
    };
    const auto number = [&](double low) {
      const char* text = value();
      double v = 0;
      if (!ParseNumber(text, v) || v < low || (low == 0 && v <= 0)) {
        std::fprintf(stderr, "voxa-psd: %s: '%s' is not a positive number\n", arg.c_str(), text);
        std::exit(kExitUsage);
      }
      return v;
    };
    if (arg == "--help") {
      Usage(stdout);
      return 0;
    } else if (arg == "--png") {
      png = value();
    } else if (arg == "--csv") {
      csv = value();
    } else if (arg == "--sensitivity") {
      options.sensor.sensitivity = number(0);
    } else if (arg == "--sensor-unit") {
      const char* text = value();
      const std::optional<SensorUnit> unit = ParseSensorUnit(text);
      if (!unit) {
        std::fprintf(stderr, "voxa-psd: --sensor-unit: '%s' is neither m/s nor m/s**2\n", text);
        return kExitUsage;
      }
      options.sensor.unit = *unit;
      unitGiven = true;
    } else if (arg == "--corner-period") {
      options.sensor.cornerPeriod = number(0);
    } else if (arg == "--gain") {
      const double gain = number(1);
      if (gain != std::floor(gain) || gain > 64) {
        std::fprintf(stderr, "voxa-psd: --gain: %g is not a gain of 1 ... 64\n", gain);
        return kExitUsage;
      }
      options.gain = static_cast<int>(gain);
    } else if (arg == "--window") {
      options.windowSeconds = number(0);
    } else if (arg == "--start" || arg == "--end") {
      const char* text = value();
      const std::optional<int64_t> time = ParseUtcText(text);
      if (!time) {
        std::fprintf(stderr, "voxa-psd: %s: '%s' is not a UTC time like 2024-01-01T06:00:00\n", arg.c_str(), text);
        return kExitUsage;
      }
      (arg == "--start" ? options.startMicros : options.endMicros) = *time;
    } else if (arg == "--channel") {
      options.channel = value();
    } else if (arg.starts_with("--")) {
      std::fprintf(stderr, "voxa-psd: unknown option %s (see --help)\n", arg.c_str());
      return kExitUsage;
    } else {
      inputs.push_back(arg);
    }
  }
  if (inputs.empty()) {
    std::fputs("voxa-psd: no input: give an archive, miniSEED files or recordings (see --help)\n", stderr);
    return kExitUsage;
  }
  if (png.empty() && csv.empty()) {
    std::fputs("voxa-psd: nothing to write: give --png FILE and/or --csv FILE\n", stderr);
    return kExitUsage;
  }
  if (options.startMicros && options.endMicros && *options.endMicros <= *options.startMicros) {
    std::fputs("voxa-psd: --end must be after --start\n", stderr);
    return kExitUsage;
  }
  if ((unitGiven || options.sensor.cornerPeriod) && !options.sensor.Present()) {
    std::fputs("voxa-psd: --sensor-unit and --corner-period need --sensitivity\n", stderr);
    return kExitUsage;
  }
  if (const std::string problem = CheckSensorResponse(options.sensor); !problem.empty()) {
    std::fprintf(stderr, "voxa-psd: %s\n", problem.c_str());
    return kExitUsage;
  }
  if (!options.sensor.Present()) {
    std::fputs("voxa-psd: no --sensitivity: the PSD is of the digitiser's volts, dB re 1 V^2/Hz, "
               "and is not compared with the noise models\n", stderr);
  }

  PsdReport report(options);
  int status = 0;
  for (const std::string& input : inputs) {
    const std::string problem = report.Read(input);
    if (!problem.empty()) {
      std::fprintf(stderr, "voxa-psd: %s %s\n", input.c_str(), problem.c_str());
      status = kExitInput;
    }
  }
  report.Finish();
  for (const std::string& note : report.Notes()) std::fprintf(stderr, "voxa-psd: %s\n", note.c_str());
  int written = 0;
  for (const ChannelReportPsd& channel : report.Channels()) {
    if (channel.summary.windows == 0) {
      std::fprintf(stderr, "voxa-psd: %s: %.0f s of samples, fewer than one whole %.0f s window without a gap\n",
                   channel.stream.c_str(), static_cast<double>(channel.samples) / channel.rate, options.windowSeconds);
      continue;
    }
    ++written;
    std::printf("%s: %d sps, %lld windows, %lld gaps\n", channel.stream.c_str(), channel.rate,
                static_cast<long long>(channel.summary.windows), static_cast<long long>(channel.gaps));
  }
  if (written == 0) {
    std::fputs("voxa-psd: no channel has a whole window: nothing written\n", stderr);
    return kExitInput;
  }
  if (!csv.empty()) {
    std::ofstream out(csv, std::ios::binary);
    out << PsdCsv(report);
    out.close();
    if (!out) {
      std::fprintf(stderr, "voxa-psd: cannot write %s\n", csv.c_str());
      status = kExitInput;
    }
  }
  if (!png.empty()) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    QGuiApplication application(qtArgc, argv);
    if (!WritePng(png, report)) {
      std::fprintf(stderr, "voxa-psd: cannot write %s\n", png.c_str());
      status = kExitInput;
    }
  }
  return status;
}
