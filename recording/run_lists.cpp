#include "recording/run_lists.h"

#include <optional>

namespace voxa {

RunLists::Created RunLists::Create(bool errorList, const std::string& errorPath, bool shiftList,
                                   const std::string& shiftPath) {
  Created created;
  errorOn_ = errorList && errors_.Create(errorPath);
  created.errorList = !errorList || errorOn_;
  shiftOn_ = shiftList && shifts_.Create(shiftPath);
  created.shiftList = !shiftList || shiftOn_;
  return created;
}

void RunLists::Close() {
  errorOn_ = false;
  shiftOn_ = false;
  std::optional<IoError> failure;
  for (LineFile* file : {&errors_, &shifts_}) {
    try {
      file->Close();
    } catch (const IoError& e) {
      if (!failure) failure = e;
    }
  }
  if (failure) throw *failure;
}

}  // namespace voxa
