// A host for the plot and check tests: keeps the last text of every label and
// counts writes and repaints, so a test can tell "unchanged" from "rewritten".
#pragma once

#include <map>
#include <string>

#include "stream/host.h"

namespace voxa::testing_support {

class RecordingHost : public NullHost {
 public:
  void ShowLabel(Label label, std::string_view text) override {
    labels[label] = std::string(text);
    ++labelWrites;
  }
  void Repaint() override { ++repaints; }
  std::string Text(Label label) const { return labels.count(label) ? labels.at(label) : "<unset>"; }

  std::map<Label, std::string> labels;
  int labelWrites = 0;
  int repaints = 0;
};

}  // namespace voxa::testing_support
