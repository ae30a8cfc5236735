// voxa-convert: converts VOXA recordings (finished dated ones, and a
// streamdat.bin a failed run left) into an SDS archive of miniSEED files,
// dated by the recording's GPS records, and says what it wrote; and writes
// the StationXML of the station that made them.
//
// Exit status: 0 every recording was converted; 1 a file could not be used
// (not a recording, empty, unreadable, no sample blocks), the others were
// converted; 2 a bad command line; 3 the archive or the StationXML could not
// be written.
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "metadata/station_xml.h"
#include "mseed/codes.h"
#include "mseed/recording_converter.h"

namespace {

using namespace voxa;

constexpr int kExitUnusable = 1;
constexpr int kExitUsage = 2;
constexpr int kExitArchive = 3;

void Usage(std::FILE* out) {
  std::fputs(
      "Usage: voxa-convert [options] --out DIR RECORDING...\n"
      "       voxa-convert [options] --stationxml FILE [--out DIR] RECORDING...\n"
      "\n"
      "Converts VOXA recordings (dated recordings, or a streamdat.bin left by a run\n"
      "that failed) into an SDS archive of miniSEED under DIR:\n"
      "  DIR/YEAR/NET/STA/CHA.D/NET.STA.LOC.CHA.D.YEAR.DOY\n"
      "Samples are dated by the recording's GPS records; existing day files are\n"
      "added to, never rewritten.\n"
      "\n"
      "Options:\n"
      "  --out DIR              the archive's root (made when missing)\n",
      out);
  std::fputs(std::string(CodeOptionsUsage()).c_str(), out);
  std::fputs(
      "  --stationxml FILE      write the FDSN StationXML 1.2 of the station that made\n"
      "                         the first recording (its codes, rate, gain, start and\n"
      "                         GPS position) to FILE; without --out nothing is converted\n"
      "  --sensitivity V        the sensor's sensitivity for the StationXML, in V/(m/s)\n"
      "                         or V/(m/s**2); without it the sensor is \"unknown\" and\n"
      "                         the response ends at the digitiser (counts per volt)\n"
      "  --sensor-unit UNIT     m/s (geophone, seismometer; the default) or m/s**2\n"
      "                         (accelerometer)\n"
      "  --position LAT,LON[,ELEVATION]\n"
      "                         the station's position in degrees and metres, in place\n"
      "                         of the one the GPS records report (they carry no elevation)\n"
      "  --help                 show this text\n"
      "  --version              show the version\n"
      "\n"
      "Exit status: 0 all converted; 1 a file was not a usable recording (the\n"
      "others were converted); 2 bad command line; 3 the archive or the StationXML\n"
      "could not be written.\n",
      out);
}

std::string Seconds(Micros span) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f s", static_cast<double>(span) / kMicrosPerSecond);
  return text;
}

void PrintResult(const std::string& path, const ConversionResult& result, const std::string& root) {
  const ArchiveReport& archive = result.archive;
  const DatingCounts& dating = archive.dating;
  std::printf("%s: %d channel%s at %d sps, device %s, %" PRId64 " blocks (%" PRId64 " invalid), %s\n", path.c_str(),
              archive.format.channels, archive.format.channels == 1 ? "" : "s", archive.format.rate,
              archive.deviceNumber.c_str(), dating.blocks, dating.invalidBlocks,
              result.finished ? "finished recording" : "unfinished recording");
  std::printf("  seconds: %" PRId64 " marks, %" PRId64 " dated by GPS, %" PRId64 " dated forward; %" PRId64
              " blocks dated back before the first fix\n",
              dating.marks, dating.gpsMarks, dating.forwardMarks, dating.backDatedBlocks);
  if (dating.startRecordTime) {
    std::printf("  start record: %s", IsoText(*dating.startRecordTime).c_str());
    if (dating.firstSampleTime && *dating.firstSampleTime != *dating.startRecordTime) {
      std::printf(" (the first fix dates the first sample at %s)", IsoText(*dating.firstSampleTime).c_str());
    }
    std::printf("\n");
  }
  if (!result.endTime.empty()) std::printf("  end-time record: %s\n", result.endTime.c_str());
  for (const ChannelReport& channel : archive.channels) {
    const ChannelStats& stats = channel.stats;
    std::printf("  %-16s %s .. %s  %" PRId64 " samples, %" PRId64 " records, %" PRId64 " gaps, %" PRId64
                " overlaps\n",
                channel.name.Text().c_str(), IsoText(stats.first.value_or(0)).c_str(), IsoText(stats.end).c_str(),
                stats.samples, stats.records, stats.gaps, stats.overlaps);
    // The data channels share their gaps; they are listed once, for the first.
    if (&channel == &archive.channels.front()) {
      for (const Discontinuity& d : stats.discontinuities) {
        std::printf("      %s at %s: %s\n", d.size > 0 ? "gap" : "overlap", IsoText(d.at).c_str(),
                    Seconds(d.size > 0 ? d.size : -d.size).c_str());
      }
      if (static_cast<int64_t>(stats.discontinuities.size()) < stats.gaps + stats.overlaps) {
        std::printf("      ...\n");
      }
    }
  }
  std::printf("  %zu file%s under %s\n", archive.files.size(), archive.files.size() == 1 ? "" : "s", root.c_str());
  if (const std::string held = HeldRecordsText(archive); !held.empty()) std::printf("  %s\n", held.c_str());
  for (const std::string& note : result.notes) std::printf("  note: %s\n", note.c_str());
}

