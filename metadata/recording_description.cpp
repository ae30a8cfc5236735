// What a recording says about the station that made it, for its StationXML.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "device/device_settings.h"
#include "format/gps_record.h"
#include "format/markers.h"
#include "metadata/station_xml.h"
#include "mseed/recording_converter.h"

namespace voxa {

namespace {

constexpr size_t kChunk = 1 << 20;
constexpr size_t kGpsLength = 76;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool DescribeRecording(const std::string& path, const CodeChoices& choices, StationDescription& description,
                       std::string& problem) {
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    problem = "cannot be read";
    return false;
  }
  // The chunk keeps the last record's worth of bytes in front of the next
  // read, so a GPS record split between two reads is seen whole.
  std::vector<uint8_t> buffer(kGpsLength + kChunk);
  size_t count = std::fread(buffer.data(), 1, kChunk, file.get());
  const RecordingOpening opening = InspectRecording(buffer.data(), count);
  if (!opening.problem.empty()) {
    problem = opening.problem;
    return false;
  }
  DeviceSettings device;
  device.StartRun();
  Notes notes;
  device.ReplaceHeader(Bytes(buffer.data() + 1, opening.headerEnd - 1), notes);
  description.channels = device.Format().channels;
  description.rate = device.Format().rate;
  description.gain = device.Parameters().gain;
  description.deviceNumber = device.DeviceNumber();
  description.firmwareVersion = device.FirmwareVersion();
  description.start = RecordingStartTime(opening.header, path);
  description.codes = ResolveCodes(choices, description.rate, description.channels, description.deviceNumber);
  description.position.reset();

  // Every byte of a GPS record is below 0x80, so each 0xA0 byte in the file
  // is a GPS record's marker: no record has to be framed to find them.
  size_t from = opening.headerEnd;
  for (;;) {
    size_t at = from;
    for (; at < count; ++at) {
      if (buffer[at] != kMarkerGps) continue;
      if (count - at - 1 < kGpsLength && !std::feof(file.get())) break;  // read the rest first
      const size_t length = std::min(kGpsLength, count - at - 1);
      const std::string_view text(reinterpret_cast<const char*>(buffer.data() + at + 1), length);
      if (const auto position = DecodeGpsPosition(text.substr(0, gps_text::RecordLength(text)))) {
        description.position = position;
        return true;
      }
    }
    if (std::feof(file.get()) || std::ferror(file.get())) break;
    const size_t kept = count - std::min(at, count);
    std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(count - kept), buffer.begin() + static_cast<std::ptrdiff_t>(count),
              buffer.begin());
    count = kept + std::fread(buffer.data() + kept, 1, kChunk, file.get());
    if (count == kept) break;
    from = 0;
  }
  return true;
}

}  // namespace voxa
