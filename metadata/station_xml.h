// The station's metadata as FDSN StationXML 1.2: one network, one station,
// one channel per data channel, each with its response in two stages, the
// sensor (ground motion to volts) and the digitiser (volts to counts), and
// the overall sensitivity. A station writes it into its archive root at
// START and voxa-convert from a recording's header, so an archive can be
// read in physical units by tools that take StationXML.
//
// What is not known is said, never made up: without a sensor the response
// ends at the digitiser (volts in, counts out) and the sensor is "unknown";
// without a position the coordinates are 0 and a comment says so.
#pragma once

#include <complex>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/sensor_response.h"
#include "mseed/codes.h"
#include "mseed/utc_time.h"

namespace voxa {

// Counts per volt of the converter at a gain (1 ... 64), and its inverse.
double CountsPerVolt(int32_t gain);
// VoltsPerCount is the noise's (analysis/sensor_response.h).

// The unit's text as the station file and StationXML write it: "m/s" or
// "m/s**2"; and back (nullopt for any other text).
std::string_view GroundMotionUnit(SensorUnit unit);
std::optional<SensorUnit> ParseGroundMotionUnit(std::string_view text);


// A position a GPS position message reported.
struct GpsPosition {
  double latitude = 0.0;   // degrees, north positive
  double longitude = 0.0;  // degrees, east positive
  std::optional<double> elevation;  // metres; the device's messages carry none
};

struct StationDescription {
  StreamCodes codes;          // from ResolveCodes: network, station, location, data channels
  int32_t channels = 3;       // 1 or 3 data channels
  int32_t rate = 100;         // samples per second
  int32_t gain = 16;          // the device's gain
  std::string deviceNumber;   // the data logger's serial number, "" when not known
  std::string firmwareVersion;
  Micros start = 0;           // the channels' start date
  std::optional<GpsPosition> position;
  std::optional<SensorResponse> sensor;  // nullopt: the sensor is unknown
  std::string module;         // the program that wrote it: "voxa-station 1.0.0"
  Micros created = 0;         // when it was written
};

// Why the description cannot be written ("" when it can): a gain or rate
// the device does not have, a channel count other than 1 or 3, an empty
// code, a sensitivity that is not positive, a position out of range.
std::string DescriptionProblem(const StationDescription& description);

// The StationXML document. The description must have no problem.
std::string StationXmlText(const StationDescription& description);

// Writes the document to path atomically: a temporary file beside it,
// synced, then renamed over path, so a reader sees the old file or the new
// one, never a part. False with error set (the file left as it was) when
// the description has a problem or the file cannot be written.
bool WriteStationXml(const StationDescription& description, const std::string& path, std::string& error);

// The position of a GPS record's position message (">RPV" or ">XPV"):
// latitude at characters 10-17 (+DDddddd), longitude at 18-26 (+DDDddddd),
// fix source at 33 and age at 34. Nullopt when the message holds no fix
// (source 9 or age 0), a field is not digits or out of range, or it holds
// the fixed position of the placeholder record, which the device also
// reports when it has no position of its own.
std::optional<GpsPosition> DecodeGpsPosition(std::string_view gpsText);

// The station that made the recording at path: the channels, rate, gain,
// device number and firmware of its header record, its start time (the
// header's, as the converter dates a recording without GPS), the first
// position its GPS records report, and the codes choices resolve to for it.
// Sensor and module are left as they were. False with problem set when the
// file is not a recording or cannot be read.
bool DescribeRecording(const std::string& path, const CodeChoices& choices, StationDescription& description,
                       std::string& problem);

// The sensor of a --sensitivity/--sensor-unit pair of options: the
// sensitivity text must be a positive number, the unit "m/s" or "m/s**2".
// False with message set otherwise.
bool ParseSensorOptions(std::string_view sensitivity, std::string_view unit, SensorResponse& sensor,
                        std::string& message);

}  // namespace voxa