// "LAT,LON" or "LAT,LON,ELEVATION".
std::optional<GpsPosition> ParsePosition(const std::string& text) {
  std::vector<double> values;
  size_t from = 0;
  for (;;) {
    const size_t comma = text.find(',', from);
    const std::string part = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
    size_t used = 0;
    try {
      values.push_back(std::stod(part, &used));
    } catch (const std::exception&) {
      return std::nullopt;
    }
    if (used != part.size() || !std::isfinite(values.back())) return std::nullopt;
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  if (values.size() < 2 || values.size() > 3 || std::fabs(values[0]) > 90.0 || std::fabs(values[1]) > 180.0) {
    return std::nullopt;
  }
  GpsPosition position{values[0], values[1], std::nullopt};
  if (values.size() == 3) position.elevation = values[2];
  return position;
}

Micros NowMicros() {
  using namespace std::chrono;
  return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

// The StationXML of the station that made the first recording that can be
// read: 0 written, 1 no recording could be read, 3 it could not be written.
int WriteStationXmlOf(const std::vector<std::string>& recordings, const CodeChoices& codes,
                      const std::optional<SensorResponse>& sensor, const std::optional<GpsPosition>& position,
                      const std::string& path) {
  StationDescription description;
  std::string problem;
  const std::string* described = nullptr;
  int status = 0;
  for (const std::string& recording : recordings) {
    std::error_code error;
    if (std::filesystem::is_directory(recording, error)) continue;
    if (DescribeRecording(recording, codes, description, problem)) {
      described = &recording;
      break;
    }
    std::fprintf(stderr, "voxa-convert: %s: %s: no StationXML from it\n", recording.c_str(), problem.c_str());
    status = kExitUnusable;
  }
  if (described == nullptr) {
    std::fprintf(stderr, "voxa-convert: no recording to describe the station: no StationXML written\n");
    return kExitUnusable;
  }
  description.sensor = sensor;
  if (position) description.position = position;
  description.module = std::string("voxa-convert ") + VOXA_VERSION;
  description.created = NowMicros();
  std::string error;
  if (!WriteStationXml(description, path, error)) {
    std::fprintf(stderr, "voxa-convert: StationXML: %s\n", error.c_str());
    return kExitArchive;
  }
  std::printf("%s: StationXML of %s.%s, %d channel%s at %d sps, gain %d, %s sensor%s, from %s\n", path.c_str(),
              description.codes.network.c_str(), description.codes.station.c_str(), description.channels,
              description.channels == 1 ? "" : "s", description.rate, description.gain,
              sensor ? "the given" : "an unknown", description.position ? "" : ", position unknown",
              described->c_str());
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  MseedSettings settings;
  settings.flushEachRecord = false;  // a conversion writes in bulk; files are closed at its end
  std::optional<std::string> out;
  std::optional<std::string> stationXml;
  std::optional<std::string> sensitivity;
  std::optional<std::string> sensorUnit;
  std::optional<GpsPosition> position;
  std::vector<std::string> recordings;
  bool optionsEnded = false;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      recordings.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> value;
    if (const size_t equals = arg.find('='); arg.rfind("--", 0) == 0 && equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
    }
    if (name == "--help" || name == "-h") {
      Usage(stdout);
      return 0;
    }
    if (name == "--version") {
      std::printf("voxa-convert %s\n", VOXA_VERSION);
      return 0;
    }
    const bool ownOption = name == "--out" || name == "--stationxml" || name == "--sensitivity" ||
                           name == "--sensor-unit" || name == "--position";
    if (!ownOption && !IsCodeOption(name)) {
      std::fprintf(stderr, "voxa-convert: unknown option '%s'\n", arg.c_str());
      Usage(stderr);
      return kExitUsage;
    }
    if (!value) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "voxa-convert: option %s needs a value\n", name.c_str());
        return kExitUsage;
      }
      value = argv[++i];
    }
    if (name == "--out") {
      out = *value;
      continue;
    }
    if (name == "--stationxml") {
      if (value->empty()) {
        std::fprintf(stderr, "voxa-convert: --stationxml needs a file name\n");
        return kExitUsage;
      }
      stationXml = *value;
      continue;
    }
    if (name == "--sensitivity") {
      sensitivity = *value;
      continue;
    }
    if (name == "--sensor-unit") {
      sensorUnit = *value;
      continue;
    }
    if (name == "--position") {
      position = ParsePosition(*value);
      if (!position) {
        std::fprintf(stderr,
                     "voxa-convert: bad position '%s': give LAT,LON[,ELEVATION] in degrees (-90..90, "
                     "-180..180) and metres\n",
                     value->c_str());
        return kExitUsage;
      }
      continue;
    }
    std::string message;
    if (!ApplyCodeOption(name, *value, settings.codes, message)) {
      std::fprintf(stderr, "voxa-convert: %s\n", message.c_str());
      return kExitUsage;
    }
  }
  std::optional<SensorResponse> sensor;
  if ((sensitivity || sensorUnit || position) && !stationXml) {
    std::fprintf(stderr, "voxa-convert: --sensitivity, --sensor-unit and --position are for --stationxml\n");
    return kExitUsage;
  }
  if (sensorUnit && !sensitivity) {
    std::fprintf(stderr, "voxa-convert: --sensor-unit needs --sensitivity\n");
    return kExitUsage;
  }
  if (sensitivity) {
    sensor.emplace();
    std::string message;
    if (!ParseSensorOptions(*sensitivity, sensorUnit.value_or("m/s"), *sensor, message)) {
      std::fprintf(stderr, "voxa-convert: %s\n", message.c_str());
      return kExitUsage;
    }
  }
  if ((!out || out->empty()) && !stationXml) {
    std::fprintf(stderr, "voxa-convert: --out DIR is required\n");
    Usage(stderr);
    return kExitUsage;
  }
  if (out && out->empty()) {
    std::fprintf(stderr, "voxa-convert: --out needs a directory\n");
    return kExitUsage;
  }
  if (recordings.empty()) {
    std::fprintf(stderr, "voxa-convert: no recording given\n");
    Usage(stderr);
    return kExitUsage;
  }
  int status = 0;
  if (stationXml) {
    const int written = WriteStationXmlOf(recordings, settings.codes, sensor, position, *stationXml);
    if (written == kExitArchive || !out) return written;
    status = written;
  }
  std::error_code error;
  std::filesystem::create_directories(*out, error);
  if (!std::filesystem::is_directory(*out)) {
    // Say why: a path that names something else, or the system's reason.
    std::error_code seen;
    const bool taken = std::filesystem::exists(std::filesystem::symlink_status(*out, seen));
    const std::string reason = taken ? "it exists and is not a directory"
                               : error ? error.message()
                                       : "it could not be made";
    std::fprintf(stderr, "voxa-convert: cannot make the archive directory %s: %s\n", out->c_str(), reason.c_str());
    return kExitArchive;
  }
  settings.directory = *out;

  for (const std::string& path : recordings) {
    if (std::filesystem::is_directory(path, error)) {
      std::fprintf(stderr, "voxa-convert: %s: is a directory, not a recording\n", path.c_str());
      status = kExitUnusable;
      continue;
    }
    try {
      RecordingConverter converter(settings);
      const ConversionResult result = converter.Convert(path);
      if (!result.usable) {
        std::fprintf(stderr, "voxa-convert: %s: %s\n", path.c_str(), result.problem.c_str());
        status = kExitUnusable;
        continue;
      }
      PrintResult(path, result, *out);
    } catch (const ArchiveError& e) {
      std::fprintf(stderr, "voxa-convert: %s: the archive could not be written: %s\n", path.c_str(), e.what());
      return kExitArchive;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "voxa-convert: %s: %s\n", path.c_str(), e.what());
      status = kExitUnusable;
    }
  }
  return status;
}
