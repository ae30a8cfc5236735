#include "mseed/recording_converter.h"

#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <memory>

#include "format/markers.h"
#include "format/number_text.h"

namespace voxa {
namespace {

constexpr size_t kChunk = 1 << 20;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Two digits at text[at], or -1.
int TwoDigits(std::string_view text, size_t at) {
  if (at + 2 > text.size()) return -1;
  const char a = text[at];
  const char b = text[at + 1];
  if (a < '0' || a > '9' || b < '0' || b > '9') return -1;
  return (a - '0') * 10 + (b - '0');
}

// The 8 characters after key= in the header, "" when the key is not there.
std::string_view HeaderValue(std::string_view header, std::string_view key) {
  const size_t at = header.find(key);
  if (at == std::string_view::npos) return {};
  return header.substr(at + key.size(), 8);
}

}  // namespace

std::optional<Micros> HeaderStartTime(std::string_view header) {
  const std::string_view date = HeaderValue(header, "S_DATE=");
  const std::string_view time = HeaderValue(header, "S_TIME=");
  if (date.size() != 8 || time.size() != 8 || date[2] != '/' || date[5] != '/' || time[2] != ':' || time[5] != ':') {
    return std::nullopt;
  }
  const int year = TwoDigits(date, 0);
  if (year < 0) return std::nullopt;
  return UtcInstant(2000 + year, TwoDigits(date, 3), TwoDigits(date, 6), TwoDigits(time, 0), TwoDigits(time, 3),
                    TwoDigits(time, 6));
}

RecordingOpening InspectRecording(const uint8_t* data, size_t count) {
  RecordingOpening opening;
  if (count == 0) {
    opening.problem = "is empty: not a recording";
    return opening;
  }
  if (data[0] != kMarkerHeader) {
    opening.problem = "is not a recording: it does not begin with the header record (byte 0xF0)";
    return opening;
  }
  // The header: what follows 0xF0 up to the next marker, at most its capacity.
  size_t headerEnd = 1;
  while (headerEnd < count && !IsMarker(data[headerEnd]) &&
         headerEnd <= static_cast<size_t>(DeviceSettings::kHeaderCapacity)) {
    ++headerEnd;
  }
  opening.headerEnd = headerEnd;
  opening.header = std::string_view(reinterpret_cast<const char*>(data) + 1, headerEnd - 1);
  if (opening.header.find('=') == std::string_view::npos || opening.header.find(';') == std::string_view::npos) {
    opening.problem = "is not a recording: its first record holds no KEY=value; items";
  }
  return opening;
}

Micros RecordingStartTime(std::string_view header, const std::string& path) {
  if (const auto stated = HeaderStartTime(header)) return *stated;
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) return static_cast<Micros>(info.st_mtime) * kMicrosPerSecond;
  return 0;
}

RecordingConverter::RecordingConverter(MseedSettings settings) : settings_(std::move(settings)) {
  settings_.readingRecording = true;
}

