#include "seedlink/archive_reader.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace voxa {
namespace {

namespace fs = std::filesystem;

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

ArchiveReader::~ArchiveReader() { Close(); }

void ArchiveReader::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  files_.clear();
  nextFile_ = 0;
}

void ArchiveReader::Open(const std::string& root, const std::string& network, const std::string& station, Micros begin,
                         Micros end, const ChannelFilter& wanted, const ChannelCutoff& cutoff) {
  Close();
  begin_ = begin;
  end_ = end;
  if (root.empty() || begin >= end) return;
  const int firstYear = FieldsOf(begin).year;
  const int lastYear = FieldsOf(end - 1).year;
  std::error_code failed;
  // NET.STA.LOC.CHA.D.YEAR.DOY, by channel, then day.
  struct Found {
    std::string channelKey;
    Micros day;
    DayFile file;
  };
  std::vector<Found> found;
  for (const fs::directory_entry& year : fs::directory_iterator(root, failed)) {
    const std::string yearName = year.path().filename().string();
    if (!AllDigits(yearName) || yearName.size() != 4) continue;
    const int y = std::stoi(yearName);
    if (y < firstYear || y > lastYear) continue;
    const fs::path stationDir = year.path() / network / station;
    std::error_code listing;
    for (const fs::directory_entry& channelDir : fs::directory_iterator(stationDir, listing)) {
      std::error_code inner;
      for (const fs::directory_entry& entry : fs::directory_iterator(channelDir.path(), inner)) {
        // NET.STA.LOC.CHA.D.YEAR.DOY
        const std::string name = entry.path().filename().string();
        std::vector<std::string> parts;
        size_t at = 0;
        for (;;) {
          const size_t dot = name.find('.', at);
          parts.push_back(name.substr(at, dot == std::string::npos ? std::string::npos : dot - at));
          if (dot == std::string::npos) break;
          at = dot + 1;
        }
        if (parts.size() != 7 || parts[0] != network || parts[1] != station || parts[4] != "D" ||
            parts[5] != yearName || !AllDigits(parts[6]) || parts[2].size() > 2 || parts[3].size() != 3) {
          continue;
        }
        const int dayOfYear = std::stoi(parts[6]);
        const auto yearStart = UtcInstant(y, 1, 1, 0, 0, 0);
        if (!yearStart || dayOfYear < 1 || dayOfYear > 366) continue;
        const Micros dayStart = *yearStart + (dayOfYear - 1) * kMicrosPerDay;
        if (dayStart >= end || dayStart + kMicrosPerDay <= begin) continue;
        RecordHeader codes;
        std::snprintf(codes.network, sizeof codes.network, "%s", network.c_str());
        std::snprintf(codes.station, sizeof codes.station, "%s", station.c_str());
        std::snprintf(codes.location, sizeof codes.location, "%s", parts[2].c_str());
        std::snprintf(codes.channel, sizeof codes.channel, "%s", parts[3].c_str());
        if (!wanted(codes)) continue;
        const Micros channelEnd = std::min(end, cutoff(codes));
        if (dayStart >= channelEnd) continue;
        found.push_back({parts[2] + "." + parts[3], dayStart, {entry.path().string(), channelEnd}});
      }
    }
  }
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    return a.channelKey != b.channelKey ? a.channelKey < b.channelKey : a.day < b.day;
  });
  for (Found& f : found) files_.push_back(std::move(f.file));
}

bool ArchiveReader::Next(uint8_t* record, RecordHeader& header) {
  for (;;) {
    if (file_ == nullptr) {
      if (nextFile_ >= files_.size()) return false;
      const DayFile& day = files_[nextFile_++];
      file_ = std::fopen(day.path.c_str(), "rb");
      cutoff_ = day.cutoff;
      continue;
    }
    if (std::fread(record, 1, kRecordLength, file_) != static_cast<size_t>(kRecordLength) ||
        !DecodeRecordHeader(record, kRecordLength, header)) {
      // The file's end, or what is not a whole record of ours (a day file
      // being written ends with whole records; anything else ends the file).
      std::fclose(file_);
      file_ = nullptr;
      continue;
    }
    if (header.start >= cutoff_) {
      std::fclose(file_);
      file_ = nullptr;
      continue;
    }
    if (header.end <= begin_) continue;
    return true;
  }
}

}  // namespace voxa
