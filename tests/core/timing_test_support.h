// Helpers shared by the GPS and time tests: GPS record texts built from the
// placeholder record, checksums computed from their definition, temp files.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "timing/gps.h"

namespace voxa::timing_test {

// The placeholder record (or base) with texts put at 1-based positions.
inline std::string Record(std::initializer_list<std::pair<size_t, std::string_view>> fields,
                          std::string_view base = kPlaceholderGpsText) {
  std::string record(base);
  for (const auto& [pos, text] : fields) record.replace(pos - 1, text.size(), text);
  return record;
}

// A record with time of day, hhmmss, ddMMyy and GPS - UTC offset in place.
inline std::string Fix(std::string_view timeOfDay, std::string_view clock, std::string_view date,
                       std::string_view offset = "15") {
  return Record({{5, timeOfDay}, {44, clock}, {53, date.substr(0, 4)}, {59, date.substr(4)}, {61, offset}});
}

// Both checksums put in, each the exclusive or of its message from ">" through "*".
inline std::string Checksummed(std::string record) {
  for (const auto& [from, to] : {std::pair<size_t, size_t>{0, 36}, {39, 73}}) {
    unsigned sum = 0;
    for (size_t i = from; i < to; ++i) sum ^= static_cast<unsigned char>(record[i]);
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", sum);
    record.replace(to, 2, digits);
  }
  return record;
}

inline std::string TempPath(const char* name) {
  return (std::filesystem::temp_directory_path() / (std::string(name) + std::to_string(::getpid()))).string();
}

// The whole file, removed afterwards.
template <typename Container = std::string>
Container TakeFile(const std::string& path) {
  Container bytes;
  {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::filesystem::remove(path);
  return bytes;
}

}  // namespace voxa::timing_test