ConversionResult RecordingConverter::Convert(const std::string& path) {
  ConversionResult result;
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    result.problem = "cannot be read";
    return result;
  }
  std::vector<uint8_t> chunk(kChunk);
  size_t count = std::fread(chunk.data(), 1, chunk.size(), file.get());
  const RecordingOpening opening = InspectRecording(chunk.data(), count);
  if (!opening.problem.empty()) {
    result.problem = opening.problem;
    return result;
  }
  const size_t headerEnd = opening.headerEnd;
  const std::string_view header = opening.header;

  notes_.clear();
  endTime_.clear();
  inEndTime_ = false;
  device_ = DeviceSettings();
  device_.StartRun();
  Notes headerNotes;
  device_.ReplaceHeader(Bytes(chunk.data() + 1, headerEnd - 1), headerNotes);
  for (const std::string& note : headerNotes) notes_.push_back(note);
  clock_ = GpsClock();
  clock_.StartRun();
  shift_.StartRun();

  stream_.StartRun(settings_, device_, RecordingStartTime(header, path));

  separator_.SetBlockPayload(device_.Format().BlockPayload());
  separator_.SetGpsFraming(GpsFraming::Whole);
  int64_t total = static_cast<int64_t>(count);
  uint8_t last = chunk[count - 1];
  size_t at = headerEnd;
  bool begun = false;
  for (;;) {
    while (at < count) {
      if (!begun) {
        // The stream starts at the first marker after the header (a header
        // that filled its capacity may run on in stray bytes).
        begun = IsMarker(chunk[at]);
        if (begun) separator_.Begin(chunk[at]);
        ++at;
        continue;
      }
      at += separator_.Feed(chunk.data() + at, count - at);
    }
    count = std::fread(chunk.data(), 1, chunk.size(), file.get());
    if (count == 0) break;
    total += static_cast<int64_t>(count);
    last = chunk[count - 1];
    at = 0;
  }
  if (begun) separator_.Finish();
  result.archive = stream_.Finish();
  result.bytes = total;
  result.finished = last == kMarkerEndByte;
  result.endTime = endTime_;

  const DatingCounts& dating = result.archive.dating;
  if (dating.blocks == 0) {
    result.problem = "holds no sample blocks: nothing to convert";
    return result;
  }
  result.usable = true;
  result.notes = notes_;
  if (!result.finished) {
    result.notes.push_back(
        "it does not end with the end byte (0xEF): the run did not finish or the file was cut short; "
        "everything it holds was converted");
  }
  if (dating.clockBlocks > 0) {
    result.notes.push_back(std::to_string(dating.clockBlocks) +
                           " blocks without GPS time were dated from the computer's clock at START "
                           "(the header's S_DATE/S_TIME) and flagged 'time tag questionable'");
  }
  if (dating.startRecordBlocks > 0) {
    result.notes.push_back(std::to_string(dating.startRecordBlocks) +
                           " blocks were dated from the recording's start record alone and flagged "
                           "'time tag questionable'");
  }
  return result;
}

void RecordingConverter::OnSampleBlock(const SampleBlock& block) {
  inEndTime_ = false;
  clock_.CountBlock();
  stream_.OnSampleBlock(block);
}

void RecordingConverter::OnGpsRecord(const GpsRecord& record) {
  inEndTime_ = false;
  const bool sound = clock_.Decode(record.text);
  stream_.OnGpsRecord(record, sound, clock_);
}

void RecordingConverter::OnShiftRecord(const ShiftRecord& record) {
  inEndTime_ = false;
  // A record a marker cut short holds no shift, as a live run also judges.
  if (!record.valid) return;
  shift_.Measure(record.first, record.second);
  stream_.OnShiftRecord(shift_);
}

void RecordingConverter::OnHeaderRecord(const HeaderRecord& record) {
  // A recording keeps no header record after its first; one found here is
  // taken as the device's, as a live run would.
  inEndTime_ = false;
  Notes notes;
  device_.ReplaceHeader(record.text, notes);
  for (const std::string& note : notes) notes_.push_back(note);
  notes_.push_back("a header record inside the recording changed the stream's settings");
  separator_.SetBlockPayload(device_.Format().BlockPayload());
  stream_.OnHeader(device_);
}

void RecordingConverter::OnStrayBytes(const StrayBytes& stray) {
  if (stray.unlistedMarker) {
    inEndTime_ = !stray.bytes.empty() && stray.bytes[0] == kMarkerEndTime;
    if (inEndTime_) endTime_.clear();
    return;
  }
  if (!inEndTime_) return;
  for (const uint8_t byte : stray.bytes) {
    if (endTime_.size() < 64) endTime_.push_back(static_cast<char>(byte));
  }
}

void RecordingConverter::OnCutRecord(const CutRecord& record) {
  if (record.kind == RecordKind::SampleBlock) clock_.CountBlock();
  stream_.OnCutRecord(record);
}

}  // namespace voxa
