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
  // Creates the lists that are asked for, empty or (continued) written on
  // after what they hold; each is false, with the reason, when it could not
  // be created (that list is then off for the run).
  struct Created {
    bool errorList = true;
    bool shiftList = true;
    std::string errorListFailure;
    std::string shiftListFailure;
  };
  Created Create(FileWriter& writer, bool errorList, const std::string& errorPath, bool shiftList,
                 const std::string& shiftPath, bool continued = false);

  void Error(std::string_view line) {
    if (errorOn_) errors_.WriteLine(line);
  }
  void Shift(std::string_view line) {
    if (shiftOn_) shifts_.WriteLine(line);
  }

  // What both hold to the disk.
  void Sync();
  // Closes both (their last lines reach the disk first).
  void Close();
  bool ErrorListOn() const { return errorOn_; }
  bool ShiftListOn() const { return shiftOn_; }
  const LineFile& ErrorList() const { return errors_; }
  const LineFile& ShiftList() const { return shifts_; }

 private:
  LineFile errors_;
  LineFile shifts_;
  bool errorOn_ = false;
  bool shiftOn_ = false;
};

}  // namespace voxa
