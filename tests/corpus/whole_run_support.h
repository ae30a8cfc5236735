// What the whole-run tests share: a host that keeps what the window would show.
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
#include "support/test_files.h"

namespace voxa::test {


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
