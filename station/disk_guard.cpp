// The station's care of its disk.
#include "station/disk_guard.h"

#include <sys/statvfs.h>

#include <charconv>
#include <filesystem>
#include <system_error>

namespace voxa {
namespace {

// Days since 1970-01-01 of the first of January of year (proleptic Gregorian).
int64_t DaysBeforeYear(int64_t year) {
  const int64_t y = year - 1;
  return 365 * (year - 1970) + (y / 4 - y / 100 + y / 400) - (1969 / 4 - 1969 / 100 + 1969 / 400);
}

bool LeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

std::optional<int64_t> Digits(std::string_view text) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<int64_t> FreeBytes(const std::string& path) {
  struct statvfs info {};
  if (::statvfs(path.empty() ? "." : path.c_str(), &info) != 0) return std::nullopt;
  return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

DiskState JudgeDisk(int64_t freeBytes, int64_t warnBytes, int64_t floorBytes) {
  if (freeBytes < floorBytes) return DiskState::BelowFloor;
  if (freeBytes < warnBytes) return DiskState::Low;
  return DiskState::Ok;
}

const char* DiskStateName(DiskState state) {
  switch (state) {
    case DiskState::Ok: return "ok";
    case DiskState::Low: return "low";
    case DiskState::BelowFloor: return "below floor";
  }
  return "ok";
}

std::optional<int64_t> SdsFileDay(const std::string& name) {
  // NET.STA.LOC.CHA.TYPE.YEAR.DOY: six dots, a one-letter type, a four-digit
  // year and a three-digit day of the year.
  std::vector<std::string_view> parts;
  std::string_view rest(name);
  for (size_t dot; (dot = rest.find('.')) != std::string_view::npos; rest.remove_prefix(dot + 1)) {
    parts.push_back(rest.substr(0, dot));
  }
  parts.push_back(rest);
  if (parts.size() != 7 || parts[4].size() != 1 || parts[5].size() != 4 || parts[6].size() != 3) return std::nullopt;
  const std::optional<int64_t> year = Digits(parts[5]);
  const std::optional<int64_t> doy = Digits(parts[6]);
  if (!year || !doy || *year < 1970 || *doy < 1 || *doy > (LeapYear(*year) ? 366 : 365)) return std::nullopt;
  return DaysBeforeYear(*year) + *doy - 1;
}

std::vector<std::string> PruneArchive(const std::string& root, int32_t keepDays, int64_t today) {
  std::vector<std::string> removed;
  if (keepDays <= 0 || root.empty()) return removed;
  std::error_code error;
  std::filesystem::recursive_directory_iterator it(root, std::filesystem::directory_options::skip_permission_denied,
                                                   error);
  for (const std::filesystem::recursive_directory_iterator end; !error && it != end; it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    const std::optional<int64_t> day = SdsFileDay(it->path().filename().string());
    // keepDays days are kept: today and the keepDays - 1 before it.
    if (!day || *day > today - keepDays) continue;
    std::error_code removeError;
    if (std::filesystem::remove(it->path(), removeError)) removed.push_back(it->path().string());
  }
  return removed;
}

}  // namespace voxa
