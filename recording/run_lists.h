// The two text lists a run may write: error.csv (block, second, sample-rate
// and GPS errors) and shift.csv (time shifts and the sample-rate errors).
// A list that was not asked for, or could not be created, takes no lines.
#pragma once

#include <string>
#include <string_view>

#include "recording/output_files.h"

namespace voxa {

class RunLists {
 public:
  // Creates the lists that are asked for; each is false when it could not be
  // created (that list is then off for the run).
  struct Created {
    bool errorList = true;
    bool shiftList = true;
  };
  Created Create(bool errorList, const std::string& errorPath, bool shiftList, const std::string& shiftPath);

  void Error(std::string_view line) {
    if (errorOn_) errors_.WriteLine(line);
  }
  void Shift(std::string_view line) {
    if (shiftOn_) shifts_.WriteLine(line);
  }

  // Closes both; throws IoError for the first that could not be closed, after
  // trying both.
  void Close();
  bool ErrorListOn() const { return errorOn_; }
  bool ShiftListOn() const { return shiftOn_; }

 private:
  LineFile errors_;
  LineFile shifts_;
  bool errorOn_ = false;
  bool shiftOn_ = false;
};

}  // namespace voxa
