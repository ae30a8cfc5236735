// Test doubles for the core: a host that records what the window would show,
// a scratch directory, and a feeder that pushes a byte stream through the
// separator the way the run controller does (resting after header records).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "analysis/raster.h"
#include "stream/acquisition.h"
#include "stream/host.h"
#include "stream/separator.h"

namespace voxa::test {

class RecordingHost : public Host {
 public:
  void ShowLabel(Label label, std::string_view text) override { labels[label] = std::string(text); }
  void ShowStatus(std::string_view text, StatusColour colour) override {
    status = std::string(text);
    statusColour = colour;
  }
  void ShowDeviceHeader() override { ++deviceHeaders; }
  void ShowBootWindow() override {
    ++bootWindowShown;
    events.push_back("show boot");
  }
  void AppendBootLine(std::string_view line) override {
    bootLines.emplace_back(line);
    events.push_back("line " + std::string(line));
  }
  void RaiseMainWindow() override {
    ++mainRaised;
    events.push_back("raise main");
  }
  void Repaint() override { ++repaints; }

  std::string Text(Label label) const {
    auto it = labels.find(label);
    return it == labels.end() ? std::string() : it->second;
  }

  std::map<Label, std::string> labels;
  std::vector<std::string> bootLines;
  std::vector<std::string> events;
  std::string status;
  StatusColour statusColour = StatusColour::Standard;
  int deviceHeaders = 0;
  int bootWindowShown = 0;
  int mainRaised = 0;
  int repaints = 0;
};

// A fresh directory under the system's temp directory, removed afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("voxa-") + (info ? info->test_suite_name() : "t") + "-" +
                       (info ? info->name() : "x");
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() { std::filesystem::remove_all(path_); }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string ReadFileText(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

inline std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

inline void AppendText(std::vector<uint8_t>& out, std::string_view text) {
  out.insert(out.end(), text.begin(), text.end());
}

// Feeds bytes in chunks of at most chunk bytes, resting (without a clock)
// whenever the separator asks to. Returns how many rests there were.
inline int FeedAll(StreamSeparator& separator, const std::vector<uint8_t>& bytes, size_t chunk = SIZE_MAX) {
  int rests = 0;
  size_t at = 0;
  while (at < bytes.size()) {
    const size_t n = std::min(chunk, bytes.size() - at);
    const size_t taken = separator.Feed(bytes.data() + at, n);
    if (taken < n) {
      EXPECT_GT(separator.PauseMilliseconds(), 0);
      ++rests;
    }
    at += taken;
  }
  return rests;
}

// One sample block record: marker and 4 bytes per value.
inline void AppendBlock(std::vector<uint8_t>& out, uint8_t marker, std::initializer_list<int32_t> values) {
  out.push_back(marker);
  for (int32_t v : values) {
    const uint32_t raw = static_cast<uint32_t>(v) & 0xFFFFFFu;
    out.push_back(static_cast<uint8_t>((raw >> 17) & 0x7F));
    out.push_back(static_cast<uint8_t>((raw >> 10) & 0x7F));
    out.push_back(static_cast<uint8_t>((raw >> 3) & 0x7F));
    out.push_back(static_cast<uint8_t>(raw & 0x07));
  }
}

}  // namespace voxa::test
