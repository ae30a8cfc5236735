// What the fuzz targets share: reading the fuzzer's bytes as values, a
// check that stops the run with a message (libFuzzer keeps the input that
// did it), and a scratch directory of the process for the files a run writes.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace voxa::fuzz {

// The fuzzer's bytes, taken from the front; past the end every value is 0.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint16_t Word() { return static_cast<uint16_t>((uint16_t{Byte()} << 8) | Byte()); }
  uint64_t Wide() {
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = (value << 8) | Byte();
    return value;
  }
  // At most count bytes as text.
  std::string Text(size_t count) {
    const size_t n = std::min(count, size_ - at_);
    std::string text(reinterpret_cast<const char*>(data_ + at_), n);
    at_ += n;
    return text;
  }
  // A text whose length is the next byte (at most max).
  std::string ShortText(size_t max) { return Text(std::min<size_t>(Byte(), max)); }
  // Everything not taken yet.
  std::vector<uint8_t> Rest() {
    std::vector<uint8_t> rest(data_ + at_, data_ + size_);
    at_ = size_;
    return rest;
  }
  size_t Left() const { return size_ - at_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// A property every input must keep; its failure is a finding.
inline void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "check failed: %s\n", what);
  std::abort();
}

// One directory per process, emptied between runs: in memory (/dev/shm)
// where there is one, since a disk file system flushes a file that is
// truncated and written again, which would make the fuzzer wait on the disk.
class ScratchDir {
 public:
  ScratchDir() {
    std::error_code error;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "voxa-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // A fresh, empty subdirectory.
  std::string Fresh(const std::string& name) const {
    const std::filesystem::path dir = path_ / name;
    std::error_code error;
    std::filesystem::remove_all(dir, error);
    std::filesystem::create_directories(dir);
    return dir.string();
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool IsDigits(std::string_view text, size_t width) {
  return text.size() == width && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

inline int Number(std::string_view text) {
  int value = 0;
  for (const char c : text) value = value * 10 + (c - '0');
  return value;
}

}  // namespace voxa::fuzz
