// A host for the plot and check tests: keeps the last text of every label and
// counts what was shown, so a test can tell "unchanged" from "rewritten".
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "stream/host.h"

namespace voxa::testing_support {

class RecordingHost : public Host {
 public:
  void ShowLabel(Label label, std::string_view text) override {
    labels[label] = std::string(text);
    ++labelWrites;
  }
  void ShowStatus(std::string_view, StatusColour) override {}
  void ShowDeviceHeader() override {}
  void ShowBootWindow() override {}
  void AppendBootLine(std::string_view) override {}
  void RaiseMainWindow() override {}
  void Repaint() override { ++repaints; }

  // The label's text, or "<unset>" when it was never written.
  std::string Text(Label label) const {
    const auto it = labels.find(label);
    return it == labels.end() ? "<unset>" : it->second;
  }

  std::map<Label, std::string> labels;
  int labelWrites = 0;
  int repaints = 0;
};

}  // namespace voxa::testing_support
