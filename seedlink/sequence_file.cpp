#include "seedlink/sequence_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace voxa {

uint64_t LoadSequence(const std::string& path, std::string& message) {
  message.clear();
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) {
    if (errno != ENOENT) message = "Cannot read " + path + ": " + std::strerror(errno);
    return 0;
  }
  char text[32] = {};
  const size_t read = std::fread(text, 1, sizeof text - 1, file);
  std::fclose(file);
  uint64_t value = 0;
  size_t at = 0;
  while (at < read && text[at] >= '0' && text[at] <= '9' && at < 19) value = value * 10 + uint64_t(text[at++] - '0');
  if (at == 0 || (at < read && text[at] != '\n')) {
    message = path + " does not hold a sequence number; numbering starts again at 0";
    return 0;
  }
  return value;
}

bool SaveSequence(const std::string& path, uint64_t next, std::string& message) {
  const std::string temporary = path + ".new";
  std::FILE* file = std::fopen(temporary.c_str(), "w");
  if (file == nullptr) {
    message = "Cannot write " + temporary + ": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fprintf(file, "%llu\n", static_cast<unsigned long long>(next)) > 0;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
    message = "Cannot write " + path + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace voxa
