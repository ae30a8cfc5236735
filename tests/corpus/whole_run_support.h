// What the whole-run tests share: a scratch directory per test, file reading,
// and a host that keeps what the window would show.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/host.h"

namespace voxa::test {

// A fresh directory under the system's temp directory, removed afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("voxa-run-") + (info ? info->test_suite_name() : "t") + "-" +
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

// Keeps the last text of every label and the boot window's lines.
class LabelHost : public Host {
 public:
  void ShowLabel(Label label, std::string_view text) override { labels[label] = std::string(text); }
  void ShowStatus(std::string_view, StatusColour) override {}
  void ShowDeviceHeader(const DeviceSettings&) override {}
  void ShowBootWindow() override {}
  void AppendBootLine(std::string_view line) override { bootLines.emplace_back(line); }
  void RaiseMainWindow() override {}
  void Repaint() override {}

  std::map<Label, std::string> labels;
  std::vector<std::string> bootLines;
};

}  // namespace voxa::test
