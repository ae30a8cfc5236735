// StationXML 1.2 from the station's description, element by element in the
// order the schema fixes, and its atomic writing.
#include "metadata/station_xml.h"

#include "format/xml_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <system_error>

#include "format/gps_record.h"
#include "format/sample.h"
#include "recording/file_store.h"

namespace voxa {

namespace {

constexpr std::string_view kNamespace = "http://www.fdsn.org/xml/station/1";
constexpr std::string_view kCountUnit = "count";
constexpr std::string_view kVoltUnit = "V";
constexpr std::array<int32_t, 7> kGains{1, 2, 4, 8, 16, 32, 64};

// Shortest text that reads back as the same double, whatever the program's
// locale (the station's Qt sets it from the environment, and a decimal
// comma would break the document).
std::string Number(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string Escaped(std::string_view text) { return XmlEscaped(text); }

std::string DateText(Micros instant) { return IsoText(instant) + "Z"; }

// The response of the poles and zeros at frequency hz: prod(s - z) / prod(s - p), s = i 2 pi f.
std::complex<double> PoleZeroResponse(const SensorResponse& sensor, double hz) {
  const std::complex<double> s(0.0, 2.0 * std::numbers::pi * hz);
  std::complex<double> value(1.0, 0.0);
  for (const auto& zero : sensor.zeros) value *= s - zero;
  for (const auto& pole : sensor.poles) value /= s - pole;
  return value;
}

bool HasPolesZeros(const SensorResponse& sensor) { return !sensor.poles.empty() || !sensor.zeros.empty(); }

// Azimuth and dip by the channel code's orientation letter (SEED: Z up,
// N/1 north, E/2 east); others are said as 0/0.
void Orientation(std::string_view code, double& azimuth, double& dip) {
  azimuth = 0.0;
  dip = 0.0;
  const char letter = code.empty() ? ' ' : code.back();
  if (letter == 'Z') dip = -90.0;
  if (letter == 'E' || letter == '2') azimuth = 90.0;
}

// Appends <tag>value</tag> on its own line.
void Element(std::string& out, int depth, std::string_view tag, std::string_view value) {
  out.append(static_cast<size_t>(depth) * 2, ' ');
  out += '<';
  out += tag;
  out += '>';
  out += value;
  out += "</";
  out += tag;
  out += ">\n";
}

void Open(std::string& out, int depth, std::string_view tagWithAttributes) {
  out.append(static_cast<size_t>(depth) * 2, ' ');
  out += '<';
  out += tagWithAttributes;
  out += ">\n";
}

void Close(std::string& out, int depth, std::string_view tag) {
  out.append(static_cast<size_t>(depth) * 2, ' ');
  out += "</";
  out += tag;
  out += ">\n";
}

void Units(std::string& out, int depth, std::string_view tag, std::string_view name) {
  Open(out, depth, tag);
  Element(out, depth + 1, "Name", name);
  Close(out, depth, tag);
}

void Comment(std::string& out, int depth, std::string_view text) {
  Open(out, depth, "Comment");
  Element(out, depth + 1, "Value", Escaped(text));
  Close(out, depth, "Comment");
}

std::string SensorText(const SensorResponse& sensor) {
  std::string text = sensor.description.empty()
                         ? "sensor of " + Number(sensor.sensitivity) + " V/(" + std::string(GroundMotionUnit(sensor.unit)) + ")"
                         : sensor.description;
  if (sensor.cornerPeriod) text += ", natural period " + Number(*sensor.cornerPeriod) + " s";
  return text;
}

void SensorStage(std::string& out, int depth, const SensorResponse& sensor) {
  const std::string_view input = GroundMotionUnit(sensor.unit);
  Open(out, depth, "Stage number=\"1\"");
  if (HasPolesZeros(sensor)) {
    Open(out, depth + 1, "PolesZeros");
    Units(out, depth + 2, "InputUnits", input);
    Units(out, depth + 2, "OutputUnits", kVoltUnit);
    Element(out, depth + 2, "PzTransferFunctionType", "LAPLACE (RADIANS/SECOND)");
    // The factor that makes the poles and zeros 1 at the normalization
    // frequency, so the stage gain alone is the sensitivity there.
    const double factor = 1.0 / std::abs(PoleZeroResponse(sensor, sensor.normalizationFrequency));
    Element(out, depth + 2, "NormalizationFactor", Number(factor));
    Element(out, depth + 2, "NormalizationFrequency", Number(sensor.normalizationFrequency));
    for (size_t i = 0; i < sensor.zeros.size(); ++i) {
      Open(out, depth + 2, "Zero number=\"" + std::to_string(i) + "\"");
      Element(out, depth + 3, "Real", Number(sensor.zeros[i].real()));
      Element(out, depth + 3, "Imaginary", Number(sensor.zeros[i].imag()));
      Close(out, depth + 2, "Zero");
    }
    for (size_t i = 0; i < sensor.poles.size(); ++i) {
      Open(out, depth + 2, "Pole number=\"" + std::to_string(sensor.zeros.size() + i) + "\"");
      Element(out, depth + 3, "Real", Number(sensor.poles[i].real()));
      Element(out, depth + 3, "Imaginary", Number(sensor.poles[i].imag()));
      Close(out, depth + 2, "Pole");
    }
    Close(out, depth + 1, "PolesZeros");
  }
  Open(out, depth + 1, "StageGain");
  Element(out, depth + 2, "Value", Number(sensor.sensitivity));
  Element(out, depth + 2, "Frequency", Number(sensor.normalizationFrequency));
  Close(out, depth + 1, "StageGain");
  Close(out, depth, "Stage");
}

// The converter: volts in, counts out at the stream's rate, flat (no filter
// the device tells of), its gain the counts per volt at the device's gain.
void DigitiserStage(std::string& out, int depth, int number, const StationDescription& d, double frequency) {
  Open(out, depth, "Stage number=\"" + std::to_string(number) + "\"");
  Open(out, depth + 1, "Coefficients");
  Units(out, depth + 2, "InputUnits", kVoltUnit);
  Units(out, depth + 2, "OutputUnits", kCountUnit);
  Element(out, depth + 2, "CfTransferFunctionType", "DIGITAL");
  Close(out, depth + 1, "Coefficients");
  Open(out, depth + 1, "Decimation");
  Element(out, depth + 2, "InputSampleRate", Number(d.rate));
  Element(out, depth + 2, "Factor", "1");
  Element(out, depth + 2, "Offset", "0");
  Element(out, depth + 2, "Delay", "0");
  Element(out, depth + 2, "Correction", "0");
  Close(out, depth + 1, "Decimation");
  Open(out, depth + 1, "StageGain");
  Element(out, depth + 2, "Value", Number(CountsPerVolt(d.gain)));
  Element(out, depth + 2, "Frequency", Number(frequency));
  Close(out, depth + 1, "StageGain");
  Close(out, depth, "Stage");
}

void Coordinates(std::string& out, int depth, const StationDescription& d) {
  const GpsPosition position = d.position.value_or(GpsPosition{});
  Element(out, depth, "Latitude", Number(position.latitude));
  Element(out, depth, "Longitude", Number(position.longitude));
  Element(out, depth, "Elevation", Number(position.elevation.value_or(0.0)));
}

void ChannelElement(std::string& out, int depth, const StationDescription& d, const std::string& code) {
  const std::string start = DateText(d.start);
  Open(out, depth,
       "Channel code=\"" + Escaped(code) + "\" locationCode=\"" + Escaped(d.codes.location) + "\" startDate=\"" +
           start + "\"");
  Coordinates(out, depth + 1, d);
  double azimuth = 0.0;
  double dip = 0.0;
  Orientation(code, azimuth, dip);
  Element(out, depth + 1, "Depth", "0");
  Element(out, depth + 1, "Azimuth", Number(azimuth));
  Element(out, depth + 1, "Dip", Number(dip));
  Element(out, depth + 1, "SampleRate", Number(d.rate));
  Open(out, depth + 1, "Sensor");
  Element(out, depth + 2, "Description", Escaped(d.sensor ? SensorText(*d.sensor) : "unknown"));
  Close(out, depth + 1, "Sensor");
  Open(out, depth + 1, "DataLogger");
  Element(out, depth + 2, "Description", Escaped("VOXA data logger, gain " + std::to_string(d.gain)));
  if (!d.deviceNumber.empty()) Element(out, depth + 2, "SerialNumber", Escaped(d.deviceNumber));
  if (!d.firmwareVersion.empty()) Element(out, depth + 2, "FirmwareVersion", Escaped(d.firmwareVersion));
  Close(out, depth + 1, "DataLogger");

  Open(out, depth + 1, "Response");
  const double frequency = d.sensor ? d.sensor->normalizationFrequency : 1.0;
  const double total = CountsPerVolt(d.gain) * (d.sensor ? d.sensor->sensitivity : 1.0);
  Open(out, depth + 2, "InstrumentSensitivity");
  Element(out, depth + 3, "Value", Number(total));
  Element(out, depth + 3, "Frequency", Number(frequency));
  Units(out, depth + 3, "InputUnits", d.sensor ? GroundMotionUnit(d.sensor->unit) : kVoltUnit);
  Units(out, depth + 3, "OutputUnits", kCountUnit);
  Close(out, depth + 2, "InstrumentSensitivity");
  if (d.sensor) SensorStage(out, depth + 2, *d.sensor);
  DigitiserStage(out, depth + 2, d.sensor ? 2 : 1, d, frequency);
  Close(out, depth + 1, "Response");
  Close(out, depth, "Channel");
}

}  // namespace

double CountsPerVolt(int32_t gain) { return static_cast<double>(gain) / kVoltsPerCountAtGain1; }

std::string_view GroundMotionUnit(SensorUnit motion) {
  return motion == SensorUnit::Acceleration ? "m/s**2" : "m/s";
}

std::optional<SensorUnit> ParseGroundMotionUnit(std::string_view text) {
  if (text == "m/s") return SensorUnit::Velocity;
  if (text == "m/s**2") return SensorUnit::Acceleration;
  return std::nullopt;
}

std::string DescriptionProblem(const StationDescription& d) {
  if (std::ranges::find(kGains, d.gain) == kGains.end()) return "gain " + std::to_string(d.gain) + " is not the device's";
  if (!IsDeviceRate(d.rate)) return "rate " + std::to_string(d.rate) + " sps is not the device's";
  if (d.channels != 1 && d.channels != 3) return std::to_string(d.channels) + " channels: the device sends 1 or 3";
  if (d.codes.network.empty() || d.codes.station.empty()) return "the network and station codes are needed";
  for (int32_t i = 0; i < d.channels; ++i) {
    if (d.codes.channels[static_cast<size_t>(i)].empty()) return "channel " + std::to_string(i + 1) + " has no code";
  }
  if (d.position) {
    const GpsPosition& p = *d.position;
    if (!(std::fabs(p.latitude) <= 90.0) || !(std::fabs(p.longitude) <= 180.0) ||
        (p.elevation && !std::isfinite(*p.elevation))) {
      return "the position is out of range";
    }
  }
  if (d.sensor) {
    const SensorResponse& s = *d.sensor;
    if (!(s.sensitivity > 0.0) || !std::isfinite(s.sensitivity)) return "the sensitivity must be a positive number";
    if (!(s.normalizationFrequency > 0.0) || !std::isfinite(s.normalizationFrequency)) {
      return "the normalization frequency must be a positive number";
    }
    if (HasPolesZeros(s)) {
      const double magnitude = std::abs(PoleZeroResponse(s, s.normalizationFrequency));
      if (!(magnitude > 0.0) || !std::isfinite(magnitude)) {
        return "the poles and zeros have no finite response at the normalization frequency";
      }
    }
  }
  return {};
}

std::string StationXmlText(const StationDescription& d) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  Open(out, 0, "FDSNStationXML xmlns=\"" + std::string(kNamespace) + "\" schemaVersion=\"1.2\"");
  Element(out, 1, "Source", "VOXA");
  if (!d.module.empty()) Element(out, 1, "Module", Escaped(d.module));
  Element(out, 1, "Created", DateText(d.created));
  const std::string start = DateText(d.start);
  Open(out, 1, "Network code=\"" + Escaped(d.codes.network) + "\" startDate=\"" + start + "\"");
  Open(out, 2, "Station code=\"" + Escaped(d.codes.station) + "\" startDate=\"" + start + "\"");
  if (!d.position) {
    Comment(out, 3, "position unknown: latitude, longitude and elevation are written as 0");
  } else if (!d.position->elevation) {
    Comment(out, 3, "elevation unknown: written as 0");
  }
  Coordinates(out, 3, d);
  Open(out, 3, "Site");
  Element(out, 4, "Name", Escaped(d.codes.station));
  Close(out, 3, "Site");
  for (int32_t i = 0; i < d.channels; ++i) ChannelElement(out, 3, d, d.codes.channels[static_cast<size_t>(i)]);
  Close(out, 2, "Station");
  Close(out, 1, "Network");
  Close(out, 0, "FDSNStationXML");
  return out;
}

bool WriteStationXml(const StationDescription& description, const std::string& path, std::string& error) {
  if (std::string problem = DescriptionProblem(description); !problem.empty()) {
    error = "cannot describe the station: " + problem;
    return false;
  }
  const std::string text = StationXmlText(description);
  const std::string temporary = path + ".part";
  const auto failed = [&](std::string_view step, int number) {
    error = std::string(step) + " " + temporary + ": " + std::generic_category().message(number);
    return false;
  };
  PosixFileStore store;
  int descriptor = -1;
  if (const int e = store.Create(temporary, Creation::Emptied, descriptor)) return failed("cannot create", e);
  size_t written = 0;
  int e = store.WriteAt(descriptor, 0, reinterpret_cast<const uint8_t*>(text.data()), text.size(), written);
  if (e == 0) e = store.Sync(descriptor);
  const int closed = store.Close(descriptor);
  if (e == 0) e = closed;
  if (e != 0) {
    store.Remove(temporary);
    return failed("cannot write", e);
  }
  // rename replaces the old document in one step; the directory is synced
  // so the new name survives a power cut.
  std::error_code renameError;
  std::filesystem::rename(temporary, path, renameError);
  if (renameError) {
    store.Remove(temporary);
    error = "cannot rename " + temporary + " to " + path + ": " + renameError.message();
    return false;
  }
  store.SyncDirectory(DirectoryOf(path));
  return true;
}

namespace {

// Digits of text as a whole number; false for anything else.
bool Digits(std::string_view text, int64_t& value) {
  if (text.empty()) return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

// "+DDddddd" or "+DDDddddd": a sign and degrees with five decimals.
std::optional<double> Degrees(std::string_view field) {
  if (field.size() < 2 || (field[0] != '+' && field[0] != '-')) return std::nullopt;
  int64_t value = 0;
  if (!Digits(field.substr(1), value)) return std::nullopt;
  const double degrees = static_cast<double>(value) / 100000.0;
  return field[0] == '-' ? -degrees : degrees;
}

constexpr size_t kLatitudePos = 10;
constexpr size_t kLatitudeWidth = 8;
constexpr size_t kLongitudePos = 18;
constexpr size_t kLongitudeWidth = 9;
constexpr size_t kSourcePos = 33;
constexpr size_t kAgePos = 34;

}  // namespace

std::optional<GpsPosition> DecodeGpsPosition(std::string_view text) {
  using gps_text::Field;
  if (!gps_text::HasAt(text, 1, ">RPV") && !gps_text::HasAt(text, 1, gps_text::kTemperatureId)) return std::nullopt;
  const std::string_view latitude = Field(text, kLatitudePos, kLatitudeWidth);
  const std::string_view longitude = Field(text, kLongitudePos, kLongitudeWidth);
  const std::string_view source = Field(text, kSourcePos, 1);
  const std::string_view age = Field(text, kAgePos, 1);
  if (latitude.size() != kLatitudeWidth || longitude.size() != kLongitudeWidth || source.size() != 1 ||
      age.size() != 1) {
    return std::nullopt;
  }
  // Source 9 is "no fix"; age 0 is "not available".
  if (source[0] < '0' || source[0] > '8' || age[0] < '1' || age[0] > '2') return std::nullopt;
  const std::string_view placeholder = gps_text::Field(kPlaceholderGpsText, kLatitudePos, kLatitudeWidth + kLongitudeWidth);
  if (Field(text, kLatitudePos, kLatitudeWidth + kLongitudeWidth) == placeholder) return std::nullopt;
  const std::optional<double> lat = Degrees(latitude);
  const std::optional<double> lon = Degrees(longitude);
  if (!lat || !lon || std::fabs(*lat) > 90.0 || std::fabs(*lon) > 180.0) return std::nullopt;
  return GpsPosition{*lat, *lon, std::nullopt};
}

bool ParseSensorOptions(std::string_view sensitivity, std::string_view unit, SensorResponse& sensor,
                        std::string& message) {
  double value = 0.0;
  const auto result = std::from_chars(sensitivity.data(), sensitivity.data() + sensitivity.size(), value);
  if (result.ec != std::errc() || result.ptr != sensitivity.data() + sensitivity.size() || !(value > 0.0) ||
      !std::isfinite(value)) {
    message = "the sensitivity '" + std::string(sensitivity) + "' is not a positive number of volts per unit";
    return false;
  }
  const std::optional<SensorUnit> motion = ParseGroundMotionUnit(unit);
  if (!motion) {
    message = "the sensor unit '" + std::string(unit) + "' is neither m/s nor m/s**2";
    return false;
  }
  sensor.sensitivity = value;
  sensor.unit = *motion;
  return true;
}

}  // namespace voxa
